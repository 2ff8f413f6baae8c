// The fast nearest-endpoint search must choose exactly what trying every unplaced path in
// turn chooses, ties included; and whatever the order, the optimised frame must light the
// same segments in the same colours as the original.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "optimiser/greedy_reference.h"
#include "optimiser/optiframe.h"
#include "tests/optimiser/test_support.h"
#include "tests/support/frame_builder.h"

namespace lumarex {
namespace {

using test::Spread;

void ExpectSameOrderAsReference(Optiframe& core, const std::vector<ShowPoint>& frame,
                                bool fromCenter) {
  const uint16_t n = core.ExtractPaths(frame);
  std::vector<PathEntry> paths(core.Paths().begin(), core.Paths().end());
  std::vector<OrderEntry> expected(n + 1u);
  if (fromCenter) {
    core.OrderFromCenter(n);
    ReferenceOrderFromCenter(paths, n, expected);
  } else {
    core.OrderFromFrameStart(n);
    ReferenceOrderFromFrameStart(paths, n, expected);
  }
  const std::span<const OrderEntry> actual = core.Order();
  ASSERT_EQ(actual.size(), expected.size());
  for (uint32_t i = 1; i <= n; ++i) {
    ASSERT_EQ(actual[i], expected[i]) << "position " << i << " of " << n;
  }
  for (uint32_t k = 1; k <= n; ++k) EXPECT_EQ(core.Paths()[k].Used, 1);
}

TEST(OrderingEquivalence, RandomFramesOrderAsThePlainSearch) {
  Optiframe core;
  std::mt19937 rng(20261209);
  // Path counts on both sides of the grid's threshold, up to the table's limit; crowded and
  // lattice frames are full of equal distances.
  const int counts[] = {1, 2, 3, 5, 20, 47, 48, 49, 100, 333, 1000, 4048};
  for (Spread spread : {Spread::kField, Spread::kCrowded, Spread::kLattice}) {
    for (int count : counts) {
      for (int round = 0; round < (count > 1000 ? 1 : 6); ++round) {
        SCOPED_TRACE(testing::Message() << "spread " << static_cast<int>(spread) << ", " << count
                                        << " paths, round " << round);
        const auto frame = test::RandomFrame(rng, count, 4, spread);
        ExpectSameOrderAsReference(core, frame, false);
        ExpectSameOrderAsReference(core, frame, true);
        if (HasFatalFailure()) return;
      }
    }
  }
}

TEST(OrderingEquivalence, PathsOnALineAndInOneCornerOrderAsThePlainSearch) {
  Optiframe core;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> along(-32768, 32767);
  std::uniform_int_distribution<int> corner(30000, 32767);
  std::vector<ShowPoint> line{test::Blanked(0, 0)};
  std::vector<ShowPoint> cornered{test::Blanked(0, 0)};
  for (int i = 0; i < 800; ++i) {
    line.push_back(test::Blanked(static_cast<int16_t>(along(rng)), 100));
    line.push_back(test::Lit(static_cast<int16_t>(along(rng)), 100, 1, 1, 1));
    cornered.push_back(
        test::Blanked(static_cast<int16_t>(corner(rng)), static_cast<int16_t>(corner(rng))));
    cornered.push_back(
        test::Lit(static_cast<int16_t>(corner(rng)), static_cast<int16_t>(-corner(rng)), 1, 1, 1));
  }
  for (const auto& frame : {line, cornered}) {
    ExpectSameOrderAsReference(core, frame, false);
    ExpectSameOrderAsReference(core, frame, true);
  }
}

// Endpoints on all four edges of the field: the search grid must not take the whole field
// at its finest cell size for few cells (65536 x 65536 wraps in 32 bits).
TEST(OrderingEquivalence, PathsReachingEveryEdgeOfTheFieldOrderAsThePlainSearch) {
  Optiframe core;
  std::vector<ShowPoint> frame{test::Blanked(0, 0)};
  for (int i = 0; i < 60; ++i) {
    const auto v = static_cast<int16_t>(-32768 + i * 1000);
    frame.push_back(test::Blanked(-32768, v));
    frame.push_back(test::Lit(32767, static_cast<int16_t>(-v - 1), 1, 1, 1));
  }
  ExpectSameOrderAsReference(core, frame, false);
  ExpectSameOrderAsReference(core, frame, true);
}

TEST(OptimisedFrame, LightsTheSameSegmentsInTheSameColours) {
  Optiframe core;
  std::mt19937 rng(99);
  for (uint8_t mode = 0; mode < 4; ++mode) {
    for (Spread spread : {Spread::kField, Spread::kCrowded, Spread::kLattice}) {
      for (int count : {1, 7, 60, 400}) {
        SCOPED_TRACE(testing::Message() << "mode " << int{mode} << ", " << count << " paths");
        auto frame = test::RandomFrame(rng, count, 6, spread);
        // A frame may also start lit, and points may repeat.
        frame[0].Visible = 1;
        frame.push_back(frame.back());
        OptimiserParameters params;
        params.SearchMode = mode;
        params.CenterStep = mode >= 2 ? params.BlankStep : 0;
        params.SeekStartCount = 3;
        params.SeekEndCount = 2;
        params.BlankStartCount = 1;
        params.BlankEndCount = 4;
        params.MinPoints = 200;
        ASSERT_EQ(core.OptimiseFrame(frame, params), FrameOutcome::kOptimised);
        EXPECT_EQ(test::LitSegments(core.Optimised()), test::LitSegments(frame));
      }
    }
  }
}

}  // namespace
}  // namespace lumarex
