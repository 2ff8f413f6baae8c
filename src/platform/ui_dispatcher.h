#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace lumarex {

// Hands work to the user-interface thread, where all program logic runs. The Qt front end
// posts to its event loop; the CLI and the tests use QueueDispatcher.
class UiDispatcher {
 public:
  virtual ~UiDispatcher() = default;

  // Queues `task` to run on the user-interface thread and returns at once. Callable from any
  // thread. A task may find its sender gone by the time it runs and must check for that.
  virtual void Post(std::function<void()> task) = 0;
};

// A queue that the owning thread drains: that thread is the user-interface thread.
class QueueDispatcher final : public UiDispatcher {
 public:
  void Post(std::function<void()> task) override;

  // Runs the tasks queued now (not those they queue); answers how many ran.
  size_t RunPending();
  // Runs tasks as they arrive until `duration` has passed; answers how many ran.
  size_t RunFor(std::chrono::steady_clock::duration duration);
  // Runs tasks as they arrive until `done` holds (checked after each task and every few
  // milliseconds) or `timeout` has passed; answers whether `done` held.
  bool RunUntil(const std::function<bool()>& done, std::chrono::steady_clock::duration timeout);

 private:
  bool RunOne(std::chrono::steady_clock::time_point deadline);

  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace lumarex
