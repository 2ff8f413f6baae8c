#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

namespace lumarex {

// A thread beside the caller's that takes part of a batch of independent jobs: Start hands
// the batch over and returns at once, so the caller can do other work meanwhile; Finish runs
// on the caller's thread every job the helper has not taken yet and returns when all are
// done. Jobs are taken one at a time from the front, so a helper the system is slow to wake
// costs no more than doing the batch alone. The thread starts with the first batch and is
// owned by this object: the destructor lets it finish the batch it is in and joins it.
class HelperThread {
 public:
  HelperThread() = default;
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // Jobs 0..count-1 of `job`. A batch still running is finished first.
  void Start(size_t count, std::function<void(size_t)> job);
  void Finish();

 private:
  // The next job to run, if any is left; marks the one run before as done.
  bool Take(size_t& index);
  void Done();
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::function<void(size_t)> job_;
  size_t count_ = 0;
  size_t next_ = 0;
  size_t finished_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace lumarex
