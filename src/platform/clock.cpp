#include "platform/clock.h"

#include <chrono>

namespace lumarex {

uint32_t SteadyClock::NowMs() const {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  // Wraps after 49 days like the multimedia timer it stands for; callers use differences.
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace lumarex
