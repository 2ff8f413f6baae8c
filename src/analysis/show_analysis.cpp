#include "analysis/show_analysis.h"

#include <algorithm>
#include <cmath>

namespace lumarex {

namespace {

constexpr double kFieldWidth = 65536.0;

}  // namespace

// One pass over the list for the geometry, one through the model: a 300-point frame is read
// from the cache the second time, and the two loops stay simple enough to be vectorised.
FrameAnalysis AnalyseFrame(std::span<const DacPoint> points, uint32_t pointRate,
                           const ScannerRating& rating) {
  FrameAnalysis a;
  const size_t n = points.size();
  a.points = static_cast<uint32_t>(n);
  if (n == 0 || pointRate == 0) return a;

  double lit = 0;
  double blank = 0;
  int64_t peakStep2 = 0;
  int64_t peakTurn2 = 0;
  uint32_t blanks = (points[0].r | points[0].g | points[0].b) == 0 ? 1 : 0;
  uint32_t dwell = 0;
  int32_t px = points[0].x;
  int32_t py = points[0].y;
  int32_t pdx = 0;
  int32_t pdy = 0;
  bool prevLit = blanks == 0;
  for (size_t k = 1; k < n; ++k) {
    const DacPoint& p = points[k];
    const int32_t dx = int32_t{p.x} - px;
    const int32_t dy = int32_t{p.y} - py;
    const int64_t step2 = int64_t{dx} * dx + int64_t{dy} * dy;
    const double length = std::sqrt(static_cast<double>(step2));
    const bool isLit = (p.r | p.g | p.b) != 0;
    // A segment is lit when its end point is.
    (isLit ? lit : blank) += length;
    blanks += !isLit && prevLit;
    dwell += step2 == 0;
    peakStep2 = std::max(peakStep2, step2);
    if (k >= 2) {
      const int64_t tx = dx - pdx;
      const int64_t ty = dy - pdy;
      peakTurn2 = std::max(peakTurn2, tx * tx + ty * ty);
    }
    prevLit = isLit;
    px = p.x;
    py = p.y;
    pdx = dx;
    pdy = dy;
  }

  const double perMs = pointRate / 1000.0;
  a.litLength = lit / kFieldWidth;
  a.blankLength = blank / kFieldWidth;
  a.blanks = blanks;
  a.dwellPoints = dwell;
  a.scanTimeMs = static_cast<double>(n) / perMs;
  a.refreshHz = pointRate / static_cast<double>(n);
  a.peakVelocity = std::sqrt(static_cast<double>(peakStep2)) / kFieldWidth * perMs;
  a.peakAcceleration = std::sqrt(static_cast<double>(peakTurn2)) / kFieldWidth * perMs * perMs;

  ScannerModel model(rating);
  model.Reset(points[0].x, points[0].y);
  model.Follow(points, pointRate);
  a.trackingError = model.WorstTrackingError() / kFieldWidth;
  a.scannerLoad = 100.0 * std::max(a.peakVelocity / RatedVelocity(rating),
                                   a.peakAcceleration / RatedAcceleration(rating));
  a.overRated = a.scannerLoad > 100.0;
  return a;
}

void AddToShow(ShowAnalysis& show, const FrameAnalysis& frame) {
  if (show.frames.empty() || frame.scannerLoad > show.worstScannerLoad) {
    show.worstScannerLoad = frame.scannerLoad;
    show.worstFrame = frame.frame;
  }
  show.frames.push_back(frame);
  show.points += frame.points;
  show.litLength += frame.litLength;
  show.blankLength += frame.blankLength;
  show.blanks += frame.blanks;
  show.dwellPoints += frame.dwellPoints;
  show.scanTimeMs += frame.scanTimeMs;
  show.peakVelocity = std::max(show.peakVelocity, frame.peakVelocity);
  show.peakAcceleration = std::max(show.peakAcceleration, frame.peakAcceleration);
  show.worstTrackingError = std::max(show.worstTrackingError, frame.trackingError);
  show.overRatedFrames += frame.overRated;
}

}  // namespace lumarex
