#include <gtest/gtest.h>

#include <vector>

#include "output_fixture.h"

namespace lumarex {
namespace {

using testing::At;
using testing::Dark;
using testing::Lit;
using testing::OutputFixture;

// The first lit entry of the last write: where a one-point frame's point went.
DacPoint LitEntry(const OutputFixture& f) {
  for (const DacPoint& p : f.Sent()) {
    if (p.i != 0) return p;
  }
  ADD_FAILURE() << "no lit entry";
  return {};
}

TEST(Transform, OnePointFrameInCentreModeGivesFiveDacPoints) {
  OutputFixture f;
  f.Stage({Lit(0, 0)});
  EXPECT_EQ(f.Sent(),
            (std::vector<DacPoint>{At(0, 0), At(0, 0), At(0, 0, 90, 60, 30), At(0, 0), At(0, 0)}));
  EXPECT_EQ(f.output.ScanSpeedPps, 25000);
}

TEST(Transform, BlankedMovesAreCutIntoSteps) {
  OutputFixture f;
  f.output.Farbverschiebung.SetPosition(0);
  // 15000 to the right: k = 10 steps of 15000 div 11 = 1363, then back to the centre the same.
  f.Stage({Lit(15000, 0)});
  const auto sent = f.Sent();
  ASSERT_EQ(sent.size(), 1u + 10 + 1 + 1 + 1 + 10 + 1);
  EXPECT_EQ(sent[0], At(0, 0));
  for (int j = 1; j <= 10; ++j) EXPECT_EQ(sent[static_cast<size_t>(j)], At(1363 * j, 0)) << j;
  EXPECT_EQ(sent[11], At(15000, 0));
  EXPECT_EQ(sent[12], At(15000, 0, 90, 60, 30));
  EXPECT_EQ(sent[13], At(15000, 0));
  for (int j = 1; j <= 10; ++j) {
    EXPECT_EQ(sent[static_cast<size_t>(13 + j)], At(15000 - 1363 * j, 0)) << j;
  }
  EXPECT_EQ(sent.back(), At(0, 0));

  // The longer axis decides; 1499 on both axes adds nothing, -1500 adds one step.
  f.Stage({Lit(1499, -1499)});
  EXPECT_EQ(f.Sent().size(), 5u);
  f.Stage({Lit(300, -1500)});
  const auto one = f.Sent();
  ASSERT_EQ(one.size(), 7u);
  EXPECT_EQ(one[1], At(150, -750));
}

TEST(Transform, DirectModeStartsAtThePreviousFramesLastPoint) {
  OutputFixture f;
  f.output.Farbverschiebung.SetPosition(0);
  f.output.Framewechsel.Click();
  ASSERT_EQ(f.output.FrameChangeMode, 1);
  EXPECT_EQ(f.output.Framewechsel.Caption(), "IQ-Fahrt");

  f.Stage({Lit(100, 200), Lit(400, 600)});
  auto sent = f.Sent();
  // No closing move in direct mode: start, first blanked, two lit, last blanked.
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[0], At(0, 0));
  EXPECT_EQ(sent[4], At(400, 600));
  EXPECT_EQ(f.output.LastEndX, 400);
  EXPECT_EQ(f.output.LastEndY, 600);

  f.Stage({Lit(-2600, 600)});
  sent = f.Sent();
  ASSERT_EQ(sent.size(), 4u + 2);  // 3000 to the left: two steps of 3000 div 3
  EXPECT_EQ(sent[0], At(400, 600));
  EXPECT_EQ(sent[1], At(-600, 600));
  EXPECT_EQ(sent[2], At(-1600, 600));

  f.output.Framewechsel.Click();
  EXPECT_EQ(f.output.Framewechsel.Caption(), "Centerfahrt");
  f.Stage({Lit(10, 10)});
  EXPECT_EQ(f.Sent().front(), At(0, 0));
}

TEST(Transform, ExtraPointsDwellAtEveryChangeBetweenBlankedAndLit) {
  OutputFixture f;
  f.output.Farbverschiebung.SetPosition(0);
  f.output.Extrapoints.SetPosition(2);
  // Sequence: start b, P0 b, P0 lit, P1 lit, P1 b, centre b (moves shorter than a step).
  f.Stage({Lit(100, 0), Lit(200, 0, 30, 30, 30)});
  const DacPoint b0 = At(0, 0), b1 = At(100, 0), l1 = At(100, 0, 90, 60, 30);
  const DacPoint l2 = At(200, 0, 30, 30, 30), b2 = At(200, 0);
  EXPECT_EQ(f.Sent(),
            (std::vector<DacPoint>{b0, b1, b1, b1, l1, l1, l1, l2, l2, l2, b2, b2, b2, b0}));
}

TEST(Transform, ColourShiftDelaysColoursAgainstPositions) {
  OutputFixture f;
  f.output.Farbverschiebung.SetPosition(2);
  f.Stage({Lit(100, 0, 10, 20, 30), Lit(200, 0, 40, 50, 60), Lit(300, 0, 70, 80, 90)});
  const auto sent = f.Sent();
  // Positions: start, P0 b, P0, P1, P2, P2 b, centre. Colours move two entries on.
  ASSERT_EQ(sent.size(), 7u);
  EXPECT_EQ(sent[2], At(100, 0));
  EXPECT_EQ(sent[3], At(200, 0));
  EXPECT_EQ(sent[4], At(300, 0, 10, 20, 30));
  EXPECT_EQ(sent[5], At(300, 0, 40, 50, 60));
  EXPECT_EQ(sent[6], At(0, 0, 70, 80, 90));

  // A shift beyond the last index (4 entries in direct mode) changes nothing.
  f.output.Framewechsel.Click();
  f.output.Farbverschiebung.SetPosition(10);
  f.Stage({Lit(0, 0, 10, 20, 30), Lit(0, 0, 40, 50, 60)});
  EXPECT_EQ(f.Sent()[2], At(0, 0, 10, 20, 30));
}

TEST(Transform, OrientationsMapAndNegateTheAxes) {
  OutputFixture f;
  f.output.Farbverschiebung.SetPosition(0);
  f.output.Achse_X.SetLeft(0);
  f.output.Achse_X.SetRight(100);
  f.output.Achse_Y.SetLeft(0);
  f.output.Achse_Y.SetRight(100);
  struct Case {
    int32_t orientation, x, y;
  };
  const Case cases[] = {{0, 1000, 2000}, {1, -1000, -2000}, {2, -1000, 2000}, {3, 2000, -1000},
                        {4, 2000, 1000}, {5, -2000, -1000}, {6, -2000, 1000}, {7, 1000, -2000}};
  for (const Case& c : cases) {
    f.output.Scanner_Invers.SetPosition(c.orientation);
    f.Stage({Lit(1000, 2000)});
    const DacPoint p = LitEntry(f);
    EXPECT_EQ(p.x, c.x + 32768) << c.orientation;
    EXPECT_EQ(p.y, c.y + 32768) << c.orientation;
  }
  // The extremes at the default size: -(-32768) x 0.5 stays in range.
  f.output.Achse_X.SetLeft(25);
  f.output.Achse_X.SetRight(75);
  f.output.Achse_Y.SetLeft(25);
  f.output.Achse_Y.SetRight(75);
  f.output.Scanner_Invers.SetPosition(1);
  f.Stage({Lit(32767, -32768)});
  EXPECT_EQ(LitEntry(f).x, 16385);
  EXPECT_EQ(LitEntry(f).y, 49152);
}

TEST(Transform, SizeAndOffsetScaleAndWrap) {
  OutputFixture f;
  f.output.Farbverschiebung.SetPosition(0);
  f.output.Achse_X.SetLeft(0);
  f.output.Achse_X.SetRight(100);
  EXPECT_EQ(f.output.OffsetX, 0);
  f.Stage({Lit(-32768, 0)});
  EXPECT_EQ(f.output.ScaleX, 1.0);
  EXPECT_EQ(LitEntry(f).x, 0);

  f.output.Achse_X.SetLeft(50);
  EXPECT_EQ(f.output.OffsetX, 16375);
  f.Stage({Lit(32767, 0)});
  EXPECT_EQ(f.output.ScaleX, 0.5);
  EXPECT_EQ(LitEntry(f).x, 16383 + 32768 + 16375);
  // The handlers keep the window inside the scale; a size written around them (the offset of
  // 50..100 with the full width) runs past 65535 and wraps round.
  f.output.Achse_X.SetLeftQuietly(0);
  f.Stage({Lit(32767, 0)});
  EXPECT_EQ(LitEntry(f).x, (32767 + 32768 + 16375) % 65536);
}

TEST(Transform, StagedCoordinatesBeyondTheShowRangeStillMap) {
  // The start animation stages 32-bit coordinates of its own.
  OutputFixture f;
  f.output.Farbverschiebung.SetPosition(0);
  f.output.Framewechsel.Click();  // direct mode keeps the sequence short
  f.output.Achse_X.SetLeft(0);
  f.output.Achse_X.SetRight(100);
  f.Stage({Lit(100000, -70001)});
  EXPECT_EQ(LitEntry(f).x, (100000 + 32768) % 65536);
  EXPECT_EQ(LitEntry(f).y, 65536 - 35000 + 32768);  // -35000.5 truncates to -35000
  EXPECT_LE(f.Sent().size(), 4u + 2 * LaserAusgabe::kMaxMoveSteps);
}

TEST(Transform, SizeProductsUseExtendedPrecision) {
  OutputFixture f;
  f.output.Farbverschiebung.SetPosition(0);
  // A 3 % window cannot be reached through the handler, only by writing the slider directly.
  f.output.Achse_X.SetLeftQuietly(20);
  f.output.Achse_X.SetRightQuietly(23);
  f.Stage({Lit(-32700, 0)});
  // -32700 x 0.03 is -980.99999999999996 in extended precision; double would round to -981.
  EXPECT_EQ(LitEntry(f).x, 32768 - 980);
}

TEST(Transform, BlankedPointsReachTheLaserDark) {
  OutputFixture f;
  f.output.ApplyStartupSettings();
  ASSERT_EQ(f.output.RedTable[0], 8);
  f.output.Farbverschiebung.SetPosition(0);
  f.store.ClearShow();
  f.store.FrameCount = 0;
  auto points = f.store.NewFrame(2);
  points[0] = ShowPoint{100, 100, 0, 255, 0, 0, 0, 0};      // blanked move, red in the file
  points[1] = ShowPoint{200, 100, 0, 255, 255, 255, 1, 0};  // lit white
  f.store.CommitFrame(1, FrameTail::kAllReal);
  f.output.OutputFrame(0);
  const auto sent = f.Sent();
  ASSERT_EQ(sent.size(), 6u);
  for (size_t k : {0u, 1u, 2u, 4u, 5u}) {
    EXPECT_EQ(sent[k].r + sent[k].g + sent[k].b + sent[k].i, 0) << k;
  }
  EXPECT_EQ(sent[3].r, 255);
  EXPECT_EQ(sent[3].i, 255);
}

TEST(Transform, EmptyFrameSendsOneDarkCentrePointAndAnEmptyShowNothing) {
  OutputFixture f;
  f.store.FrameCount = 0;
  f.output.OutputFrame(0);
  EXPECT_TRUE(f.Sent().empty());

  f.store.AppendEmptyFrame();
  f.output.OutputFrame(0);
  EXPECT_EQ(f.Sent(), (std::vector<DacPoint>{DacPoint{32768, 32768, 0, 0, 0, 0, {}}}));
}

// The extra-points pass written the plain way, forwards into a new list, to check the
// in-place pass on long sequences.
std::vector<SequencePoint> ReferenceExtraPoints(const std::vector<SequencePoint>& in, int e) {
  std::vector<SequencePoint> out;
  for (size_t k = 0; k + 1 < in.size(); ++k) {
    const SequencePoint& c = in[k];
    const SequencePoint& n = in[k + 1];
    out.push_back(c);
    if (c.i == 0 && n.i > 0) {
      for (int j = 0; j < e; ++j) out.push_back(Dark(c.x, c.y));
      for (int j = 0; j < e; ++j) out.push_back(n);
    } else if (c.i > 0 && n.i == 0) {
      for (int j = 0; j < e; ++j) out.push_back(c);
      for (int j = 0; j < e; ++j) out.push_back(Dark(n.x, n.y));
    }
  }
  out.push_back(in.back());
  return out;
}

TEST(Transform, ExtraPointsAndColourShiftOnLongerSequences) {
  // A frame of runs of lit and blanked points, all close together so no moves are added; the
  // sequence is then start, P0 blanked, the points, last blanked, centre.
  std::vector<SequencePoint> frame;
  for (int k = 0; k < 200; ++k) {
    const bool lit = (k / 3 + k / 7) % 2 == 0;
    const uint8_t c = static_cast<uint8_t>(k + 10);
    frame.push_back(lit ? Lit(k * 5, -k * 3, c, 0, c) : Dark(k * 5, -k * 3));
  }
  std::vector<SequencePoint> base{Dark(0, 0), Dark(frame[0].x, frame[0].y)};
  for (SequencePoint p : frame) {
    p.i = static_cast<uint8_t>((p.r + p.g + p.b) / 3);
    base.push_back(p);
  }
  base.push_back(Dark(frame.back().x, frame.back().y));
  base.push_back(Dark(0, 0));

  for (int e = 1; e <= 5; ++e) {
    for (int s : {0, 3, 10}) {
      OutputFixture f;
      f.output.Extrapoints.SetPosition(e);
      f.output.Farbverschiebung.SetPosition(s);
      f.Stage(frame);
      const auto expected = ReferenceExtraPoints(base, e);
      const auto sent = f.Sent();
      ASSERT_EQ(sent.size(), expected.size()) << e;
      for (size_t k = 0; k < sent.size(); ++k) {
        const SequencePoint& colour = expected[k >= static_cast<size_t>(s) ? k - s : k];
        ASSERT_EQ(sent[k], At(expected[k].x, expected[k].y, colour.r, colour.g, colour.b))
            << "e " << e << " s " << s << " entry " << k;
      }
    }
  }
}

TEST(Transform, LargestFrameFitsWithTheMostExtraPoints) {
  OutputFixture f;
  f.output.Extrapoints.SetPosition(5);
  f.store.ClearShow();
  f.store.FrameCount = 0;
  auto points = f.store.NewFrame(ShowStore::kMaxPointsPerFrame);
  for (size_t k = 0; k < points.size(); ++k) {
    // Alternating lit and blanked at opposite corners: every pair is a transition.
    const bool lit = k % 2 == 0;
    points[k] = ShowPoint{static_cast<int16_t>(lit ? 32767 : -32768),
                          static_cast<int16_t>(lit ? -32768 : 32767),
                          0,
                          255,
                          255,
                          255,
                          static_cast<uint8_t>(lit ? 1 : 0),
                          0};
  }
  f.store.CommitFrame(static_cast<uint16_t>(points.size() - 1), FrameTail::kAllReal);
  f.output.OutputFrame(0);
  // Start, 21 steps to the first point, its blanked copy, 65536 points, the last blanked,
  // 21 steps home, the centre: 65582 entries with 65536 transitions of 10 extra points.
  const auto sent = f.output.LastDacPoints();
  EXPECT_EQ(sent.size(), 65582u + 65536u * 10u);
  EXPECT_LE(sent.size(), LaserAusgabe::kMaxSequence);
}

}  // namespace
}  // namespace lumarex
