#pragma once

#include <cstdint>
#include <functional>

namespace lumarex {

// A timer whose handler runs on the user-interface thread: the main window's frame clock and
// its start-animation timer. The front ends give real ones (the precision timer, a Qt timer);
// tests use ManualTimer and fire it by hand.
class UiTimer {
 public:
  virtual ~UiTimer() = default;

  virtual bool Enabled() const = 0;
  // Enabling an enabled timer changes nothing; disabling takes effect at once, also from
  // inside the handler.
  virtual void SetEnabled(bool enabled) = 0;
  virtual uint32_t Interval() const = 0;
  virtual void SetInterval(uint32_t ms) = 0;

  // The handler, run once per interval while enabled.
  std::function<void()> OnTimer;
};

// A timer that ticks only when told to: Fire runs the handler if the timer is enabled.
class ManualTimer final : public UiTimer {
 public:
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override {
    if (enabled && !enabled_) ++starts_;
    enabled_ = enabled;
  }
  uint32_t Interval() const override { return interval_; }
  void SetInterval(uint32_t ms) override { interval_ = ms; }

  // Runs the handler once, as one period's tick; false (nothing run) while disabled.
  bool Fire() {
    if (!enabled_ || !OnTimer) return false;
    OnTimer();
    return true;
  }
  // How many times the timer was switched on.
  uint32_t Starts() const { return starts_; }

 private:
  bool enabled_ = false;
  uint32_t interval_ = 1000;
  uint32_t starts_ = 0;
};

}  // namespace lumarex
