#include "player/sva_timer.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace lumarex {

using std::chrono::steady_clock;

// What the worker, the UI thread's tick tasks and the owner share. Tick tasks hold it by
// shared_ptr, so one that is still queued when the timer goes away finds `destroyed` and
// does nothing.
struct TSVATimer::Shared {
  TSVATimer* owner = nullptr;
  mutable std::mutex mutex;
  std::condition_variable changed;
  bool enabled = false;
  uint32_t interval = 1000;
  // Counts enables, disables and interval changes: a run of periods belongs to one value.
  uint64_t generation = 0;
  bool quit = false;
  bool destroyed = false;
  // The tick handed to the UI thread and not yet done; the worker waits for it.
  bool tickPending = false;
  bool tickRunning = false;
  std::thread::id tickThread;
  uint64_t starts = 0;
  std::atomic<pid_t> workerTid{0};
};

TSVATimer::TSVATimer(UiDispatcher& dispatcher)
    : dispatcher_(dispatcher), shared_(std::make_shared<Shared>()) {
  shared_->owner = this;
  worker_ = std::thread([this] { Work(); });
}

TSVATimer::~TSVATimer() {
  {
    std::unique_lock lock(shared_->mutex);
    shared_->destroyed = true;
    shared_->enabled = false;
    shared_->quit = true;
    // A handler running on another thread finishes before the timer goes; one running on
    // this thread (the handler destroys its own timer) is not waited for.
    if (shared_->tickThread != std::this_thread::get_id()) {
      shared_->changed.wait(lock, [this] { return !shared_->tickRunning; });
    }
    // The worker may be waiting for a tick that the UI thread will never run now.
    shared_->tickPending = false;
  }
  shared_->changed.notify_all();
  worker_.join();
}

bool TSVATimer::Enabled() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->enabled;
}

void TSVATimer::SetEnabled(bool enabled) {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->enabled == enabled || shared_->destroyed) return;
    shared_->enabled = enabled;
    ++shared_->generation;
  }
  shared_->changed.notify_all();
}

uint32_t TSVATimer::Interval() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->interval;
}

void TSVATimer::SetInterval(uint32_t ms) {
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->interval == ms) return;
    shared_->interval = ms;
    ++shared_->generation;
  }
  shared_->changed.notify_all();
}

TimerThreadPriority TSVATimer::ThreadPriority() const {
  return priority_;
}

void TSVATimer::SetThreadPriority(TimerThreadPriority priority) {
  if (priority == priority_) return;
  priority_ = priority;
  ApplyPriority(priority);
}

uint64_t TSVATimer::Starts() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->starts;
}

void TSVATimer::ApplyPriority(TimerThreadPriority priority) {
  const pthread_t thread = worker_.native_handle();
  sched_param param{};
  int policy = SCHED_OTHER;
  int nice = 0;
  switch (priority) {
    case TimerThreadPriority::kIdle:
      policy = SCHED_IDLE;
      break;
    case TimerThreadPriority::kLowest:
      nice = 10;
      break;
    case TimerThreadPriority::kLower:
      nice = 5;
      break;
    case TimerThreadPriority::kNormal:
      nice = 0;
      break;
    case TimerThreadPriority::kHigher:
      nice = -5;
      break;
    case TimerThreadPriority::kHighest:
      nice = -10;
      break;
    case TimerThreadPriority::kTimeCritical:
      policy = SCHED_FIFO;
      param.sched_priority = sched_get_priority_min(SCHED_FIFO);
      break;
  }
  if (pthread_setschedparam(thread, policy, &param) != 0 && policy == SCHED_FIFO) {
    // Without the right to real-time scheduling, the best a normal thread can have.
    nice = -20;
    param.sched_priority = 0;
    pthread_setschedparam(thread, SCHED_OTHER, &param);
  }
  // Failing to raise the priority is not an error: the timer still runs, only less sharply.
  const pid_t tid = shared_->workerTid.load();
  if (policy != SCHED_IDLE && tid != 0) setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

void TSVATimer::RunTick(const std::shared_ptr<Shared>& shared, uint64_t generation) {
  Shared& s = *shared;
  std::unique_lock lock(s.mutex);
  if (s.destroyed || !s.enabled || s.generation != generation || !s.tickPending) {
    s.tickPending = false;
    lock.unlock();
    s.changed.notify_all();
    return;
  }
  s.tickRunning = true;
  s.tickThread = std::this_thread::get_id();
  TSVATimer* owner = s.owner;
  lock.unlock();
  if (owner->OnTimer) owner->OnTimer(*owner);
  lock.lock();
  s.tickRunning = false;
  s.tickThread = std::thread::id();
  s.tickPending = false;
  lock.unlock();
  s.changed.notify_all();
}

void TSVATimer::Work() {
  Shared& s = *shared_;
  s.workerTid = static_cast<pid_t>(syscall(SYS_gettid));
  // Linux may defer a sleeper's wake-up by 50 us to batch timers; a frame clock wants its
  // deadline, not a batch.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  std::unique_lock lock(s.mutex);
  while (!s.quit) {
    if (!s.enabled || s.interval == 0) {
      const uint64_t generation = s.generation;
      s.changed.wait(lock, [&] { return s.quit || s.generation != generation; });
      continue;
    }
    const uint64_t generation = s.generation;
    const auto period = std::chrono::milliseconds(s.interval);
    ++s.starts;
    auto deadline = steady_clock::now() + period;
    for (;;) {
      const bool interrupted = s.changed.wait_until(
          lock, deadline, [&] { return s.quit || s.generation != generation; });
      if (interrupted) break;
      s.tickPending = true;
      lock.unlock();
      std::shared_ptr<Shared> shared = shared_;
      dispatcher_.Post([shared = std::move(shared), generation] { RunTick(shared, generation); });
      lock.lock();
      // The hand-off is synchronous: the next deadline is not awaited before this tick ran.
      s.changed.wait(lock, [&] { return !s.tickPending || s.quit; });
      if (s.quit || s.generation != generation) break;
      deadline += period;
      const auto now = steady_clock::now();
      if (deadline <= now) deadline += ((now - deadline) / period + 1) * period;
    }
  }
}

}  // namespace lumarex
