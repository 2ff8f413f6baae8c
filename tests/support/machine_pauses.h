#pragma once

// The virtual machines the tests run on stop now and then for tens of milliseconds, idle or
// not: their host takes the processors away (steal time; a thread that sleeps 1 ms at a time
// sees gaps of 50-80 ms several times in ten seconds, on both processors at once). A check of
// real-time behaviour that such a pause would fail (a call that must return within a frame
// period, a DAC buffer of 60 ms that must never run dry) asks this watcher whether the machine
// paused while it judged, and allows for what it saw.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace lumarex::test {

class MachinePauses {
 public:
  using Clock = std::chrono::steady_clock;

  // The watcher of this test program: started on first use, so that it runs before the checks
  // that ask it, and joined when the program ends.
  static MachinePauses& Watch() {
    static MachinePauses watcher;
    return watcher;
  }

  // How long the machine stood still within [from, to], from the pauses that overlap it.
  std::chrono::milliseconds PausedWithin(Clock::time_point from, Clock::time_point to) const {
    Clock::duration total{};
    ForEachOverlapping(
        from, to, [&](const Pause& p) { total += std::min(p.end, to) - std::max(p.start, from); });
    return std::chrono::duration_cast<std::chrono::milliseconds>(total);
  }

  // How many pauses of at least `length` overlap [from, to].
  int CountWithin(Clock::time_point from, Clock::time_point to,
                  std::chrono::milliseconds length) const {
    int count = 0;
    ForEachOverlapping(from, to, [&](const Pause& p) {
      if (p.end - p.start >= length) ++count;
    });
    return count;
  }

  MachinePauses(const MachinePauses&) = delete;
  MachinePauses& operator=(const MachinePauses&) = delete;
  ~MachinePauses() {
    quit_ = true;
    thread_.join();
  }

 private:
  // A gap this much longer than the watcher's sleep is a pause of the machine.
  static constexpr std::chrono::milliseconds kSleep{1};
  static constexpr std::chrono::milliseconds kNoticed{8};
  static constexpr size_t kKept = 4096;

  struct Pause {
    Clock::time_point start;
    Clock::time_point end;
  };

  MachinePauses() : thread_([this] { Run(); }) {}

  void Run() {
    auto last = Clock::now();
    while (!quit_) {
      std::this_thread::sleep_for(kSleep);
      const auto now = Clock::now();
      if (now - last - kSleep >= kNoticed) {
        std::lock_guard lock(mutex_);
        pauses_.push_back({last + kSleep, now});
        if (pauses_.size() > kKept) pauses_.pop_front();
      }
      last = now;
    }
  }

  template <typename Visit>
  void ForEachOverlapping(Clock::time_point from, Clock::time_point to, Visit visit) const {
    std::lock_guard lock(mutex_);
    for (const Pause& p : pauses_) {
      if (p.end > from && p.start < to) visit(p);
    }
  }

  mutable std::mutex mutex_;
  std::deque<Pause> pauses_;
  std::atomic<bool> quit_{false};
  std::thread thread_;  // last: it records as soon as it runs
};

}  // namespace lumarex::test
