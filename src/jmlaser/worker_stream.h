#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>

#include "jmlaser/dac_driver.h"
#include "jmlaser/frame_slots.h"
#include "jmlaser/retry_schedule.h"
#include "jmlaser/scan_watchdog.h"

namespace lumarex::jmlaser {

// The program's side of a stream whose device a worker thread of the driver talks to: every
// call takes the lock for a moment and never waits on the device. The worker reads what the
// calls left here under the same lock.
//
// Reconnection: while output is started, a worker whose device goes away says so here
// (DeviceLost), which makes the device read not ready and refuse frames, and tries to reach it
// again on RetrySchedule, on its own thread; once the device answers, the worker sets the
// stream up again as at open and says so (DeviceBack), and the program's next frame plays.
class WorkerStream : public DacStream {
 public:
  void Start() override {
    std::lock_guard lock(mutex_);
    if (!started_) ++starts_;
    started_ = true;
    // To a worker that has to reach its device first (a connection, a USB handle), starting is
    // the operator's way to say "try now", whatever the retry schedule says.
    if (!connected_) connectWanted_ = true;
    wake_.notify_all();
  }

  void Stop() override {
    std::lock_guard lock(mutex_);
    started_ = false;
    ++stops_;
    incoming_.valid = false;
    wake_.notify_all();
  }

  bool IsReady() override {
    std::lock_guard lock(mutex_);
    return connected_ && started_ && !incoming_.valid;
  }

  int32_t Write(std::span<const DacPoint> points, int32_t pps, bool replaceWaiting) override {
    std::lock_guard lock(mutex_);
    if (!started_) return kJmLaserErrorNotStarted;
    if (!connected_) return kJmLaserErrorDisconnected;
    if (incoming_.valid && !replaceWaiting) return kJmLaserErrorBusy;
    incoming_.Assign(points, ClampSpeed(info_, pps));
    writtenAt_ = std::chrono::steady_clock::now();
    wake_.notify_all();
    return kJmLaserOk;
  }

  void SetUsedColourChannels(int32_t count) override {
    std::lock_guard lock(mutex_);
    usedChannels_ = count;
  }

 protected:
  explicit WorkerStream(const DeviceInfo& info) : info_(info) {}

  // For the worker: the waiting frame becomes `into`, and the watchdog hears when the program
  // wrote it.
  bool TakeIncoming(HeldFrame& into, ScanWatchdog& watchdog) {
    std::lock_guard lock(mutex_);
    if (!incoming_.valid) return false;
    std::swap(into, incoming_);
    incoming_.valid = false;
    watchdog.FrameWritten(into.points, writtenAt_);
    return true;
  }

  // For the worker, under the lock: the device is there (or not) now.
  void SetConnected(bool connected) {
    if (connected == connected_) return;
    connected_ = connected;
    changed_.notify_all();
  }

  // For the worker, under the lock: the device has gone at `now`. The frame waiting now is
  // dropped: by the time the device is back it would be stale, and the next one is the
  // program's to write.
  void DeviceLost(std::chrono::steady_clock::time_point now) {
    SetConnected(false);
    incoming_.valid = false;
    retry_.Failed(now);
  }
  // For the worker, under the lock: the device answers again and its stream is set up.
  void DeviceBack() {
    SetConnected(true);
    retry_.Succeeded();
  }

  // For a worker that has to reach its device before it can talk to it (a connection, a USB
  // handle), under the lock: whether to try now. It tries at open, at each start, and while
  // output is started, on the retry schedule.
  bool ShouldTryToReach(std::chrono::steady_clock::time_point now) const {
    return connectWanted_ || (started_ && retry_.Due(now));
  }
  // Sleeps until the next attempt is due, or until a call changes something.
  void WaitToReach(std::unique_lock<std::mutex>& lock) {
    if (started_) {
      wake_.wait_until(lock, retry_.Next());
    } else {
      wake_.wait(lock);
    }
  }
  // Under the lock: how the attempt that ShouldTryToReach asked for went.
  void Reached(bool ok, std::chrono::steady_clock::time_point now) {
    connectWanted_ = false;
    if (ok) {
      DeviceBack();
    } else {
      SetConnected(false);
      retry_.Failed(now);
    }
    changed_.notify_all();  // opening waits for the first attempt, whatever came of it
  }

  const DeviceInfo info_;

  // --- shared between the caller's thread and the worker, under mutex_ ----------------------
  std::mutex mutex_;
  std::condition_variable wake_;     // the worker waits on it
  std::condition_variable changed_;  // opening waits on it
  HeldFrame incoming_;
  std::chrono::steady_clock::time_point writtenAt_;
  bool started_ = false;
  bool connected_ = false;
  bool connectWanted_ = true;
  bool quit_ = false;
  uint64_t starts_ = 0;
  uint64_t stops_ = 0;
  int32_t usedChannels_ = 4;

  // --- the worker's own -----------------------------------------------------------------------
  RetrySchedule retry_;
};

}  // namespace lumarex::jmlaser
