#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "control/control_registry.h"
#include "dmx/artnet_packet.h"
#include "dmx/sacn_packet.h"
#include "platform/ui_dispatcher.h"

namespace lumarex {

struct DmxInputOptions {
  bool artnet = false;
  bool sacn = false;
  // Art-Net: a Port-Address (0..32767), default 0; sACN: a universe (1..63999), default 1.
  // With both protocols on, one number serves both.
  std::optional<uint16_t> universe;
  // The personality's first channel, 1..509 (it takes four).
  uint16_t address = 1;
  uint16_t artnetPort = kArtnetPort;
  uint16_t sacnPort = kSacnPort;
  // The IPv4 address we announce in ArtPollReply and answer polls from; data sent to it
  // reaches us on a socket of its own even when another Art-Net program on this computer
  // holds the port too (give such a desk 127.0.0.2, say). Empty: the address a poll arrives at.
  std::string artnetNodeAddress;
  // The interface, by its IPv4 address, on which to join the sACN multicast group (127.0.0.1
  // for senders on this computer). Empty: the interface the system routes the group to.
  std::string sacnInterface;
};

struct DmxProtocolCounters {
  uint64_t received = 0;  // datagrams on the protocol's port
  uint64_t accepted = 0;  // data of our universe taken by the merge, and ArtPolls
  uint64_t ignored = 0;   // everything else: other packets and universes, late, malformed
};

struct DmxCounters {
  DmxProtocolCounters artnet;
  DmxProtocolCounters sacn;
  uint64_t pollReplies = 0;  // ArtPollReply packets sent
};

// DMX input over Art-Net and sACN (E1.31): one receiving thread decodes and merges the
// datagrams of our universe (see ArtnetMerger and SacnMerger for the merge rules) and posts
// the four personality values to the user-interface thread whenever they change; there a
// DmxPersonality per protocol turns them into registry commands with source kArtnet or kSacn.
// Art-Net listens on every address (broadcasts reach only such a socket) and answers ArtPoll
// with an ArtPollReply that lists our universe as an output port, so that consoles which
// unicast send to us. sACN joins the multicast group of the universe and takes unicast too.
// Both ports are shared with other programs (SO_REUSEADDR).
class DmxInput {
 public:
  // Opens the sockets and starts the receiving thread; on the user-interface thread. None,
  // and the reason in `error`, when the options are wrong or a socket cannot be had.
  static std::unique_ptr<DmxInput> Start(ControlRegistry& registry, UiDispatcher& dispatcher,
                                         const DmxInputOptions& options, std::string& error);
  // Stops and joins the receiving thread; on the user-interface thread. Values posted and
  // not yet run are dropped.
  ~DmxInput();
  DmxInput(const DmxInput&) = delete;
  DmxInput& operator=(const DmxInput&) = delete;

  // Any thread.
  DmxCounters Counters() const;

 private:
  struct Impl;
  explicit DmxInput(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace lumarex
