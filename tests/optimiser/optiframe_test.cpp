#include "optimiser/optiframe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "optimiser/greedy_reference.h"
#include "optimiser/path_distance.h"
#include "optimiser/step_subdivision.h"
#include "tests/support/frame_builder.h"

namespace lumarex {
namespace {

using test::Blanked;
using test::Lit;

struct Expected {
  int x;
  int y;
  bool lit;
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
};

void ExpectPoints(std::span<const ShowPoint> actual, const std::vector<Expected>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "point " << i);
    EXPECT_EQ(actual[i].X, expected[i].x);
    EXPECT_EQ(actual[i].Y, expected[i].y);
    EXPECT_EQ(actual[i].Z, 0);
    EXPECT_EQ(actual[i].Visible, expected[i].lit ? 1 : 0);
    EXPECT_EQ(actual[i].R, expected[i].r);
    EXPECT_EQ(actual[i].G, expected[i].g);
    EXPECT_EQ(actual[i].B, expected[i].b);
  }
}

TEST(OptiframeWorkedExample, OpeningParametersGiveSixteenPoints) {
  Optiframe core;
  const std::vector<ShowPoint> frame = test::TwoSegmentFrame();
  EXPECT_EQ(core.OptimiseFrame(frame, OptimiserParameters{}), FrameOutcome::kOptimised);
  EXPECT_EQ(core.PathCount(), 2);
  EXPECT_EQ(core.OptiLastIndex(), 15);
  ExpectPoints(core.Optimised(), {{0, 0, true, 255},
                                  {1000, 0, true, 255},
                                  {1000, 0, false},
                                  {1000, 0, false},
                                  {1000, 0, false},
                                  {4800, 0, false},
                                  {8600, 0, false},
                                  {12400, 0, false},
                                  {16200, 0, false},
                                  {20000, 0, false},
                                  {20000, 0, false},
                                  {20000, 0, false},
                                  {20000, 0, true, 0, 255},
                                  {21000, 0, true, 0, 255},
                                  {21000, 0, false},
                                  {21000, 0, false}});
}

TEST(OptiframeWorkedExample, MinPointsPadsWithBlankedPointsAtTheLastPosition) {
  Optiframe core;
  OptimiserParameters params;
  params.MinPoints = 200;
  core.OptimiseFrame(test::TwoSegmentFrame(), params);
  ASSERT_EQ(core.OptiLastIndex(), 200);
  const auto points = core.Optimised();
  for (size_t i = 16; i <= 200; ++i) {
    EXPECT_EQ(points[i], Blanked(21000, 0)) << i;
  }
  // A frame already long enough is not padded.
  params.MinPoints = 16;
  EXPECT_EQ(core.BuildOptimisedFrame(2, params), 15);
}

TEST(OptiframeWorkedExample, VisibleStepCutsLitSegmentsInTheEndVertexColour) {
  Optiframe core;
  OptimiserParameters params;
  params.VisibleStep = 768;
  core.OptimiseFrame(std::vector{Blanked(0, 0), Lit(3000, 0, 10, 20, 30)}, params);
  ExpectPoints(core.Optimised(), {{0, 0, true, 10, 20, 30},
                                  {750, 0, true, 10, 20, 30},
                                  {1500, 0, true, 10, 20, 30},
                                  {2250, 0, true, 10, 20, 30},
                                  {3000, 0, true, 10, 20, 30},
                                  {3000, 0, false},
                                  {3000, 0, false}});
}

TEST(OptiframeWorkedExample, DwellsAndCentreMovesFollowTheirCounts) {
  Optiframe core;
  OptimiserParameters params;
  params.SeekStartCount = 1;
  params.SeekEndCount = 2;
  params.BlankStartCount = 1;
  params.BlankEndCount = 0;
  params.CenterStep = 4096;
  params.SearchMode = 2;
  core.OptimiseFrame(std::vector{Blanked(9000, 0), Lit(9000, 5000, 1, 2, 3)}, params);
  // Out of the origin 9000 / 4096 = 2 steps of 9000 / 3; back the same two, from the path end.
  ExpectPoints(core.Optimised(), {{0, 0, false},
                                  {3000, 0, false},
                                  {6000, 0, false},
                                  {9000, 0, false},
                                  {9000, 0, true, 1, 2, 3},
                                  {9000, 0, true, 1, 2, 3},
                                  {9000, 5000, true, 1, 2, 3},
                                  {9000, 5000, true, 1, 2, 3},
                                  {9000, 5000, true, 1, 2, 3},
                                  {9000, 5000, false},
                                  {9000, 5000, false},
                                  {6000, 3334, false},
                                  {3000, 1668, false},
                                  {0, 0, false}});
}

TEST(OptiframeExtraction, FramesWithoutLitPointsYieldNothing) {
  Optiframe core;
  OptimiserParameters params;
  params.CenterStep = 4096;
  params.MinPoints = 200;
  for (const std::vector<ShowPoint>& frame :
       {std::vector<ShowPoint>{}, std::vector{Blanked(1, 1)},
        std::vector{Blanked(0, 0), Blanked(5, 5), Blanked(9, 9)},
        // Point 0 is never taken as lit itself.
        std::vector{Lit(0, 0, 1, 1, 1), Blanked(5, 5)}}) {
    EXPECT_EQ(core.OptimiseFrame(frame, params), FrameOutcome::kNoPaths);
    EXPECT_EQ(core.PathCount(), 0);
    EXPECT_EQ(core.OptiLastIndex(), 0);
    EXPECT_TRUE(core.Optimised().empty());
    EXPECT_TRUE(core.HasStorableResult());
  }
}

TEST(OptiframeExtraction, PathsStartWhereTheBeamIsSwitchedOn) {
  Optiframe core;
  // Point 1 is lit: its path starts at point 0 in point 1's colour, though point 0 is lit too.
  const std::vector frame{Lit(7, 8, 9, 9, 9), Lit(100, 0, 1, 2, 3),   Lit(200, 0, 4, 5, 6),
                          Blanked(300, 300),  Lit(400, 400, 7, 7, 7), Blanked(0, 0),
                          Blanked(-5, -5, 99)};
  ASSERT_EQ(core.ExtractPaths(frame), 2);
  EXPECT_THAT(core.PathVertices(1),
              testing::ElementsAre(PathVertex{7, 8, 1, 2, 3, 1}, PathVertex{100, 0, 1, 2, 3, 1},
                                   PathVertex{200, 0, 4, 5, 6, 1}));
  // A single lit point after a blanked one: two vertices.
  EXPECT_THAT(core.PathVertices(2), testing::ElementsAre(PathVertex{300, 300, 7, 7, 7, 1},
                                                         PathVertex{400, 400, 7, 7, 7, 1}));
  const PathEntry& second = core.Paths()[2];
  EXPECT_EQ(second.LastVertex, 1);
  EXPECT_EQ(second.StartX, 300);
  EXPECT_EQ(second.EndY, 400);
}

TEST(OptiframeExtraction, ThreeDimensionalFramesComeOutFlat) {
  Optiframe core;
  core.OptimiseFrame(std::vector{Blanked(0, 0, 500), Lit(100, 100, 255, 255, 255, -700),
                                 Lit(200, 0, 255, 255, 255, 300)},
                     OptimiserParameters{});
  ASSERT_FALSE(core.Optimised().empty());
  for (const ShowPoint& p : core.Optimised()) EXPECT_EQ(p.Z, 0);
}

TEST(OptiframeOrdering, OnePathFromTheFrameStartIsDrawnForward) {
  Optiframe core;
  core.ExtractPaths(std::vector{Blanked(30000, 0), Lit(10, 0, 1, 1, 1)});
  core.OrderFromFrameStart(1);
  EXPECT_EQ(core.Order()[1], (OrderEntry{1, 0}));
}

TEST(OptiframeOrdering, OnePathFromTheCentreEntersAtTheNearerEnd) {
  Optiframe core;
  core.ExtractPaths(std::vector{Blanked(30000, 0), Lit(10, 0, 1, 1, 1)});
  core.OrderFromCenter(1);
  EXPECT_EQ(core.Order()[1], (OrderEntry{1, 1}));
  // Equal distances: the start wins.
  core.ExtractPaths(std::vector{Blanked(-400, 0), Lit(400, 0, 1, 1, 1)});
  core.OrderFromCenter(1);
  EXPECT_EQ(core.Order()[1], (OrderEntry{1, 0}));
  // Both ends within 4 units of the origin are at distance 0: the start again.
  core.ExtractPaths(std::vector{Blanked(3, -3), Lit(0, 0, 1, 1, 1)});
  core.OrderFromCenter(1);
  EXPECT_EQ(core.Order()[1], (OrderEntry{1, 0}));
}

TEST(OptiframeOrdering, FirstPathLeavesFromItsEndpointNearestAnotherPath) {
  Optiframe core;
  // Path 1 runs (0,0)->(10000,0); path 2 lies beside its start, path 3 is far away.
  core.ExtractPaths(std::vector{Blanked(0, 0), Lit(10000, 0, 1, 0, 0), Blanked(-2000, 0),
                                Lit(-3000, 0, 0, 1, 0), Blanked(30000, 30000),
                                Lit(31000, 30000, 0, 0, 1)});
  core.OrderFromFrameStart(3);
  EXPECT_THAT(core.Order().subspan(1),
              testing::ElementsAre(OrderEntry{1, 1}, OrderEntry{2, 0}, OrderEntry{3, 0}));
  // Reversed, the copy runs end to start and each segment keeps its colour.
  EXPECT_THAT(core.OrderedPath(1),
              testing::ElementsAre(PathVertex{10000, 0, 1, 0, 0, 1}, PathVertex{0, 0, 1, 0, 0, 1}));
}

TEST(OptiframeOrdering, TiesGoToTheLowerPathNumber) {
  Optiframe core;
  // Paths 2 and 3 start at the same distance from the origin; path 2 comes first.
  core.ExtractPaths(std::vector{Blanked(20000, 20000), Lit(20001, 20000, 1, 1, 1), Blanked(1000, 0),
                                Lit(2000, 0, 1, 1, 1), Blanked(-1000, 0), Lit(-2000, 0, 1, 1, 1)});
  core.OrderFromCenter(3);
  EXPECT_EQ(core.Order()[1], (OrderEntry{2, 0}));
}

TEST(OptiframeOrdering, ReversedPathsKeepEachSegmentsColour) {
  Optiframe core;
  core.ExtractPaths(std::vector{Blanked(9000, 0), Lit(6000, 0, 1, 0, 0), Lit(3000, 0, 0, 2, 0),
                                Lit(0, 0, 0, 0, 3)});
  core.OrderFromCenter(1);
  ASSERT_EQ(core.Order()[1], (OrderEntry{1, 1}));
  // The segment 3000-0 was blue, 6000-3000 green, 9000-6000 red: so they stay.
  EXPECT_THAT(
      core.OrderedPath(1),
      testing::ElementsAre(PathVertex{0, 0, 0, 0, 3, 1}, PathVertex{3000, 0, 0, 0, 3, 1},
                           PathVertex{6000, 0, 0, 2, 0, 1}, PathVertex{9000, 0, 1, 0, 0, 1}));
}

TEST(OptiframeOrdering, AFrameWhoseOwnOrderTravelsLessKeepsIt) {
  // Dots on a line in the order 0, -11000, 10000, 30000: nearest first goes 0, 10000, 30000
  // and back to -11000 (71000 units blanked); the frame's own order travels 52000.
  const std::vector frame{Blanked(0, 0),           Lit(0, 0, 1, 1, 1),    Blanked(-11000, 0),
                          Lit(-11000, 0, 1, 1, 1), Blanked(10000, 0),     Lit(10000, 0, 1, 1, 1),
                          Blanked(30000, 0),       Lit(30000, 0, 1, 1, 1)};
  Optiframe core;
  OptimiserParameters params;
  params.KeepShorterFrameOrder = false;
  core.OptimiseFrame(frame, params);
  EXPECT_FALSE(core.KeptFrameOrder());
  // A dot's start is its end, so the first path counts as reversed.
  EXPECT_THAT(core.Order().subspan(1), testing::ElementsAre(OrderEntry{1, 1}, OrderEntry{3, 0},
                                                            OrderEntry{4, 0}, OrderEntry{2, 0}));
  EXPECT_EQ(core.BlankedTravel(4, params), 71000u);

  params.KeepShorterFrameOrder = true;
  core.OptimiseFrame(frame, params);
  EXPECT_TRUE(core.KeptFrameOrder());
  EXPECT_THAT(core.Order().subspan(1), testing::ElementsAre(OrderEntry{1, 0}, OrderEntry{2, 0},
                                                            OrderEntry{3, 0}, OrderEntry{4, 0}));
  EXPECT_EQ(core.BlankedTravel(4, params), 52000u);
  std::vector<int> litX;
  for (const ShowPoint& p : core.Optimised()) {
    if (p.Visible != 0) litX.push_back(p.X);
  }
  EXPECT_THAT(litX, testing::ElementsAre(0, 0, -11000, -11000, 10000, 10000, 30000, 30000));
}

TEST(OptiframeLimits, MoreThan4048PathsLeaveTheFrameAlone) {
  Optiframe core;
  std::vector<ShowPoint> frame{Blanked(0, 0)};
  for (int i = 0; i < 4048; ++i) {
    frame.push_back(Blanked(static_cast<int16_t>(i), 0));
    frame.push_back(Lit(static_cast<int16_t>(i), 5, 1, 1, 1));
  }
  EXPECT_EQ(core.OptimiseFrame(frame, OptimiserParameters{}), FrameOutcome::kOptimised);
  EXPECT_EQ(core.PathCount(), 4048);
  frame.push_back(Blanked(0, 0));
  frame.push_back(Lit(1, 1, 1, 1, 1));
  EXPECT_EQ(core.OptimiseFrame(frame, OptimiserParameters{}), FrameOutcome::kTooManyPaths);
  EXPECT_EQ(core.PathCount(), 0);
  EXPECT_TRUE(core.Optimised().empty());
  EXPECT_FALSE(core.HasStorableResult());
}

TEST(OptiframeLimits, OutputBeyondTheBufferLeavesTheFrameAlone) {
  Optiframe core;
  std::vector<ShowPoint> frame{Blanked(0, 0)};
  for (int i = 0; i < 600; ++i) {
    frame.push_back(Blanked(-30000, static_cast<int16_t>(i * 30)));
    frame.push_back(Lit(30000, static_cast<int16_t>(i * 30), 1, 1, 1));
  }
  OptimiserParameters params;
  params.VisibleStep = 768;  // 78 steps a path
  params.SeekStartCount = 10;
  EXPECT_EQ(core.OptimiseFrame(frame, params), FrameOutcome::kOptimised);
  const uint32_t perPath = 10 + 2 + 78 + 2 + 1 + 2;
  EXPECT_EQ(core.OptiLastIndex(), 600 * perPath - 1 - 1 - 2);
  // 26 more dwell points a path pass 65536.
  params.SeekEndCount = 10;
  params.BlankStartCount = 10;
  params.BlankEndCount = 10;
  EXPECT_EQ(core.OptimiseFrame(frame, params), FrameOutcome::kTooManyPoints);
  EXPECT_EQ(core.OptiLastIndex(), 0);
  EXPECT_TRUE(core.Optimised().empty());
  EXPECT_FALSE(core.HasStorableResult());
}

TEST(PathDistance, MatchesThePlainRootRoundedHalfToEven) {
  for (int32_t dx = -70000; dx <= 70000; dx += 37) {
    for (int32_t dy : {0, 1, 3, 4, 5, 7, 8, 99, 1234, 65535}) {
      ASSERT_EQ(PathDistance(0, 0, dx, dy), ReferencePathDistance(0, 0, dx, dy)) << dx << ' ' << dy;
    }
  }
}

TEST(PathDistance, RoundedSqrtIsExactAroundEverySquareAndHalfway) {
  for (uint64_t r = 0; r <= 25000; ++r) {
    EXPECT_EQ(RoundedSqrt(r * r), r);
    if (r > 1) {
      EXPECT_EQ(RoundedSqrt(r * r - 1), r);
    }
    EXPECT_EQ(RoundedSqrt(r * r + r), r);          // just below (r + 0.5)^2
    EXPECT_EQ(RoundedSqrt(r * r + r + 1), r + 1);  // just above
    ASSERT_EQ(MaxSquaredForDistance(static_cast<uint32_t>(r)), r * r + r);
  }
  EXPECT_EQ(PathDistance(-32768, -32768, 32767, 32767), 23169);
  EXPECT_EQ(PathDistance(0, 0, 3, -3), 0);
}

TEST(StepSubdivision, CountsAndStepsTruncateTowardZero) {
  const StepPlan plan = PlanSteps(1000, 0, 20000, 0, 4096);
  EXPECT_EQ(plan.count, 4);
  EXPECT_EQ(plan.stepX, 3800);
  EXPECT_EQ(plan.stepY, 0);
  const StepPlan back = PlanSteps(0, 0, -9000, 5000, 4096);
  EXPECT_EQ(back.count, 2);
  EXPECT_EQ(back.stepX, -3000);
  EXPECT_EQ(back.stepY, 1666);
  EXPECT_EQ(PlanSteps(0, 0, 4095, -4095, 4096).count, 0);
  EXPECT_EQ(PlanSteps(-32768, 0, 32767, 0, 768).count, 85);
  // A width of 0 makes no steps rather than dividing by zero.
  EXPECT_EQ(PlanSteps(0, 0, 30000, 0, 0).count, 0);
}

}  // namespace
}  // namespace lumarex
