#include "analysis/show_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace lumarex {
namespace {

DacPoint Lit(int x, int y) {
  return DacPoint{static_cast<uint16_t>(x), static_cast<uint16_t>(y), 255, 128, 0, 127, {}};
}
DacPoint Dark(int x, int y) {
  return DacPoint{static_cast<uint16_t>(x), static_cast<uint16_t>(y), 0, 0, 0, 0, {}};
}

// A square path of half a field width a side, drawn by hand: every figure is known.
TEST(AnalyseFrame, LengthsCountsAndPeaksOfAFrameKnownByHand) {
  const std::vector<DacPoint> frame = {
      Dark(10000, 10000), Dark(10000, 10000),  // a blanked move of two points, one a dwell
      Lit(42768, 10000),  Lit(42768, 42768),   // two lit half-field sides
      Lit(42768, 42768),                       // a lit dwell
      Dark(10000, 42768),                      // a blanked side
      Lit(10000, 10000),                       // and the last lit one
  };
  const FrameAnalysis a = AnalyseFrame(frame, 30000, ScannerRating{});
  EXPECT_EQ(a.points, 7u);
  EXPECT_DOUBLE_EQ(a.litLength, 1.5);
  EXPECT_DOUBLE_EQ(a.blankLength, 0.5);
  EXPECT_EQ(a.blanks, 2u);
  EXPECT_EQ(a.dwellPoints, 2u);
  EXPECT_DOUBLE_EQ(a.scanTimeMs, 7.0 / 30.0);
  EXPECT_DOUBLE_EQ(a.refreshHz, 30000.0 / 7.0);
  // Half a field in one point at 30 points a ms; the sharpest turn is a right angle.
  EXPECT_DOUBLE_EQ(a.peakVelocity, 15.0);
  EXPECT_NEAR(a.peakAcceleration, std::sqrt(0.5) * 900.0, 1e-9);
  const double load =
      100.0 * std::max(15.0 / RatedVelocity({}), std::sqrt(0.5) * 900.0 / RatedAcceleration({}));
  EXPECT_NEAR(a.scannerLoad, load, 1e-9);
  EXPECT_TRUE(a.overRated);
  // The beam cannot cross half the field in a point: it lags most of a side behind.
  EXPECT_GT(a.trackingError, 0.3);
  EXPECT_LT(a.trackingError, 0.71);

  ShowAnalysis show;
  AddToShow(show, a);
  FrameAnalysis second = AnalyseFrame(std::span(frame).first(3), 30000, ScannerRating{});
  second.frame = 1;
  AddToShow(show, second);
  EXPECT_EQ(show.points, 10u);
  EXPECT_DOUBLE_EQ(show.litLength, 2.0);
  EXPECT_EQ(show.blanks, 3u);
  EXPECT_EQ(show.worstFrame, 0u);
  EXPECT_EQ(show.overRatedFrames, 2u);
  EXPECT_DOUBLE_EQ(show.scanTimeMs, 10.0 / 30.0);
}

std::vector<DacPoint> Circle(double radius, int pointsPerTurn, int turns) {
  std::vector<DacPoint> points;
  for (int k = 0; k < pointsPerTurn * turns; ++k) {
    const double a = 2 * std::numbers::pi * k / pointsPerTurn;
    points.push_back(Lit(static_cast<int>(std::lround(32768 + radius * std::cos(a))),
                         static_cast<int>(std::lround(32768 + radius * std::sin(a)))));
  }
  return points;
}

std::vector<DacPoint> Square(int half, int pointsPerSide) {
  const int corners[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
  std::vector<DacPoint> points;
  for (int turn = 0; turn < 3; ++turn) {
    for (int c = 0; c < 4; ++c) {
      const int* a = corners[c];
      const int* b = corners[(c + 1) % 4];
      for (int k = 0; k < pointsPerSide; ++k) {
        points.push_back(Lit(32768 + a[0] + (b[0] - a[0]) * k / pointsPerSide,
                             32768 + a[1] + (b[1] - a[1]) * k / pointsPerSide));
      }
    }
  }
  return points;
}

// The scanners' rating decides: a square at 30 kpps, drawn by a 12 kpps pair, has its corners
// rounded further than a 30 kpps pair draws them; a slow circle is an easy frame and jumps
// across the whole field are beyond any rating.
TEST(AnalyseFrame, LoadAndTrackingFollowTheRating) {
  const std::vector<DacPoint> square = Square(16000, 20);
  ScannerRating slow;
  slow.kpps = 12;
  const FrameAnalysis atSlow = AnalyseFrame(square, 30000, slow);
  const FrameAnalysis atRated = AnalyseFrame(square, 30000, ScannerRating{});
  EXPECT_GT(atSlow.trackingError, 1.5 * atRated.trackingError);
  EXPECT_GT(atSlow.scannerLoad, 2 * atRated.scannerLoad);

  // Where the beam passes the corners: nearer to them with the faster pair.
  const auto cornerMiss = [&](const ScannerRating& rating) {
    ScannerModel model(rating);
    model.Reset(square[0].x, square[0].y);
    std::vector<BeamSample> beam;
    model.Simulate(square, 30000, beam, 4);
    double miss = 0;
    for (int corner = 1; corner < 4; ++corner) {
      const DacPoint& c = square[static_cast<size_t>(80 + 20 * corner)];
      double nearest = 1e9;
      for (const BeamSample& s : beam)
        nearest = std::min<double>(nearest, std::hypot(s.x - c.x, s.y - c.y));
      miss = std::max(miss, nearest);
    }
    return miss;
  };
  EXPECT_GT(cornerMiss(slow), 2 * cornerMiss(ScannerRating{}));

  const FrameAnalysis circle = AnalyseFrame(Circle(16000, 300, 2), 30000, ScannerRating{});
  EXPECT_LT(circle.scannerLoad, 100.0);
  EXPECT_FALSE(circle.overRated);
  EXPECT_LT(circle.trackingError, 0.02);
  EXPECT_EQ(circle.dwellPoints, 0u);
  EXPECT_EQ(circle.blanks, 0u);
  EXPECT_NEAR(circle.litLength, 2 * 2 * std::numbers::pi * 16000 / 65536.0, 0.01);

  std::vector<DacPoint> jumps;
  for (int k = 0; k < 40; ++k) jumps.push_back(k % 2 ? Lit(65535, 65535) : Lit(0, 0));
  const FrameAnalysis jumping = AnalyseFrame(jumps, 30000, ScannerRating{});
  EXPECT_GT(jumping.scannerLoad, 100.0);
  EXPECT_TRUE(jumping.overRated);
  EXPECT_GT(jumping.trackingError, 0.5);
}

}  // namespace
}  // namespace lumarex
