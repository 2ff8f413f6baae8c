#pragma once

#include "platform/ui_dispatcher.h"
#include "platform/ui_timer.h"
#include "player/sva_timer.h"

namespace lumarex {

// The precision timer as a UiTimer: its ticks run on the user-interface thread through the
// dispatcher.
class SvaUiTimer final : public UiTimer {
 public:
  explicit SvaUiTimer(UiDispatcher& dispatcher) : timer_(dispatcher) {
    timer_.OnTimer = [this](TSVATimer&) {
      if (OnTimer) OnTimer();
    };
  }

  bool Enabled() const override { return timer_.Enabled(); }
  void SetEnabled(bool enabled) override { timer_.SetEnabled(enabled); }
  uint32_t Interval() const override { return timer_.Interval(); }
  void SetInterval(uint32_t ms) override { timer_.SetInterval(ms); }

  TSVATimer& Timer() { return timer_; }

 private:
  TSVATimer timer_;
};

}  // namespace lumarex
