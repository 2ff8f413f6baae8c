#pragma once

// What the driver tests share: waiting for a condition, frames to send, and a check that a
// call made on the program's thread came back within a frame period.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "jmlaser/jmlaser.h"
#include "tests/support/machine_pauses.h"

namespace lumarex::jmlaser::testing {

inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A frame whose every point differs from its neighbours in position and colour, so that a
// lost, doubled or shifted point shows.
inline std::vector<DacPoint> Ramp(size_t count, uint8_t colour) {
  std::vector<DacPoint> points(count);
  for (size_t k = 0; k < count; ++k) {
    points[k].x = static_cast<uint16_t>(1000 + k * 97);
    points[k].y = static_cast<uint16_t>(64000 - k * 61);
    points[k].r = colour;
    points[k].g = static_cast<uint8_t>(k);
    points[k].b = static_cast<uint8_t>(255 - k % 256);
    points[k].i = static_cast<uint8_t>(k * 7);
  }
  return points;
}

// A call on the program's thread returns within a frame period (20 ms), the time the machine
// stood still meanwhile not counted.
template <typename Call>
auto Prompt(Call call) {
  test::MachinePauses& pauses = test::MachinePauses::Watch();
  const auto start = std::chrono::steady_clock::now();
  auto result = call();
  const auto end = std::chrono::steady_clock::now();
  if (end - start >= std::chrono::milliseconds(20)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // noted once it is over
    EXPECT_LT(end - start - pauses.PausedWithin(start, end), std::chrono::milliseconds(20));
  }
  return result;
}

// From now on the tests may ask how often the machine paused (see DrainingPauses).
inline std::chrono::steady_clock::time_point WatchForPauses() {
  test::MachinePauses::Watch();
  return std::chrono::steady_clock::now();
}

// The pauses of the machine since `since` long enough to run a DAC dry whose driver keeps it
// some 30-60 ms ahead: a stand-in may count an underflow for each, whatever the pacing.
inline int DrainingPauses(std::chrono::steady_clock::time_point since) {
  std::this_thread::sleep_for(std::chrono::milliseconds(10));  // noted once it is over
  return test::MachinePauses::Watch().CountWithin(since, std::chrono::steady_clock::now(),
                                                  std::chrono::milliseconds(30));
}

// Tests that need a DAC's fixed port numbers (an independent client or dissector knows no
// others) take turns, whichever test program they run in.
class FixedPortLock {
 public:
  explicit FixedPortLock(const std::string& name)
      : fd_(::open(("/tmp/lumarex-test-" + name + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
                   0666)) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  FixedPortLock(const FixedPortLock&) = delete;
  FixedPortLock& operator=(const FixedPortLock&) = delete;
  ~FixedPortLock() {
    if (fd_ >= 0) ::close(fd_);
  }

 private:
  int fd_;
};

}  // namespace lumarex::jmlaser::testing

namespace lumarex::jmlaser {
// How gtest prints a point when a comparison fails.
inline void PrintTo(const DacPoint& p, std::ostream* out) {
  *out << "{" << p.x << ", " << p.y << ", " << int{p.r} << ", " << int{p.g} << ", " << int{p.b}
       << ", " << int{p.i} << "}";
}
}  // namespace lumarex::jmlaser
