#include "optimiser/frame_statistics.h"

#include <gtest/gtest.h>

#include "optimiser/optiframe.h"
#include "tests/optimiser/test_support.h"
#include "tests/support/frame_builder.h"

namespace lumarex {
namespace {

TEST(FrameStatistics, WorkedExampleBeforeAndAfter) {
  ShowStore store;
  store.FrameCount = 0;
  test::AppendFrame(store, test::TwoSegmentFrame());
  const FrameMeasure before = MeasureUnoptimised(store, 0);
  EXPECT_EQ(before.litPoints, 2u);
  EXPECT_EQ(before.blankedPoints, 2u);
  EXPECT_EQ(before.litUnits, 2000u);
  EXPECT_EQ(before.blankedUnits, 19000u);

  Optiframe core;
  core.OptimiseFrame(store, 0, OptimiserParameters{});
  const FrameMeasure after = MeasureOptimised(core.Optimised());
  // Point 0 is not counted: lit are (1000,0), (20000,0) and (21000,0).
  EXPECT_EQ(after.litPoints, 3u);
  EXPECT_EQ(after.blankedPoints, 12u);
  EXPECT_EQ(after.litUnits, 2000u);
  EXPECT_EQ(after.blankedUnits, 5u * 3800u);
  EXPECT_NEAR(static_cast<double>(after.LitLength()), 2.2217, 1e-4);

  StatusImage panel(320, 95);
  DrawOptimisedColumn(panel, core.PathCount(), core.OptiLastIndex(), after, ',');
  EXPECT_EQ(panel.TextAt(255, 1), "2    ");
  EXPECT_EQ(panel.TextAt(250, 27), "15     ");
  EXPECT_EQ(panel.TextAt(250, 40), "0,23  ");
  EXPECT_EQ(panel.TextAt(250, 53), "20,0  ");
  EXPECT_EQ(panel.TextAt(250, 66), "0,6  ");
  EXPECT_EQ(panel.TextAt(250, 80), "S:3   B:12      ");
  DrawUnoptimisedColumn(panel, 0, 3, before, ',');
  EXPECT_EQ(panel.TextAt(170, 1), "0      ");
  EXPECT_EQ(panel.TextAt(120, 27), "4        ");
  EXPECT_EQ(panel.TextAt(120, 53), "50,0  ");
  EXPECT_EQ(panel.TextAt(120, 66), "0,1  ");
}

TEST(FrameStatistics, MovesAreMeasuredOnAGridOfFour) {
  // Each coordinate is divided by 4 toward zero before the difference: -3/4 and 3/4 are 0.
  EXPECT_EQ(MeasuredMove(-3, 0, 3, 0), 0u);
  EXPECT_EQ(MeasuredMove(-4, 0, 4, 0), 8u);
  EXPECT_EQ(MeasuredMove(0, 0, 3000, 4000), 5000u);
  EXPECT_EQ(MeasuredMove(-32768, -32768, 32767, 32767), 92676u);
}

TEST(FrameStatistics, EmptyFramesRead0Comma0) {
  ShowStore store;
  store.FrameCount = 0;
  store.AppendEmptyFrame();
  StatusImage panel(320, 95);
  const FrameMeasure m = MeasureUnoptimised(store, 0);
  DrawUnoptimisedColumn(panel, 0, 0, m, ',');
  EXPECT_EQ(panel.TextAt(120, 27), "0              ");
  EXPECT_EQ(panel.TextAt(120, 53), "0,0    ");
  DrawOptimisedColumn(panel, 0, 0, FrameMeasure{}, ',');
  EXPECT_EQ(panel.TextAt(250, 53), "0,0  ");
}

TEST(FrameStatistics, FrameTimeAtTwentyFiveThousandPointsASecond) {
  EXPECT_EQ(FrameTimeTenths(1000), 400u);
  EXPECT_EQ(FrameTimeTenths(1), 0u);
  EXPECT_EQ(FrameTimeTenths(2), 1u);
  EXPECT_EQ(FormatFixed(40.0L, 1, 3, ','), "40,0");
  EXPECT_EQ(FormatFixed(40.0L, 1, 3, '.'), "40.0");
  // Too many digits before the separator: exponent notation.
  EXPECT_EQ(FormatFixed(static_cast<long double>(FrameTimeTenths(65535)) / 10, 1, 3, ','),
            "2,62E+3");
  EXPECT_EQ(FormatFixed(6.25L, 1, 3, ','), "6,3");  // halves away from zero
  EXPECT_EQ(FormatFixed(0.0L, 2, 5, ','), "0,00");
}

}  // namespace
}  // namespace lumarex
