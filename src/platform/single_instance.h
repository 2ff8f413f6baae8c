#pragma once

#include <string>

namespace lumarex {

// Keeps a second copy of the program from running: an exclusive lock on a file named after
// the program in the user's runtime folder ($XDG_RUNTIME_DIR, or /tmp when unset). The lock
// goes with the process, so a crashed copy never blocks the next one.
class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(const std::string& name);
  ~SingleInstanceGuard();
  SingleInstanceGuard(const SingleInstanceGuard&) = delete;
  SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

  // True when this process holds the lock; false when another copy does (or, rarely, when
  // the lock file cannot be made, in which case the program runs unguarded rather than not
  // at all).
  bool Acquired() const { return acquired_; }
  bool AnotherInstanceRuns() const { return anotherRuns_; }
  const std::string& LockPath() const { return path_; }
  // Gives the lock up before the end of the run.
  void Release();

 private:
  std::string path_;
  int fd_ = -1;
  bool acquired_ = false;
  bool anotherRuns_ = false;
};

}  // namespace lumarex
