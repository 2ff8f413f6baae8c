#include "analysis/scanner_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "show/ilda.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

std::vector<DacPoint> Held(int x, int y, size_t count) {
  return std::vector<DacPoint>(
      count, DacPoint{static_cast<uint16_t>(x), static_cast<uint16_t>(y), 255, 255, 255, 255, {}});
}

// A step of the command: the beam follows the closed form of the second-order system at every
// sample, and so overshoots by exp(-zeta pi / sqrt(1 - zeta^2)) and settles within the 2 %
// band by the envelope's time.
TEST(ScannerModel, StepResponseIsTheSecondOrderClosedForm) {
  const ScannerRating rating;
  const double zeta = rating.damping;
  const double wn = NaturalFrequency(rating);
  const double wd = wn * std::sqrt(1 - zeta * zeta);
  ScannerModel model(rating);
  model.Reset(10000, 32768);
  std::vector<BeamSample> beam;
  constexpr uint32_t kRate = 30000;
  constexpr uint32_t kSub = 16;
  model.Simulate(Held(50000, 32768, 60), kRate, beam, kSub);
  ASSERT_EQ(beam.size(), 60u * kSub);

  double peak = 0;
  double settledAfter = 0;
  for (size_t n = 0; n < beam.size(); ++n) {
    const double t = static_cast<double>(n + 1) / (kRate * kSub);
    const double closed =
        1 - std::exp(-zeta * wn * t) * (std::cos(wd * t) + zeta * wn / wd * std::sin(wd * t));
    const double response = (beam[n].x - 10000.0) / 40000.0;
    ASSERT_NEAR(response, closed, 1e-6) << "sample " << n;
    EXPECT_FLOAT_EQ(beam[n].y, 32768.0f);
    peak = std::max(peak, response);
    if (std::abs(response - 1) > 0.02) settledAfter = t;
  }
  EXPECT_NEAR(peak - 1, std::exp(-zeta * std::numbers::pi / std::sqrt(1 - zeta * zeta)), 2e-4);
  const double envelope = -std::log(0.02 * std::sqrt(1 - zeta * zeta)) / (zeta * wn);
  EXPECT_LE(settledAfter, envelope);
  EXPECT_GT(settledAfter, 0.6 * envelope);
  // Measured at the end of each point's period: the worst is after the first.
  EXPECT_NEAR(model.WorstTrackingError(), 40000.0 * (1 - (beam[kSub - 1].x - 10000.0) / 40000.0),
              0.01);

  // The state carries over: held on, the beam stays where it settled.
  model.Simulate(Held(50000, 32768, 30), kRate, beam);
  EXPECT_NEAR(beam.back().x, 50000.0, 0.5);
  EXPECT_LT(model.WorstTrackingError(), 40.0);
}

// The colours come colourDelayUs late: 150 us at 30 kpps are 4.5 points, so a quarter into
// point k the laser shows point k - 5 and at its end point k - 4, across calls too.
TEST(ScannerModel, ColoursLagByTheColourDelay) {
  ScannerModel model;
  model.Reset();
  std::vector<DacPoint> points(12, DacPoint{32768, 32768, 0, 0, 0, 0, {}});
  for (size_t k = 0; k < points.size(); ++k) points[k].r = static_cast<uint8_t>(10 + k);
  std::vector<BeamSample> beam;
  model.Simulate(std::span(points).first(6), 30000, beam, 4);
  model.Simulate(std::span(points).subspan(6), 30000, beam, 4);
  ASSERT_EQ(beam.size(), 48u);
  for (size_t k = 0; k < points.size(); ++k) {
    EXPECT_EQ(beam[4 * k].r, k >= 5 ? 10 + k - 5 : 0) << k;
    EXPECT_EQ(beam[4 * k + 3].r, k >= 4 ? 10 + k - 4 : 0) << k;
  }
}

// The rating against the real ILDA test pattern: drawn at the test angle at the rated speed,
// its circle (12 points a revolution, larger than the square in the file) touches the square
// from inside. A pair rated at half the speed draws it small, far inside; one rated at twice
// the speed draws it outside the square.
TEST(ScannerModel, RatedSpeedDrawsTheIldaTestCircleInsideItsSquare) {
  for (const char* name : {"laserdraw__000-ildatest.ild", "laserdraw__ildatstb.ild"}) {
    SCOPED_TRACE(name);
    ShowStore store;
    test::RecordingDesktop desktop;
    IldaReader reader;
    reader.ReadIlda(store, std::string(LUMAREX_SHARED_DIR) + "/testdata/ilda/" + name, false,
                    desktop);
    ASSERT_EQ(store.FrameCount, 1);
    const std::span<const ShowPoint> frame = store.Frame(0);

    // The circle: the lit run of 12-point revolutions; the square: the largest lit corner
    // (|X| = |Y|) within the circle.
    double radius = 0;
    size_t circleFrom = 0, circleTo = 0;
    for (size_t k = 12; k < frame.size() && radius == 0; ++k) {
      const double r = std::hypot(frame[k].X, frame[k].Y);
      const bool moves = frame[k].X != frame[k - 1].X || frame[k].Y != frame[k - 1].Y;
      if (r < 1000 || !moves || frame[k].X != frame[k - 12].X || frame[k].Y != frame[k - 12].Y) {
        continue;
      }
      if (std::abs(std::hypot(frame[k - 3].X, frame[k - 3].Y) - r) > 0.01 * r) continue;
      for (size_t j = k - 11; j <= k; ++j) radius += std::hypot(frame[j].X, frame[j].Y) / 12;
      for (circleFrom = k; frame[circleFrom - 1].X == frame[circleFrom + 11].X;) --circleFrom;
      for (circleTo = k; frame[circleTo + 1].X == frame[circleTo - 11].X;) ++circleTo;
    }
    ASSERT_GT(radius, 0);
    double half = 0;
    for (const ShowPoint& p : frame) {
      if (p.Visible && std::abs(p.X) == std::abs(p.Y) && std::abs(p.X) < radius) {
        half = std::max<double>(half, std::abs(p.X));
      }
    }
    EXPECT_NEAR(half / radius, 10240.0 / 15918.0, 0.002);

    const ScannerRating rated;
    const double share = rated.testAngleDegrees / rated.fieldAngleDegrees;
    std::vector<DacPoint> points;
    for (const ShowPoint& p : frame) {
      points.push_back(DacPoint{static_cast<uint16_t>(std::lround(32768 + p.X * share)),
                                static_cast<uint16_t>(std::lround(32768 + p.Y * share)),
                                255,
                                255,
                                255,
                                static_cast<uint8_t>(p.Visible ? 255 : 0),
                                {}});
    }
    const auto drawnRadius = [&](double kpps) {
      ScannerRating rating;
      rating.kpps = kpps;
      ScannerModel model(rating);
      model.Reset(points[0].x, points[0].y);
      std::vector<BeamSample> beam;
      constexpr uint32_t kSub = 8;
      model.Simulate(points, static_cast<uint32_t>(rated.kpps * 1000), beam, kSub);
      // The last revolution, after the first has let the jump onto the circle die away.
      double least = 1e9, most = 0;
      for (size_t n = (circleTo - 11) * kSub; n < (circleTo + 1) * kSub; ++n) {
        const double r = std::hypot(beam[n].x - 32768.0, beam[n].y - 32768.0) / share;
        least = std::min(least, r);
        most = std::max(most, r);
      }
      EXPECT_GE(circleTo - circleFrom, 23u);
      return std::pair{least, most};
    };
    const auto [ratedLeast, ratedMost] = drawnRadius(rated.kpps);
    EXPECT_LE(ratedMost, half * 1.005);
    EXPECT_GE(ratedLeast, half * 0.99);
    EXPECT_LT(drawnRadius(rated.kpps / 2).second, half * 0.6);
    EXPECT_GT(drawnRadius(rated.kpps * 2).first, half * 1.2);
  }
}

}  // namespace
}  // namespace lumarex
