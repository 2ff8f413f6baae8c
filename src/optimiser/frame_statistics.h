#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "show/show_point.h"
#include "show/show_store.h"
#include "widgets/status_image.h"

namespace lumarex {

// Metres of scan path per coordinate unit, as the statistics panel has always counted them.
inline constexpr long double kMetresPerUnit = 0.0011108567940794995L;

// The scan path of one frame version: lengths in coordinate units (each move measured on a
// grid of 4 units and rounded), and the points by their beam state.
struct FrameMeasure {
  uint64_t litUnits = 0;
  uint64_t blankedUnits = 0;
  uint64_t litPoints = 0;
  uint64_t blankedPoints = 0;

  long double LitLength() const { return static_cast<long double>(litUnits) * kMetresPerUnit; }
  long double BlankedLength() const {
    return static_cast<long double>(blankedUnits) * kMetresPerUnit;
  }
  uint64_t Points() const { return litPoints + blankedPoints; }

  FrameMeasure& operator+=(const FrameMeasure& other) {
    litUnits += other.litUnits;
    blankedUnits += other.blankedUnits;
    litPoints += other.litPoints;
    blankedPoints += other.blankedPoints;
    return *this;
  }
};

// The length of the move from (xp, yp) to (x, y): each coordinate divided by 4 (toward zero)
// before the difference, the root rounded, times 4.
uint32_t MeasuredMove(int32_t xp, int32_t yp, int32_t x, int32_t y);

// A frame of the store over its points 0..LastPointIndex (point 0 alone for an empty frame
// that still holds one).
FrameMeasure MeasureUnoptimised(const ShowStore& store, uint32_t frame);
// An optimised frame over its points 1..OptiLastIndex; point 0 is where the beam already is.
FrameMeasure MeasureOptimised(std::span<const ShowPoint> optimised);

// The time to output a frame of last index `lastIndex` at 25,000 points per second, in tenths
// of a millisecond.
constexpr uint32_t FrameTimeTenths(uint32_t lastIndex) {
  return (4 * lastIndex + 5) / 10;  // round(lastIndex * 0.4), never a tie
}

// A number in fixed-point notation with `decimals` decimals (halves away from zero); when it
// has more than `maxIntegerDigits` digits before the separator, in exponent notation with
// that many significant digits instead ("2,62E+3").
std::string FormatFixed(long double value, int decimals, int maxIntegerDigits, char separator);

// The statistics panel Statusfenster (320 x 95): its fixed texts, and the column of each
// frame version.
void DrawStatisticsFrame(StatusImage& panel, uint16_t frameCount);
void DrawOptimisedColumn(StatusImage& panel, uint16_t pathCount, uint16_t lastIndex,
                         const FrameMeasure& measure, char separator);
void DrawUnoptimisedColumn(StatusImage& panel, uint32_t frame, uint16_t lastIndex,
                           const FrameMeasure& measure, char separator);

}  // namespace lumarex
