#include <gtest/gtest.h>

#include <random>

#include "show/show_store.h"

namespace lumarex {
namespace {

ShowPoint Lit(int16_t x, int16_t y, int16_t z = 0) {
  ShowPoint p;
  p.X = x;
  p.Y = y;
  p.Z = z;
  p.R = 255;
  p.Visible = 1;
  return p;
}

ShowPoint Dark(int16_t x, int16_t y) {
  ShowPoint p;
  p.X = x;
  p.Y = y;
  return p;
}

void Append(ShowStore& store, const std::vector<ShowPoint>& points, FrameTail tail) {
  const auto span = store.NewFrame(static_cast<uint32_t>(points.size()) + 1);
  std::copy(points.begin(), points.end(), span.begin());
  store.CommitFrame(static_cast<uint16_t>(points.size() - 1), tail);
}

TEST(DefaultPalette, FollowsTheIldaStandardRamp) {
  ShowStore store;
  store.LoadDefaultPalette();
  const PaletteTable& p = store.Palette;
  EXPECT_EQ(p[0], (RgbColour{255, 0, 0}));
  EXPECT_EQ(p[8], (RgbColour{255, 128, 0}));
  EXPECT_EQ(p[16], (RgbColour{255, 255, 0}));
  EXPECT_EQ(p[17], (RgbColour{224, 255, 0}));
  EXPECT_EQ(p[24], (RgbColour{0, 255, 0}));
  EXPECT_EQ(p[25], (RgbColour{0, 255, 36}));
  EXPECT_EQ(p[31], (RgbColour{0, 255, 255}));
  EXPECT_EQ(p[32], (RgbColour{0, 227, 255}));
  EXPECT_EQ(p[40], (RgbColour{0, 0, 255}));
  EXPECT_EQ(p[41], (RgbColour{32, 0, 255}));
  EXPECT_EQ(p[48], (RgbColour{255, 0, 255}));
  EXPECT_EQ(p[49], (RgbColour{255, 32, 255}));
  EXPECT_EQ(p[56], (RgbColour{255, 255, 255}));
  EXPECT_EQ(p[57], (RgbColour{255, 224, 224}));
  EXPECT_EQ(p[63], (RgbColour{255, 32, 32}));
  for (size_t i = 64; i < 256; ++i) EXPECT_EQ(p[i], RgbColour{}) << i;
}

TEST(ShowStore, ClearReleasesEverySlotAndLeavesOneFrameCounted) {
  ShowStore store;
  Append(store, {Lit(1, 1), Lit(2, 2)}, FrameTail::kAllReal);
  store.FrameCount = 5;  // as after a merge that left a gap
  Append(store, {Lit(3, 3), Lit(4, 4)}, FrameTail::kAllReal);
  store.ClearShow();
  EXPECT_EQ(store.FrameCount, 1);
  for (uint32_t n = 0; n < 8; ++n) {
    EXPECT_EQ(store.LastPointIndex[n], 0);
    EXPECT_TRUE(store.FramePoints[n].empty());
    EXPECT_TRUE(store.Frame(n).empty());
  }
}

TEST(ShowStore, StatisticsCountPathsFromAVisibleFirstPoint) {
  ShowStore store;
  // lit, lit, dark, lit, dark: two paths, the first starting at point 0.
  Append(store, {Lit(0, 0), Lit(1, 0), Dark(2, 0), Lit(3, 0), Dark(4, 0)}, FrameTail::kAllReal);
  const FrameStats s = store.FrameStatistics(0);
  EXPECT_EQ(s.paths, 2u);
  EXPECT_EQ(s.vectors, 5u);
  EXPECT_EQ(s.visible, 3u);
  EXPECT_EQ(s.blanked, 2u);
  EXPECT_STREQ(s.Dimension(), "2D");

  Append(store, {Dark(0, 0), Lit(1, 1, 0), Lit(1, 1, -5)}, FrameTail::kAllReal);
  EXPECT_STREQ(store.FrameStatistics(1).Dimension(), "3D");
  EXPECT_EQ(store.FrameStatistics(1).paths, 1u);
}

TEST(ShowStore, StatisticsOfLongFramesCountAsPointByPoint) {
  // Long frames are counted sixteen points at a time; any non-zero Visible byte is lit, and
  // a single non-zero Z anywhere makes the frame 3D.
  std::mt19937 rng(5);
  ShowStore store;
  for (uint32_t size : {15u, 16u, 17u, 33u, 3001u}) {
    for (int zAt : {-1, 0, static_cast<int>(size) - 1}) {
      std::vector<ShowPoint> points(size);
      for (ShowPoint& p : points) p.Visible = rng() % 2 == 0 ? 0 : static_cast<uint8_t>(rng());
      if (zAt >= 0) points[static_cast<size_t>(zAt)].Z = 256;
      Append(store, points, FrameTail::kAllReal);
      uint32_t visible = 0, paths = 0;
      for (size_t i = 0; i < size; ++i) {
        visible += points[i].Visible != 0 ? 1 : 0;
        paths += points[i].Visible != 0 && (i == 0 || points[i - 1].Visible == 0) ? 1 : 0;
      }
      const FrameStats s = store.FrameStatistics(store.FrameCount - 1u);
      EXPECT_EQ(s.visible, visible) << size;
      EXPECT_EQ(s.paths, paths) << size;
      EXPECT_EQ(s.is3D, zAt >= 0) << size;
    }
  }
}

TEST(ShowStore, FrameWithLastIndexZeroCountsAsEmpty) {
  ShowStore store;
  Append(store, {Lit(5, 5, 7)}, FrameTail::kAllReal);
  const FrameStats s = store.FrameStatistics(0);
  EXPECT_EQ(s.vectors, 0u);
  EXPECT_EQ(s.paths, 0u);
  EXPECT_STREQ(s.Dimension(), "2D");
  // The point is still there for the writers.
  EXPECT_EQ(store.RealPointCount(0), 1u);
  EXPECT_EQ(store.FrameStatistics(99).vectors, 0u);
}

TEST(ShowStore, RealPointCountFollowsTheFrameTail) {
  ShowStore store;
  Append(store, {Lit(1, 1), Lit(2, 2), Dark(0, 0)}, FrameTail::kAppendedZeroPoint);
  Append(store, {Lit(1, 1), Lit(2, 2), Lit(3, 3)}, FrameTail::kAllReal);
  store.AppendTwoPointEmptyFrame();
  store.AppendEmptyFrame();
  Append(store, {Dark(0, 0)}, FrameTail::kAppendedZeroPoint);
  EXPECT_EQ(store.RealPointCount(0), 2u);
  EXPECT_EQ(store.RealPointCount(1), 3u);
  EXPECT_EQ(store.RealPointCount(2), 0u);
  EXPECT_EQ(store.LastPointIndex[2], 1);
  EXPECT_EQ(store.RealPointCount(3), 0u);
  EXPECT_EQ(store.RealPointCount(4), 0u);
  EXPECT_EQ(store.FrameCount, 5);
}

TEST(ShowStore, ReplaceFrameClearsColourIndexAndStoresTheEmptyForm) {
  ShowStore store;
  Append(store, {Lit(1, 1), Lit(2, 2)}, FrameTail::kAppendedZeroPoint);
  ShowPoint indexed = Lit(9, 9);
  indexed.ColourIndex = 17;
  const std::vector<ShowPoint> replacement = {indexed, Lit(8, 8), Dark(7, 7)};
  store.ReplaceFrame(0, replacement);
  ASSERT_EQ(store.LastPointIndex[0], 2);
  EXPECT_EQ(store.FramePoints[0][0].ColourIndex, 0);
  EXPECT_EQ(store.FramePoints[0][0].X, 9);
  EXPECT_EQ(store.RealPointCount(0), 3u);

  store.ReplaceFrame(0, {});
  EXPECT_EQ(store.LastPointIndex[0], 1);
  EXPECT_EQ(store.FramePoints[0][0], ShowPoint{});
  EXPECT_EQ(store.FramePoints[0][1], ShowPoint{});
  EXPECT_EQ(store.RealPointCount(0), 0u);
}

TEST(ShowStore, RemoveFramesCompactsAndReleasesTheTop) {
  ShowStore store;
  for (int16_t i = 0; i < 5; ++i) Append(store, {Lit(i, 0), Lit(i, 1)}, FrameTail::kAllReal);
  store.RemoveFrames(1, 2);
  ASSERT_EQ(store.FrameCount, 3);
  EXPECT_EQ(store.FramePoints[0][0].X, 0);
  EXPECT_EQ(store.FramePoints[1][0].X, 3);
  EXPECT_EQ(store.FramePoints[2][0].X, 4);
  for (uint32_t n = 3; n < 5; ++n) {
    EXPECT_EQ(store.LastPointIndex[n], 0);
    EXPECT_TRUE(store.FramePoints[n].empty());
  }
  store.RemoveFrames(2, 1000);  // a range past the end is cut to the show
  EXPECT_EQ(store.FrameCount, 2);
  store.RemoveFrames(7, 9);  // beyond the show: nothing happens
  EXPECT_EQ(store.FrameCount, 2);
}

TEST(NegateY, MapsTheBottomEdgeToTheTopEdgeWithoutWrapping) {
  EXPECT_EQ(NegateY(-32768), 32767);
  EXPECT_EQ(NegateY(32767), -32767);
  EXPECT_EQ(NegateY(0), 0);
  EXPECT_EQ(NegateY(-5), 5);
}

}  // namespace
}  // namespace lumarex
