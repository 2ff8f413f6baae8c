#pragma once

#include <array>
#include <chrono>
#include <cstddef>

namespace lumarex::jmlaser {

// When a worker whose device went away tries to reach it again. Soon at first: most drop-outs
// end at once (a cable pushed back in, a DAC that restarts in a second or two, a switch that
// relearns its ports). Then once a second, which finds a DAC back within a second of its return
// and costs a DAC switched off for the evening one connection attempt or datagram a second.
class RetrySchedule {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::array<std::chrono::milliseconds, 3> kDelays{
      std::chrono::milliseconds(100), std::chrono::milliseconds(250),
      std::chrono::milliseconds(1000)};

  // The device was lost, or an attempt to reach it failed, at `now`: the next attempt is due
  // after the next delay of the schedule; the last delay repeats.
  void Failed(Clock::time_point now) {
    next_ = now + kDelays[step_];
    if (step_ + 1 < kDelays.size()) ++step_;
  }
  // The device answers again: a later loss starts the schedule from its beginning.
  void Succeeded() {
    step_ = 0;
    next_ = {};
  }
  bool Due(Clock::time_point now) const { return now >= next_; }
  Clock::time_point Next() const { return next_; }

 private:
  size_t step_ = 0;
  Clock::time_point next_{};
};

}  // namespace lumarex::jmlaser
