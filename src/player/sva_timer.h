#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "platform/ui_dispatcher.h"

namespace lumarex {

// Scheduling class of the timer's worker thread, from background work to the frame clock.
// Raising it above normal needs the right to do so; without it the thread stays normal.
enum class TimerThreadPriority : uint8_t {
  kIdle,
  kLowest,
  kLower,
  kNormal,
  kHigher,
  kHighest,
  kTimeCritical,
};

// A timer precise to well under a millisecond whose handler runs on the user-interface thread.
// A worker thread waits for absolute deadlines on the monotonic clock (period after period,
// so the ticks do not drift), hands each tick to the UI thread through the dispatcher and
// waits until it has run: a handler never overlaps another tick of its timer. Ticks that a
// slow handler made late are dropped, not bunched; the grid of deadlines stays.
//
// All members are called on the user-interface thread (the one that drains the dispatcher);
// the destructor may also run elsewhere.
class TSVATimer {
 public:
  using TimerEvent = std::function<void(TSVATimer& sender)>;

  explicit TSVATimer(UiDispatcher& dispatcher);
  TSVATimer(const TSVATimer&) = delete;
  TSVATimer& operator=(const TSVATimer&) = delete;
  // Stops the ticks before anything is released: no OnTimer runs during or after it.
  ~TSVATimer();

  // False after creation. Enabling an enabled timer changes nothing; with Interval 0 an
  // enabled timer does not tick. Disabling takes effect at once, also from inside OnTimer:
  // a tick already handed over but not yet run is dropped.
  bool Enabled() const;
  void SetEnabled(bool enabled);

  // Milliseconds, 1000 after creation. A new value restarts a running timer with the new
  // period (the next tick one period from now); the value it already has changes nothing.
  uint32_t Interval() const;
  void SetInterval(uint32_t ms);

  TimerThreadPriority ThreadPriority() const;
  void SetThreadPriority(TimerThreadPriority priority);

  // The handler; runs on the user-interface thread once per period while enabled.
  TimerEvent OnTimer;

  // How many times the worker has started a run of periods (each enable or interval change
  // of a running timer starts one).
  uint64_t Starts() const;

 private:
  struct Shared;

  static void RunTick(const std::shared_ptr<Shared>& shared, uint64_t generation);
  void Work();
  void ApplyPriority(TimerThreadPriority priority);

  UiDispatcher& dispatcher_;
  std::shared_ptr<Shared> shared_;
  TimerThreadPriority priority_ = TimerThreadPriority::kNormal;
  std::thread worker_;
};

}  // namespace lumarex
