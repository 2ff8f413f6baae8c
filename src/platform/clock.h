#pragma once

#include <cstdint>

namespace lumarex {

// A monotonic millisecond clock. The player and the timers take it by reference so that
// tests can drive time by hand.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t NowMs() const = 0;
};

// The system's monotonic clock, in milliseconds since an arbitrary start.
class SteadyClock final : public Clock {
 public:
  uint32_t NowMs() const override;
};

// A clock that moves only when told to.
class ManualClock final : public Clock {
 public:
  uint32_t NowMs() const override { return nowMs_; }
  void Set(uint32_t ms) { nowMs_ = ms; }
  void Advance(uint32_t ms) { nowMs_ += ms; }

 private:
  uint32_t nowMs_ = 0;
};

}  // namespace lumarex
