#pragma once

#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace lumarex::jmlaser {

// Worker threads whose stream has closed without them: closing a device on the program's
// thread must return within a frame period, but a worker may be inside a transfer that only
// the transfer's own timeout ends (about a second for a large USB frame). The family that
// opened the stream adopts such a worker and joins it when the family goes, which is while the
// library closes (jmLaserCloseDll, or the library's destruction), so no thread ever returns
// into the code of an unloaded library.
class LingeringWorkers {
 public:
  LingeringWorkers() = default;
  LingeringWorkers(const LingeringWorkers&) = delete;
  LingeringWorkers& operator=(const LingeringWorkers&) = delete;
  ~LingeringWorkers() { JoinAll(); }

  // Takes `worker`, which ends on its own; `finished` answers without waiting whether it has
  // done its work, so that workers that are done are joined at the next adoption instead of
  // holding their stacks until the library closes.
  void Adopt(std::thread worker, std::function<bool()> finished) {
    std::vector<Worker> done;
    {
      std::lock_guard lock(mutex_);
      for (auto k = workers_.begin(); k != workers_.end();) {
        if (k->finished()) {
          done.push_back(std::move(*k));
          k = workers_.erase(k);
        } else {
          ++k;
        }
      }
      workers_.push_back({std::move(worker), std::move(finished)});
    }
    for (Worker& w : done) w.thread.join();  // past its work: returns at once
  }

  // Waits for every adopted worker: at most the longest transfer timeout of the family.
  void JoinAll() {
    std::vector<Worker> all;
    {
      std::lock_guard lock(mutex_);
      all.swap(workers_);
    }
    for (Worker& w : all) w.thread.join();
  }

 private:
  struct Worker {
    std::thread thread;
    std::function<bool()> finished;
  };
  std::mutex mutex_;
  std::vector<Worker> workers_;
};

}  // namespace lumarex::jmlaser
