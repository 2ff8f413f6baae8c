#include <gtest/gtest.h>

#include <vector>

#include "widgets/range_slider.h"
#include "widgets/scroll_bar.h"
#include "widgets/track_bar.h"

namespace lumarex {
namespace {

TEST(TrackBar, ClampsAndRunsTheHandlerOnlyOnARealChange) {
  TrackBar bar(20, 80, 25);
  std::vector<int32_t> seen;
  bar.OnChange([&] { seen.push_back(bar.Position()); });

  bar.SetPosition(25);  // unchanged: nothing runs
  bar.SetPosition(90);  // clamped to the maximum
  bar.SetPosition(80);  // the clamped value again: nothing
  bar.SetPosition(-5);
  bar.MoveByOperator(30);
  EXPECT_EQ(seen, (std::vector<int32_t>{80, 20, 30}));
}

TEST(TrackBar, OperatorCannotMoveAHiddenOrDisabledBarButTheProgramCan) {
  TrackBar bar(4, 10, 10);
  int runs = 0;
  bar.OnChange([&] { ++runs; });
  bar.SetEnabled(false);
  bar.MoveByOperator(5);
  EXPECT_EQ(bar.Position(), 10);
  bar.SetEnabled(true);
  bar.SetVisible(false);
  bar.MoveByOperator(5);
  EXPECT_EQ(bar.Position(), 10);
  bar.SetPosition(6);
  EXPECT_EQ(bar.Position(), 6);
  EXPECT_EQ(runs, 1);
}

TEST(TrackBar, NarrowingTheRangePullsThePositionInAndReportsIt) {
  TrackBar bar(0, 100, 90);
  int runs = 0;
  bar.OnChange([&] { ++runs; });
  bar.SetRange(0, 50);
  EXPECT_EQ(bar.Position(), 50);
  bar.SetRange(60, 10);  // given the wrong way round
  EXPECT_EQ(bar.Min(), 10);
  EXPECT_EQ(bar.Max(), 60);
  EXPECT_EQ(bar.Position(), 50);
  EXPECT_EQ(runs, 1);
}

TEST(TrackBar, AHandlerThatResetsItsOwnBarEndsAtTheReset) {
  // The optimiser's direction factor bar springs back to 0 from inside its handler.
  TrackBar bar(0, 10, 0);
  int runs = 0;
  bar.OnChange([&] {
    ++runs;
    bar.SetPosition(0);
  });
  bar.SetPosition(7);
  EXPECT_EQ(bar.Position(), 0);
  EXPECT_EQ(runs, 2);
  bar.SetPositionQuietly(3);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(bar.Position(), 3);
}

TEST(ScrollBar, StepsBySmallAndLargeChangeWithinTheRange) {
  ScrollBar bar(0, 20, 0);
  bar.LargeChange = 8;
  std::vector<int32_t> seen;
  bar.OnChange([&] { seen.push_back(bar.Position()); });
  bar.StepByOperator(1);
  bar.StepByOperator(2, true);
  bar.StepByOperator(1, true);
  bar.StepByOperator(1);  // at the end already
  bar.StepByOperator(-100);
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 17, 20, 0}));
}

TEST(RangeSlider, ThumbsClampToTheScaleAndNeverCross) {
  RangeSlider slider(0, 100, 25, 75);
  std::vector<std::pair<int32_t, int32_t>> seen;
  slider.OnChange([&] { seen.emplace_back(slider.Left(), slider.Right()); });

  slider.SetLeft(25);  // unchanged
  slider.SetLeft(80);  // pushes the right thumb along
  slider.SetRight(120);
  slider.SetRight(10);  // pushes the left thumb down
  slider.SetLeft(-3);
  EXPECT_EQ(seen,
            (std::vector<std::pair<int32_t, int32_t>>{{80, 80}, {80, 100}, {10, 10}, {0, 10}}));
}

TEST(RangeSlider, ConstructorAndRangeChangesKeepTheOrder) {
  RangeSlider slider(0, 80, 70, 20);
  EXPECT_EQ(slider.Left(), 20);
  EXPECT_EQ(slider.Right(), 20);
  int runs = 0;
  slider.OnChange([&] { ++runs; });
  slider.SetLeftQuietly(5);
  slider.SetRightQuietly(80);
  EXPECT_EQ(runs, 0);
  slider.SetRange(10, 50);
  EXPECT_EQ(slider.Left(), 10);
  EXPECT_EQ(slider.Right(), 50);
  EXPECT_EQ(runs, 1);
  slider.SetEnabled(false);
  slider.MoveLeftByOperator(30);
  slider.MoveRightByOperator(30);
  EXPECT_EQ(slider.Left(), 10);
  EXPECT_EQ(runs, 1);
}

TEST(RangeSlider, SetThumbsSetsThePairThenRunsTheHandlerOnce) {
  RangeSlider slider(0, 100, 25, 75);
  std::vector<std::pair<int32_t, int32_t>> seen;
  slider.OnChange([&] { seen.emplace_back(slider.Left(), slider.Right()); });
  slider.SetThumbs(0, 10);   // one thumb after the other would pass through 10:10
  slider.SetThumbs(0, 10);   // unchanged, and still put through the handler
  slider.SetThumbs(60, 40);  // the left thumb takes the right along
  slider.SetThumbs(-5, 130);
  EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int32_t>>{{0, 10}, {0, 10}, {60, 60}, {0, 100}}));
}

TEST(Control, ViewObserverSeesStateChangesButNotRepeats) {
  TrackBar bar(0, 10, 0);
  int repaints = 0;
  bar.SetViewObserver([&] { ++repaints; });
  bar.SetVisible(true);  // already visible
  bar.SetEnabled(false);
  bar.SetHint("Scannerspeed");
  bar.SetPositionQuietly(4);
  EXPECT_EQ(repaints, 3);
  EXPECT_EQ(bar.Hint(), "Scannerspeed");
}

}  // namespace
}  // namespace lumarex
