#pragma once

#include <lo/lo_lowlevel.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "control/remote_command.h"

namespace lumarex {

// A status subscription: where the feedback goes.
struct OscSubscription {
  std::string host;  // numeric, as liblo reports the sender
  uint16_t port = 0;
};

// What one datagram brought: a message, or a bundle of them (nested bundles included).
struct OscDatagram {
  // In the order of the messages, to be applied together: a bundle's messages take effect
  // as one change.
  std::vector<RemoteCommand> commands;
  std::vector<OscSubscription> subscriptions;
  // The messages liblo dispatched, and one more for a datagram it refused as malformed.
  uint32_t messages = 0;
  // Of these, the ones that asked for nothing we know, and all of them when the datagram
  // was malformed or its bundle broken off: then none of its commands are applied.
  uint32_t ignored = 0;
};

// Feeds liblo's dispatch into the decoder: one method for every address, the bundle handlers
// and the bundle queue switched off, so that every message, timed or not, is decoded the
// moment its datagram arrives. Use from one thread at a time: the server's receiving thread,
// or a fuzz target.
class OscDispatch {
 public:
  // Installs itself on `server`, which it does not own and which must outlive it.
  explicit OscDispatch(lo_server server);
  OscDispatch(const OscDispatch&) = delete;
  OscDispatch& operator=(const OscDispatch&) = delete;

  // Takes one datagram waiting on the server's socket; none when nothing was waiting.
  std::optional<OscDatagram> Receive();
  // Dispatches a datagram given as bytes, as if it had arrived (no sender address then).
  OscDatagram Dispatch(std::span<const uint8_t> bytes);

 private:
  static int OnMessage(const char* path, const char* types, lo_arg** argv, int argc,
                       lo_message message, void* self);
  static int OnBundleStart(lo_timetag time, void* self);
  static int OnBundleEnd(void* self);
  void Take(const char* path, const char* types, lo_arg** argv, lo_message message);
  OscDatagram Finish(bool refused);

  lo_server server_;
  OscDatagram current_;
  // Bundles begun and not ended: liblo stops in the middle of a bundle with a bad element.
  int openBundles_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace lumarex
