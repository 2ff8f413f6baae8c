#include "rig/helper_thread.h"

#include <utility>

namespace lumarex {

HelperThread::~HelperThread() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void HelperThread::Start(size_t count, std::function<void(size_t)> job) {
  Finish();
  {
    const std::lock_guard lock(mutex_);
    job_ = std::move(job);
    count_ = count;
    next_ = 0;
    finished_ = 0;
  }
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  wake_.notify_one();
}

bool HelperThread::Take(size_t& index) {
  const std::lock_guard lock(mutex_);
  if (next_ >= count_) return false;
  index = next_++;
  return true;
}

void HelperThread::Done() {
  bool all = false;
  {
    const std::lock_guard lock(mutex_);
    all = ++finished_ == count_;
  }
  if (all) done_.notify_all();
}

void HelperThread::Finish() {
  for (size_t index = 0; Take(index);) {
    job_(index);
    Done();
  }
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return finished_ == count_; });
}

void HelperThread::Run() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || next_ < count_; });
      if (stop_) return;
    }
    for (size_t index = 0; Take(index);) {
      job_(index);
      Done();
    }
  }
}

}  // namespace lumarex
