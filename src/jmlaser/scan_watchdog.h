#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <span>

#include "jmlaser/jmlaser.h"

namespace lumarex::jmlaser {

// A frame that concentrates the beam: its lit points fit in a square a tenth of the field
// wide (1 % of the field's area), a single spot included. A frame with nothing lit is dark
// already and never counts.
inline bool ConcentratesTheBeam(std::span<const DacPoint> points) {
  constexpr int32_t kSide = 65536 / 10;
  bool lit = false;
  uint16_t minX = 0xFFFF, maxX = 0, minY = 0xFFFF, maxY = 0;
  for (const DacPoint& p : points) {
    if ((p.r | p.g | p.b | p.i) == 0) continue;
    lit = true;
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  return lit && maxX - minX < kSide && maxY - minY < kSide;
}

// The scan-fail guard every streaming driver runs on its own thread: a program that hangs
// stops writing frames, and a frame DAC goes on repeating the last one. A normal frame may
// stay (operators pause on frames), but a spot or a tiny figure held for a second can burn
// whatever it hits, so the driver darkens the output until the next frame arrives. How it
// darkens is the driver's own business.
class ScanWatchdog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kDefaultHold{1000};

  explicit ScanWatchdog(std::chrono::milliseconds hold = kDefaultHold) : hold_(hold) {}

  // The program wrote a frame at `when` (the time of the write, not of its playing).
  void FrameWritten(std::span<const DacPoint> points, Clock::time_point when) {
    concentrated_ = ConcentratesTheBeam(points);
    lastWrite_ = when;
    armed_ = true;
  }
  // Output stopped: nothing is held any more.
  void Disarm() { armed_ = false; }

  bool ShouldBlank(Clock::time_point now) const {
    return armed_ && concentrated_ && now - lastWrite_ >= hold_;
  }
  // How long until ShouldBlank may turn true, for a worker that sleeps in between.
  std::chrono::milliseconds UntilDue(Clock::time_point now) const {
    if (!armed_ || !concentrated_) return hold_;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(lastWrite_ + hold_ - now);
    return std::max(left, std::chrono::milliseconds(0));
  }

 private:
  std::chrono::milliseconds hold_;
  Clock::time_point lastWrite_{};
  bool concentrated_ = false;
  bool armed_ = false;
};

// The colours a device gets for the number of channels the program uses: 1 drives every colour
// from the intensity, 3 derives the intensity from the brightest colour, 4 passes all through.
struct Colour8 {
  uint8_t r = 0, g = 0, b = 0, i = 0;
};
inline Colour8 UsedColours(const DacPoint& p, int32_t usedChannels) {
  if (usedChannels == 1) return {p.i, p.i, p.i, p.i};
  if (usedChannels == 3) return {p.r, p.g, p.b, std::max({p.r, p.g, p.b})};
  return {p.r, p.g, p.b, p.i};
}

}  // namespace lumarex::jmlaser
