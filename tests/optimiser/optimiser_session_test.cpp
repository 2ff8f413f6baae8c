#include "optimiser/optimiser_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "tests/optimiser/test_support.h"
#include "tests/support/frame_builder.h"

namespace lumarex {
namespace {

using test::FramePoints;

// Ten frames of a few paths each, frame 3 without lit points.
class OptimiserSessionTest : public testing::Test {
 protected:
  OptimiserSessionTest() {
    store.FrameCount = 0;
    std::mt19937 rng(10);
    for (int f = 0; f < 10; ++f) {
      if (f == 3) {
        test::AppendFrame(store, {test::Blanked(5, 5), test::Blanked(9, 9)});
      } else {
        test::AppendFrame(store, test::RandomFrame(rng, 5 + f, 4, test::Spread::kField));
      }
      original.push_back(FramePoints(store, static_cast<uint32_t>(f)));
    }
    session.OnDrawComparison([this](uint32_t, uint16_t) { ++drawn; });
    session.Open();
    drawn = 0;
  }

  // What the optimiser makes of a frame as it stood before the test, under the current
  // parameters.
  std::vector<ShowPoint> OptimisedOriginal(size_t f) {
    Optiframe core;
    core.OptimiseFrame(original[f], session.Controls.Parameters());
    const auto points = core.Optimised();
    return {points.begin(), points.end()};
  }

  ShowStore store;
  std::vector<std::vector<ShowPoint>> original;
  test::RecordingDesktop desktop;
  uint16_t currentFrame = 99;
  OptimiserSession session{store, desktop, currentFrame};
  int drawn = 0;
};

TEST_F(OptimiserSessionTest, OpeningShowsFrameZero) {
  EXPECT_EQ(currentFrame, 0);
  EXPECT_EQ(session.Bildposition.Max(), 9);
  EXPECT_EQ(session.Statusfenster.TextAt(5, 1), "Ges. Frames :9");
  EXPECT_EQ(session.Statusfenster.TextAt(220, 12), "> Optimiertes Frame <");
  EXPECT_EQ(session.Statusfenster.TextAt(170, 1), "0      ");
  EXPECT_EQ(session.Statusfenster.TextAt(10, 66), "25K Time je Frame");
}

TEST_F(OptimiserSessionTest, RunFromFrameFiveStoresTheRestAndShowsFrameZero) {
  session.Bildposition.SetPosition(5);
  drawn = 0;
  const WholeFileRun run = session.RunWholeFile(false);
  EXPECT_EQ(run.framesStored, 5u);
  EXPECT_FALSE(run.stopped);
  for (size_t f = 0; f < 10; ++f) {
    SCOPED_TRACE(f);
    EXPECT_EQ(FramePoints(store, static_cast<uint32_t>(f)),
              f < 5 ? original[f] : OptimisedOriginal(f));
  }
  EXPECT_EQ(currentFrame, 0);
  EXPECT_EQ(session.Bildposition.Position(), 0);
  EXPECT_EQ(drawn, 5);  // frames 6..9, then frame 0
}

TEST_F(OptimiserSessionTest, StoppingOnFrameSevenLeavesItAndTheRest) {
  session.Bildposition.SetPosition(5);
  drawn = 0;
  desktop.onMessages = [this] {
    if (currentFrame == 7) session.Optimieren_StopClick();
  };
  const WholeFileRun run = session.RunWholeFile(true);
  EXPECT_TRUE(run.stopped);
  EXPECT_EQ(run.framesStored, 2u);
  EXPECT_EQ(session.Bildposition.Position(), 7);
  for (size_t f = 5; f < 10; ++f) {
    EXPECT_EQ(FramePoints(store, static_cast<uint32_t>(f)),
              f < 7 ? OptimisedOriginal(f) : original[f]);
  }
  EXPECT_EQ(drawn, 0);
  EXPECT_EQ(session.OptiNoDraw, 0);
}

TEST_F(OptimiserSessionTest, EveryFrameIsStoredFromItsOwnOptimisation) {
  // Between frames the operator scrolls back to frame 1 and changes a parameter.
  desktop.onMessages = [this] {
    if (currentFrame == 4) {
      session.Bildposition.SetPosition(1);
      session.Controls.Seek_End.SetPosition(3);
    }
  };
  session.RunWholeFile(true);
  desktop.onMessages = nullptr;
  session.Controls.Seek_End.SetPosition(0);
  EXPECT_EQ(FramePoints(store, 1), OptimisedOriginal(1));
  EXPECT_EQ(FramePoints(store, 2), OptimisedOriginal(2));
  session.Controls.Seek_End.SetPosition(3);
  // Frame 4 was stored after the change, from its own points under the new parameters, not
  // from frame 1's optimisation that the buffer held then.
  EXPECT_EQ(FramePoints(store, 4), OptimisedOriginal(4));
  EXPECT_EQ(FramePoints(store, 9), OptimisedOriginal(9));
}

TEST_F(OptimiserSessionTest, AFrameWithoutLitPointsIsStoredInTheEmptyForm) {
  session.Bildposition.SetPosition(3);
  session.Opti_Frameclick();
  EXPECT_EQ(store.LastPointIndex[3], 1);
  EXPECT_EQ(FramePoints(store, 3), (std::vector<ShowPoint>(2)));
  EXPECT_EQ(session.Statusfenster.TextAt(250, 53), "0,0  ");
  EXPECT_EQ(store.FrameCount, 10);
}

TEST_F(OptimiserSessionTest, AcceptingTwiceStoresTheOptimisationOfTheOptimisedFrame) {
  session.Bildposition.SetPosition(2);
  session.Controls.Seek_Start.SetPosition(8);  // two lit start dwell points a path
  session.Opti_Frameclick();
  const std::vector<ShowPoint> once = FramePoints(store, 2);
  EXPECT_EQ(once, OptimisedOriginal(2));
  session.Opti_Frameclick();
  Optiframe core;
  core.OptimiseFrame(once, session.Controls.Parameters());
  EXPECT_EQ(FramePoints(store, 2),
            std::vector<ShowPoint>(core.Optimised().begin(), core.Optimised().end()));
  EXPECT_NE(FramePoints(store, 2), once);  // the dwell points were added again
}

TEST_F(OptimiserSessionTest, FramesTheOptimiserCannotTakeAreLeftAndListed) {
  std::vector<ShowPoint> crowded{test::Blanked(0, 0)};
  for (int i = 0; i < 4100; ++i) {
    crowded.push_back(test::Blanked(static_cast<int16_t>(i), 0));
    crowded.push_back(test::Lit(static_cast<int16_t>(i), 9, 1, 1, 1));
  }
  store.ReplaceFrame(6, crowded);
  const std::vector<ShowPoint> stored6 = FramePoints(store, 6);
  const WholeFileRun run = session.RunWholeFile(true);
  EXPECT_EQ(run.framesStored, 9u);
  EXPECT_THAT(run.leftUnchanged, testing::ElementsAre(6u));
  EXPECT_EQ(FramePoints(store, 6), stored6);
}

TEST_F(OptimiserSessionTest, EachFrameOfTheComparisonShowsItsScannerLoad) {
  // A slow circle the scanners follow easily; then jumps across the whole field, lit.
  std::vector<ShowPoint> circle{test::Blanked(20000, 0)};
  for (int k = 0; k <= 400; ++k) {
    const double a = k * 2 * 3.14159265358979 / 400;
    circle.push_back(test::Lit(static_cast<int16_t>(20000 * std::cos(a)),
                               static_cast<int16_t>(20000 * std::sin(a)), 0, 255, 0));
  }
  store.ReplaceFrame(4, circle);
  std::vector<ShowPoint> jumps{test::Blanked(-30000, -30000)};
  for (int k = 0; k < 40; ++k) {
    const auto x = static_cast<int16_t>(k % 2 == 0 ? 30000 : -30000);
    jumps.push_back(test::Lit(x, static_cast<int16_t>(-30000 + 1500 * k), 255, 0, 0));
  }
  store.ReplaceFrame(5, jumps);
  const auto load = [](const Label& label) {
    EXPECT_EQ(label.Caption().rfind("Scannerlast ", 0), 0u) << label.Caption();
    EXPECT_EQ(label.Caption().substr(label.Caption().size() - 2), " %");
    return std::stoi(label.Caption().substr(12));
  };

  session.Bildposition.SetPosition(4);
  EXPECT_LT(load(session.Scannerlast_Original), 100);
  EXPECT_GT(load(session.Scannerlast_Original), 0);
  EXPECT_EQ(session.Scannerlast_Original.Colour(), OptimiserSession::kLoadColour);
  EXPECT_LT(load(session.Scannerlast_Optimiert), 100);

  session.Bildposition.SetPosition(5);
  EXPECT_GT(load(session.Scannerlast_Original), 100);
  EXPECT_EQ(session.Scannerlast_Original.Colour(), OptimiserSession::kOverRatedColour);
  EXPECT_GT(load(session.Scannerlast_Optimiert), 0);
}

}  // namespace
}  // namespace lumarex
