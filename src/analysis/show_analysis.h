#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/scanner_model.h"
#include "output/dac_point.h"

namespace lumarex {

// What one frame asks of the scanners, measured on the DacPoint list that is sent. Lengths are
// in field widths (the DAC field's width is 1.0), velocities in field widths per ms,
// accelerations in field widths per ms squared.
struct FrameAnalysis {
  uint32_t frame = 0;
  uint32_t points = 0;
  double litLength = 0;  // a segment counts as lit when its end point is lit
  double blankLength = 0;
  uint32_t blanks = 0;       // runs of consecutive blanked points
  uint32_t dwellPoints = 0;  // points on the place of the one before
  double scanTimeMs = 0;
  double refreshHz = 0;
  double peakVelocity = 0;
  double peakAcceleration = 0;
  double trackingError = 0;  // the model's worst, field widths
  double scannerLoad = 0;    // percent of the rating
  bool overRated = false;    // scannerLoad above 100
};

// Show totals and worst values over the analysed frames.
struct ShowAnalysis {
  double kpps = 0;
  std::vector<FrameAnalysis> frames;
  uint64_t points = 0;
  double litLength = 0;
  double blankLength = 0;
  uint64_t blanks = 0;
  uint64_t dwellPoints = 0;
  double scanTimeMs = 0;
  double peakVelocity = 0;  // the worst frame's
  double peakAcceleration = 0;
  double worstScannerLoad = 0;
  uint32_t worstFrame = 0;
  double worstTrackingError = 0;
  uint32_t overRatedFrames = 0;
};

// Measures one frame at `pointRate` for scanners of `rating`; the model starts at rest on the
// frame's first point. The lists the output transform makes begin where the frame before
// ended (the centre, or the last point with direct frame changes), so for a frame that
// repeats this is where the mirrors come from; velocities and accelerations are those of the
// moves within the list, the same way the rating's are measured (see RatedVelocity).
FrameAnalysis AnalyseFrame(std::span<const DacPoint> points, uint32_t pointRate,
                           const ScannerRating& rating);

// Adds a frame's figures to the show's totals and worst values.
void AddToShow(ShowAnalysis& show, const FrameAnalysis& frame);

}  // namespace lumarex
