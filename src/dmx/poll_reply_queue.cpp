#include "dmx/poll_reply_queue.h"

#include <algorithm>
#include <iterator>

namespace lumarex {

void PollReplyQueue::Schedule(const UdpEndpoint& poller, uint32_t localIp, uint32_t nowMs) {
  const bool owed = std::any_of(pending_.begin(), pending_.end(),
                                [&](const Reply& r) { return r.poller == poller; });
  if (owed || pending_.size() >= kMaxPending) return;
  std::uniform_int_distribution<uint32_t> delay(0, kMaxDelayMs);
  pending_.push_back({poller, localIp, nowMs + delay(random_)});
}

std::vector<PollReplyQueue::Reply> PollReplyQueue::TakeDue(uint32_t nowMs) {
  std::vector<Reply> due;
  // Signed, so that a due time just past and one still ahead compare across the clock's wrap.
  const auto isDue = [nowMs](const Reply& r) { return static_cast<int32_t>(nowMs - r.dueMs) >= 0; };
  std::copy_if(pending_.begin(), pending_.end(), std::back_inserter(due), isDue);
  std::erase_if(pending_, isDue);
  return due;
}

std::optional<uint32_t> PollReplyQueue::WaitMs(uint32_t nowMs) const {
  std::optional<uint32_t> wait;
  for (const Reply& r : pending_) {
    const auto left = static_cast<int32_t>(r.dueMs - nowMs);
    const uint32_t ms = left > 0 ? static_cast<uint32_t>(left) : 0;
    if (!wait || ms < *wait) wait = ms;
  }
  return wait;
}

}  // namespace lumarex
