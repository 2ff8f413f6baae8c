#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "dmx/udp_endpoint.h"

namespace lumarex {

// The ArtPollReply packets we owe: each poller is answered after a random delay of up to 1 s,
// as Art-Net asks so that a hall full of nodes does not answer in one burst. A poller that
// polls again before its answer went gets the one answer. Pure; the time is passed in.
class PollReplyQueue {
 public:
  static constexpr uint32_t kMaxDelayMs = 1000;
  // More pollers than this at once are not answered until the queue has room.
  static constexpr size_t kMaxPending = 16;

  struct Reply {
    UdpEndpoint poller;
    uint32_t localIp = 0;  // the address the poll arrived at
    uint32_t dueMs = 0;
  };

  explicit PollReplyQueue(uint32_t seed) : random_(seed) {}

  void Schedule(const UdpEndpoint& poller, uint32_t localIp, uint32_t nowMs);
  // The replies due by `nowMs`, taken out of the queue.
  std::vector<Reply> TakeDue(uint32_t nowMs);
  // Milliseconds until the next reply is due (0 when one is due); none with nothing queued.
  std::optional<uint32_t> WaitMs(uint32_t nowMs) const;

 private:
  std::minstd_rand random_;
  std::vector<Reply> pending_;
};

}  // namespace lumarex
