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

template <typename Call>
auto Prompt(Call call) {
  const auto start = std::chrono::steady_clock::now();
  auto result = call();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
  return result;
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
