#include "preview/start_animation.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/preview/picture_support.h"

namespace lumarex {
namespace {

TEST(StartAnimation, SphereTableAndColourChain) {
  const SphereTable table = BuildSphereTable();
  EXPECT_EQ(table[720], (SpherePoint{0, 0, 30000})) << "the equator faces the viewer";
  EXPECT_EQ(table[15], (SpherePoint{-29983, 981, 0}));
  for (uint32_t i = 1; i <= kSpherePoints; ++i) {
    const int64_t x = table[i].X, y = table[i].Y, z = table[i].Z;
    const int64_t r2 = x * x + y * y + z * z;
    ASSERT_LE(r2, 30000LL * 30000) << i;
    ASSERT_GE(r2, 29997LL * 29997) << i;
  }

  const auto colour = [](uint32_t i) { return SphereColours[i]; };
  EXPECT_EQ(colour(0), (RgbColour{255, 255, 255}));
  EXPECT_EQ(colour(1), (RgbColour{255, 243, 255}));
  EXPECT_EQ(colour(12), (RgbColour{255, 0, 255}));
  EXPECT_EQ(colour(33), (RgbColour{0, 191, 255}));
  EXPECT_EQ(colour(34), (RgbColour{0, 210, 255}));
  EXPECT_EQ(colour(37), (RgbColour{21, 255, 244}));
  EXPECT_EQ(colour(47), (RgbColour{243, 255, 139}));
  EXPECT_EQ(colour(48), (RgbColour{255, 255, 128}));
  EXPECT_EQ(colour(73), (RgbColour{0, 21, 118}));
  EXPECT_EQ(colour(83), (RgbColour{0, 243, 11}));
  EXPECT_EQ(colour(106), (RgbColour{255, 48, 0}));
  EXPECT_EQ(colour(109), (RgbColour{243, 0, 0}));
  EXPECT_EQ(colour(116), (RgbColour{84, 0, 0}));
  EXPECT_EQ(colour(117), (RgbColour{63, 21, 21}));
  EXPECT_EQ(colour(118), (RgbColour{42, 42, 42}));
  EXPECT_EQ(colour(127), (RgbColour{243, 243, 243}));
  EXPECT_EQ(SphereColourIndex(5), 0u);
  EXPECT_EQ(SphereColourIndex(6), 1u);
  EXPECT_EQ(SphereColourIndex(1440), 127u);
}

TEST(StartAnimation, TiltFollowsThePointerHeight) {
  EXPECT_EQ(TiltFromPointer(-1), 90);
  EXPECT_EQ(TiltFromPointer(0), 85);
  EXPECT_EQ(TiltFromPointer(338), 0);
  EXPECT_EQ(TiltFromPointer(340), 0);
  EXPECT_EQ(TiltFromPointer(342), 0) << "halves round to even";
  EXPECT_EQ(TiltFromPointer(346), -2);
  EXPECT_EQ(TiltFromPointer(679), -85);
  EXPECT_EQ(TiltFromPointer(680), -90);
}

TEST(StartAnimation, FrontHalfIsDrawnAndTheLaserGetsTheBallWithDarkEnds) {
  StartAnimation animation;
  DrawList list;
  // Unturned and untilted, the rotation only mirrors X.
  animation.AnimationStep(0, 0, list);
  const SphereTable& table = animation.Table();
  const SphereTable& rotated = animation.Rotated();
  for (uint32_t i = 1; i <= kSpherePoints; ++i) {
    ASSERT_EQ(rotated[i], (SpherePoint{static_cast<int16_t>(-table[i].X), table[i].Y, table[i].Z}));
  }
  ASSERT_TRUE(list.Clears());
  ASSERT_EQ(list.Batches().size(), 1u);
  const Batch& lines = list.Batches()[0];
  EXPECT_EQ(lines.primitive, Primitive::kLines);
  EXPECT_EQ(lines.lineWidth, 2.0f);
  std::vector<Vertex> expected;
  for (uint32_t i = 2; i <= kSpherePoints; ++i) {
    if (rotated[i].Z <= 0) continue;
    const RgbColour c = SphereColours[SphereColourIndex(i)];
    expected.push_back(test::V(rotated[i - 1].X, rotated[i - 1].Y, c.R, c.G, c.B));
    expected.push_back(test::V(rotated[i].X, rotated[i].Y, c.R, c.G, c.B));
  }
  EXPECT_EQ(test::VerticesOf(list, 0), expected);

  std::vector<SequencePoint> staged(kSpherePoints);
  ASSERT_EQ(animation.StagePoints(staged), kSpherePoints);
  for (const uint32_t i : {1u, 2u, 1438u, 1439u, 1440u}) {
    EXPECT_EQ(staged[i - 1].i, 0) << "point " << i << " is always dark";
  }
  // Point 15 lies exactly on the dividing plane: not drawn, yet lit on the laser.
  ASSERT_EQ(rotated[15].Z, 0);
  EXPECT_EQ(staged[14], (SequencePoint{29983, 981, 255, 243, 255, 255}));
  for (const Vertex& v : test::VerticesOf(list, 0)) {
    EXPECT_FALSE(v.x == 29983 && v.y == 981);
  }
  uint32_t dark = 0;
  for (uint32_t i = 3; i <= 1437; ++i) {
    const bool back = rotated[i].Z < 0;
    dark += back ? 1 : 0;
    ASSERT_EQ(staged[i - 1].i == 0, back) << i;
  }
  EXPECT_GT(dark, 600u);

  // Leaning with the pointer above or below the strip turns the ball a quarter each way.
  animation.AnimationStep(0, TiltFromPointer(-50), list);
  const SpherePoint up = animation.Rotated()[720];
  animation.AnimationStep(0, TiltFromPointer(900), list);
  const SpherePoint down = animation.Rotated()[720];
  EXPECT_EQ(up.Y, 30000);
  EXPECT_EQ(down.Y, -30000);
}

}  // namespace
}  // namespace lumarex
