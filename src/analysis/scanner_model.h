#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "output/dac_point.h"

namespace lumarex {

// A scanner pair as the industry rates it: K thousand points a second at the ILDA test angle
// (the ILDA test pattern drawn at that optical angle, its circle inside its square), with the
// axes' damping and the colour delay of the laser's modulation against the mirrors.
struct ScannerRating {
  double kpps = 30.0;
  double testAngleDegrees = 8.0;    // optical angle of the ILDA test at the rated speed
  double fieldAngleDegrees = 40.0;  // optical angle the DAC's whole field spans
  double damping = 0.7;
  double colourDelayUs = 150.0;
};

// The axes' natural frequency in rad/s that the rating stands for (see scanner_model.cpp for
// the rule and its derivation).
double NaturalFrequency(const ScannerRating& rating);

// The steepest command the rated scanners are known to follow: the peak velocity (field
// widths per ms) and acceleration (field widths per ms squared) of the ILDA test pattern's
// point list drawn at the test angle at the rated speed. A frame's scanner load is its own
// peaks against these.
double RatedVelocity(const ScannerRating& rating);
double RatedAcceleration(const ScannerRating& rating);

// One sample of the simulated beam: where the mirrors point (DAC units, 0..65535, may
// overshoot past the field) and the colour the laser shows then (the commanded colour of
// `colourDelayUs` earlier).
struct BeamSample {
  float x = 0;
  float y = 0;
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t i = 0;
};

// Each axis a second-order system (natural frequency and damping) driven by the DAC stream
// at its point rate, the command held for one point period. The state carries over from one
// call to the next, as the mirrors do from frame to frame. Any thread, one model per user.
class ScannerModel {
 public:
  explicit ScannerModel(const ScannerRating& rating = {});

  const ScannerRating& Rating() const { return rating_; }

  // Starts at rest on (x, y), dark.
  void Reset(double x = 32768, double y = 32768);

  // Simulates `points` at `pointRate` points a second, `samplesPerPoint` beam samples per
  // point (1 or more), appended to `out`. Sample j of point k is where the beam is
  // (j + 1) / samplesPerPoint of a point period after point k was put out, so the last sample
  // of each point is the moment the next one comes. `out` keeps its capacity: a caller that
  // reuses it allocates nothing per frame.
  void Simulate(std::span<const DacPoint> points, uint32_t pointRate, std::vector<BeamSample>& out,
                uint32_t samplesPerPoint = 1);

  // As Simulate without the samples and the colours: only the mirrors' state and the worst
  // tracking error, for the analysis of whole shows.
  void Follow(std::span<const DacPoint> points, uint32_t pointRate);

  // The worst distance between the commanded and the simulated position over the last
  // Simulate or Follow, in DAC units, measured at the point instants (the end of each point's
  // period, against that point).
  double WorstTrackingError() const { return worstError_; }

  // The mirrors now (DAC units, DAC units per second).
  double X() const { return x_; }
  double Y() const { return y_; }
  double VelocityX() const { return vx_; }
  double VelocityY() const { return vy_; }

 private:
  // The exact transition of one axis over a held step of h seconds, as the deviation
  // e = x - u and the velocity v: e' = a11 e + a12 v, v' = a21 e + a22 v.
  struct Step {
    double a11 = 1, a12 = 0, a21 = 0, a22 = 1;
  };
  const Step& StepFor(uint32_t pointRate, uint32_t samplesPerPoint);
  // Where a run of `points` left the mirrors, its worst squared error, and its colours.
  void Settle(double x, double y, double vx, double vy, double worstSquared,
              std::span<const DacPoint> points, uint32_t pointRate);
  void KeepColours(std::span<const DacPoint> points, uint32_t pointRate);

  ScannerRating rating_;
  double wn_ = 0;
  double x_ = 32768, y_ = 32768, vx_ = 0, vy_ = 0;
  // The commanded colours of the last points of earlier calls, oldest first, for the colour
  // delay across calls.
  std::vector<DacPoint> colourHistory_;
  double worstError_ = 0;
  Step step_;
  uint32_t stepRate_ = 0;
  uint32_t stepSamples_ = 0;
};

}  // namespace lumarex
