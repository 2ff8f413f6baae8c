#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "jmlaser/jmlaser.h"

namespace lumarex::jmlaser {

// A frame as a device holds it. The point storage is kept between frames, so once it has
// grown to the show's largest frame, taking a frame allocates nothing.
struct HeldFrame {
  std::vector<DacPoint> points;
  int32_t pointsPerSecond = 0;
  bool valid = false;

  void Assign(std::span<const DacPoint> source, int32_t pps) {
    points.assign(source.begin(), source.end());
    pointsPerSecond = pps;
    valid = true;
  }
};

// The double buffer of a frame DAC: the frame being scanned and at most one waiting behind it.
struct FrameSlots {
  HeldFrame current;
  HeldFrame waiting;

  bool HasWaiting() const { return waiting.valid; }

  // The waiting frame becomes the current one; the old current storage is reused.
  bool Promote() {
    if (!waiting.valid) return false;
    std::swap(current, waiting);
    waiting.valid = false;
    return true;
  }

  void Clear() {
    current.valid = false;
    waiting.valid = false;
  }
};

}  // namespace lumarex::jmlaser
