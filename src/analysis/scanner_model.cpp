#include "analysis/scanner_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumarex {

namespace {

// The ILDA test pattern (the 1191-point frame every projector company ships, and its
// 1353-point variant with a full-field border) draws its circle with 12 points a revolution
// around a square of half-side 10240; the points lie at 16130 from the centre on the axes and
// at 15814 between, and the circle through them (their fundamental, the one a scanner can
// draw) has a radius of 15918. The variant has 1434 and 2226: the same ratio within 0.2 %.
// Scanners too slow for the rate draw the circle small and well inside the square, faster
// ones as large as the points say, outside. The scanners are tuned, and rated, at the speed
// where the circle just touches the square from inside.
constexpr double kTestCirclePoints = 12.0;
constexpr double kSquareOverCircle = 10240.0 / 15918.0;

// The steepest moves of the test pattern's point list, in its coordinates (65536 across the
// test angle): the blanked jump from the top text's dwell to the left end of the horizontal
// line, (-1282, 32001) to (-28159, 0), 41790 units in one point. Taken from rest and into
// rest, it is also the largest second difference. The move from the last point back to the
// first is not in the list (a player makes it, blanked, in steps of its own).
constexpr double kTestPeakStep = 41790.4;
constexpr double kTestCoordinateSpan = 65536.0;

}  // namespace

// How the natural frequency follows from the rating.
//
// Each axis is x'' = wn^2 (u - x) - 2 zeta wn x'. Its response to a sine of angular frequency
// w has the gain |H| = 1 / sqrt((1 - r^2)^2 + (2 zeta r)^2), r = w / wn. At K points a second
// the test pattern's circle turns at K / 12 revolutions a second, w = 2 pi K / 12. The DAC
// holds each point for a period, and a 12-step staircase carries its circle's fundamental at
// sin(pi / 12) / (pi / 12) = 0.9886 of the points' radius (the harmonics, at 11 and 13 times
// the frequency, are damped to below 0.1 % and leave the radius alone). The rated scanner
// draws the circle touching the square:
//
//   |H(r)| * 0.9886 = 10240 / 15918  =>  |H(r)| = G = 0.6507
//   r^4 + (4 zeta^2 - 2) r^2 + 1 - 1 / G^2 = 0
//   r^2 = ((2 - 4 zeta^2) + sqrt((4 zeta^2 - 2)^2 + 4 (1 / G^2 - 1))) / 2
//
// With zeta = 0.7 this is r = 1.090, so wn = 2 pi (K / 12) / 1.090: 14417 rad/s (2.29 kHz)
// for a 30 kpps pair. The amplitude does not enter: the model is linear, so the test angle
// matters only for the velocity and acceleration the rating stands for (RatedVelocity).
double NaturalFrequency(const ScannerRating& rating) {
  const double pointsPerSecond = std::max(rating.kpps, 1e-3) * 1000.0;
  const double w = 2.0 * std::numbers::pi * pointsPerSecond / kTestCirclePoints;
  const double stairs =
      std::sin(std::numbers::pi / kTestCirclePoints) / (std::numbers::pi / kTestCirclePoints);
  const double gain = kSquareOverCircle / stairs;
  const double zeta = std::max(rating.damping, 1e-3);
  const double b = 4.0 * zeta * zeta - 2.0;
  const double r2 = (-b + std::sqrt(b * b + 4.0 * (1.0 / (gain * gain) - 1.0))) / 2.0;
  return w / std::sqrt(r2);
}

// The rating promises that the scanners draw the test pattern right at K points a second
// with the pattern's whole coordinate range spanning the test angle; the DAC's field spans
// fieldAngleDegrees, so the pattern takes testAngle / fieldAngle of the field's width (8 / 40
// = 0.2 by default). Its steepest step is then 41790 / 65536 * 0.2 = 0.128 field widths a
// point, and as a velocity (K points a ms) 3.83 field widths a ms at 30 kpps; the same step
// from rest is its peak acceleration, 0.128 * K^2 = 115 field widths a ms squared. Measured
// like a frame's own peaks, on the command, so the test pattern at its rated speed and angle
// is a load of 100 %, and twice as fast 200 % by velocity and 400 % by acceleration.
double RatedVelocity(const ScannerRating& rating) {
  const double share = rating.testAngleDegrees / rating.fieldAngleDegrees;
  return kTestPeakStep / kTestCoordinateSpan * share * rating.kpps;
}

double RatedAcceleration(const ScannerRating& rating) {
  const double share = rating.testAngleDegrees / rating.fieldAngleDegrees;
  return kTestPeakStep / kTestCoordinateSpan * share * rating.kpps * rating.kpps;
}

ScannerModel::ScannerModel(const ScannerRating& rating)
    : rating_(rating), wn_(NaturalFrequency(rating)) {}

void ScannerModel::Reset(double x, double y) {
  x_ = x;
  y_ = y;
  vx_ = 0;
  vy_ = 0;
  colourHistory_.clear();
  worstError_ = 0;
}

// The closed-form step of a held command. With e = x - u the deviation from the command,
// e'' = -wn^2 e - 2 zeta wn e', whose solution over h from (e, v) is, with s = zeta wn and
// E = exp(-s h):
//   underdamped (zeta < 1), wd = wn sqrt(1 - zeta^2): C = cos(wd h), S = sin(wd h) / wd
//   critical (zeta = 1):                               C = 1,         S = h
//   overdamped (zeta > 1), wd = wn sqrt(zeta^2 - 1):  C = cosh(wd h), S = sinh(wd h) / wd
//   e(h) = E ((C + s S) e + S v),  v(h) = E (-wn^2 S e + (C - s S) v).
// Exact for any rate: no integration error to tune away, two multiply-adds per coefficient.
const ScannerModel::Step& ScannerModel::StepFor(uint32_t pointRate, uint32_t samplesPerPoint) {
  if (pointRate == stepRate_ && samplesPerPoint == stepSamples_) return step_;
  const double h = 1.0 / (static_cast<double>(std::max(pointRate, 1u)) * samplesPerPoint);
  const double zeta = std::max(rating_.damping, 0.0);
  const double s = zeta * wn_;
  double c = 1.0;
  double sn = h;
  if (zeta < 1.0) {
    const double wd = wn_ * std::sqrt(1.0 - zeta * zeta);
    c = std::cos(wd * h);
    sn = std::sin(wd * h) / wd;
  } else if (zeta > 1.0) {
    const double wd = wn_ * std::sqrt(zeta * zeta - 1.0);
    c = std::cosh(wd * h);
    sn = std::sinh(wd * h) / wd;
  }
  const double e = std::exp(-s * h);
  step_ = Step{e * (c + s * sn), e * sn, -wn_ * wn_ * e * sn, e * (c - s * sn)};
  stepRate_ = pointRate;
  stepSamples_ = samplesPerPoint;
  return step_;
}

void ScannerModel::Follow(std::span<const DacPoint> points, uint32_t pointRate) {
  const Step st = StepFor(pointRate, 1);
  double x = x_, y = y_, vx = vx_, vy = vy_;
  double worst = 0;
  for (const DacPoint& p : points) {
    const double ux = p.x;
    const double uy = p.y;
    const double ex = x - ux;
    const double ey = y - uy;
    const double nex = st.a11 * ex + st.a12 * vx;
    const double ney = st.a11 * ey + st.a12 * vy;
    vx = st.a21 * ex + st.a22 * vx;
    vy = st.a21 * ey + st.a22 * vy;
    x = ux + nex;
    y = uy + ney;
    worst = std::max(worst, nex * nex + ney * ney);
  }
  Settle(x, y, vx, vy, worst, points, pointRate);
}

// The colour of a sample is the command held colourDelayUs before it, taken exactly: the laser
// modulation sees the DAC's held colours late, so at time t it shows the point that was put
// out at t - delay. At 30 kpps the 150 us are 4.5 points, and the last sample of point k
// (the moment point k + 1 comes) shows point k - 4, neither interpolated nor rounded; a delay
// of a whole number of periods n puts a sample on the boundary, which goes to point k + 1 - n.
void ScannerModel::Simulate(std::span<const DacPoint> points, uint32_t pointRate,
                            std::vector<BeamSample>& out, uint32_t samplesPerPoint) {
  samplesPerPoint = std::clamp(samplesPerPoint, 1u, 256u);
  const Step st = StepFor(pointRate, samplesPerPoint);
  const double delayPoints =
      std::max(rating_.colourDelayUs, 0.0) * 1e-6 * static_cast<double>(std::max(pointRate, 1u));
  // The colour of sample j of point k is point k + offset[j] (negative: an earlier call's).
  int64_t offset[256];
  for (uint32_t j = 0; j < samplesPerPoint; ++j) {
    offset[j] = static_cast<int64_t>(
        std::floor(static_cast<double>(j + 1) / samplesPerPoint - delayPoints + 1e-9));
  }
  const auto history = static_cast<int64_t>(colourHistory_.size());
  const auto count = static_cast<int64_t>(points.size());
  const DacPoint dark{};

  out.reserve(out.size() + points.size() * samplesPerPoint);
  double x = x_, y = y_, vx = vx_, vy = vy_;
  double worst = 0;
  for (int64_t k = 0; k < count; ++k) {
    const DacPoint& p = points[static_cast<size_t>(k)];
    const double ux = p.x;
    const double uy = p.y;
    for (uint32_t j = 0; j < samplesPerPoint; ++j) {
      const double ex = x - ux;
      const double ey = y - uy;
      const double nvx = st.a21 * ex + st.a22 * vx;
      const double nvy = st.a21 * ey + st.a22 * vy;
      x = ux + st.a11 * ex + st.a12 * vx;
      y = uy + st.a11 * ey + st.a12 * vy;
      vx = nvx;
      vy = nvy;
      const int64_t c = k + offset[j];
      const DacPoint& colour = c >= 0 ? points[static_cast<size_t>(std::min(c, count - 1))]
                               : c + history >= 0 ? colourHistory_[static_cast<size_t>(c + history)]
                                                  : dark;
      out.push_back(BeamSample{static_cast<float>(x), static_cast<float>(y), colour.r, colour.g,
                               colour.b, colour.i});
    }
    const double dx = x - ux;
    const double dy = y - uy;
    worst = std::max(worst, dx * dx + dy * dy);
  }
  Settle(x, y, vx, vy, worst, points, pointRate);
}

void ScannerModel::Settle(double x, double y, double vx, double vy, double worstSquared,
                          std::span<const DacPoint> points, uint32_t pointRate) {
  x_ = x;
  y_ = y;
  vx_ = vx;
  vy_ = vy;
  worstError_ = std::sqrt(worstSquared);
  KeepColours(points, pointRate);
}

void ScannerModel::KeepColours(std::span<const DacPoint> points, uint32_t pointRate) {
  const double delayPoints =
      std::max(rating_.colourDelayUs, 0.0) * 1e-6 * static_cast<double>(std::max(pointRate, 1u));
  // A delay longer than a second of points is not a scanner's; the history stays bounded.
  const size_t keep = static_cast<size_t>(std::min(std::ceil(delayPoints), 1e6)) + 1;
  if (points.size() >= keep) {
    colourHistory_.assign(points.end() - static_cast<ptrdiff_t>(keep), points.end());
    return;
  }
  const size_t fromOld = std::min(colourHistory_.size(), keep - points.size());
  colourHistory_.erase(colourHistory_.begin(),
                       colourHistory_.end() - static_cast<ptrdiff_t>(fromOld));
  colourHistory_.insert(colourHistory_.end(), points.begin(), points.end());
}

}  // namespace lumarex
