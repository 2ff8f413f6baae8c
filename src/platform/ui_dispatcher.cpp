#include "platform/ui_dispatcher.h"

#include <algorithm>
#include <utility>

namespace lumarex {

void QueueDispatcher::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  arrived_.notify_one();
}

size_t QueueDispatcher::RunPending() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(tasks_);
  }
  for (auto& task : batch) task();
  return batch.size();
}

bool QueueDispatcher::RunOne(std::chrono::steady_clock::time_point deadline) {
  std::function<void()> task;
  {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) return false;
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  // Outside the lock: the task may post, or wait for a thread that posts.
  task();
  return true;
}

size_t QueueDispatcher::RunFor(std::chrono::steady_clock::duration duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  size_t ran = 0;
  while (RunOne(deadline)) ++ran;
  return ran;
}

bool QueueDispatcher::RunUntil(const std::function<bool()>& done,
                               std::chrono::steady_clock::duration timeout) {
  // `done` may turn true on another thread without any task arriving, so look again at
  // least this often.
  constexpr auto kRecheck = std::chrono::milliseconds(5);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    RunOne(std::min(deadline, now + kRecheck));
  }
}

}  // namespace lumarex
