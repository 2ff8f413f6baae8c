#include "preview/frame_picture.h"

#include <gtest/gtest.h>

#include "tests/preview/picture_support.h"

namespace lumarex {
namespace {

using test::Blanked;
using test::Lit;
using test::StoreWith;
using test::V;
using test::VerticesOf;

TEST(FramePicture, EmptyShowDrawsNothingAndEmptyFrameClearsOnly) {
  DrawList list;
  const auto emptyShow = StoreWith({});
  EXPECT_FALSE(BuildPreviewPicture(*emptyShow, 0, 0, list));
  EXPECT_FALSE(list.Clears());
  EXPECT_TRUE(list.Batches().empty());

  const auto emptyFrame = StoreWith({{}, {Blanked(0, 0), Lit(1, 1, 9, 9, 9)}});
  for (uint8_t mode = 0; mode < kPreviewModeCount; ++mode) {
    EXPECT_TRUE(BuildPreviewPicture(*emptyFrame, 0, mode, list));
    EXPECT_TRUE(list.Clears());
    EXPECT_TRUE(list.Batches().empty()) << "mode " << int{mode};
    EXPECT_EQ(PreviewModeLabel(mode).size(), 26u);
  }
  EXPECT_EQ(PreviewModeLabel(2), "Beam Show Real            ");
  EXPECT_TRUE(PreviewModeLabel(5).empty());
}

TEST(FramePicture, GraphicModeDrawsLinesIntoLitPointsAndSquaresAroundThem) {
  const auto store = StoreWith(
      {{Blanked(0, 0), Lit(100, 200, 255, 0, 0), Blanked(300, 300), Lit(-400, 500, 0, 255, 0)},
       {Blanked(0, 0), Blanked(10, 10), Blanked(20, 20)}});
  DrawList list;
  ASSERT_TRUE(BuildPreviewPicture(*store, 0, 0, list));
  ASSERT_EQ(list.Batches().size(), 2u);
  const Batch& lines = list.Batches()[0];
  EXPECT_EQ(lines.primitive, Primitive::kLines);
  EXPECT_EQ(lines.lineWidth, 1.0f);
  EXPECT_FALSE(lines.blend);
  // The line into a lit point starts at the blanked point before it.
  EXPECT_EQ(VerticesOf(list, 0),
            (std::vector<Vertex>{V(0, 0, 255, 0, 0), V(100, 200, 255, 0, 0), V(300, 300, 0, 255, 0),
                                 V(-400, 500, 0, 255, 0)}));
  EXPECT_EQ(list.Batches()[1].primitive, Primitive::kQuads);
  EXPECT_EQ(
      VerticesOf(list, 1),
      (std::vector<Vertex>{V(20, 120, 255, 0, 0), V(20, 280, 255, 0, 0), V(180, 280, 255, 0, 0),
                           V(180, 120, 255, 0, 0), V(-480, 420, 0, 255, 0), V(-480, 580, 0, 255, 0),
                           V(-320, 580, 0, 255, 0), V(-320, 420, 0, 255, 0)}));

  ASSERT_TRUE(BuildPreviewPicture(*store, 1, 0, list));
  EXPECT_TRUE(list.Batches().empty()) << "a frame of blanked points draws nothing";
}

TEST(FramePicture, DissectionModeShowsTheBlankedPathInGreyUnderTheLitOne) {
  const auto store = StoreWith({{Blanked(0, 0), Blanked(1000, 0), Blanked(1000, 1000)},
                                {Blanked(0, 0), Lit(500, 0, 0, 0, 255), Blanked(600, 600)}});
  DrawList list;
  ASSERT_TRUE(BuildPreviewPicture(*store, 0, 3, list));
  // Three grey squares of their own, then one line list joining them in grey.
  ASSERT_EQ(list.Batches().size(), 4u);
  for (size_t b = 0; b < 3; ++b) {
    EXPECT_EQ(list.Batches()[b].primitive, Primitive::kQuads);
    EXPECT_EQ(VerticesOf(list, b).front(),
              V(b == 0 ? -120 : 880, b == 2 ? 880 : -120, 128, 128, 128));
  }
  EXPECT_EQ(VerticesOf(list, 3),
            (std::vector<Vertex>{V(0, 0, 128, 128, 128), V(1000, 0, 128, 128, 128),
                                 V(1000, 0, 128, 128, 128), V(1000, 1000, 128, 128, 128)}));

  ASSERT_TRUE(BuildPreviewPicture(*store, 1, 3, list));
  ASSERT_EQ(list.Batches().size(), 4u);
  // Blanked squares first, the lit one over them, and the lit line after the grey one.
  EXPECT_EQ(VerticesOf(list, 0)[0], V(-120, -120, 128, 128, 128));
  EXPECT_EQ(VerticesOf(list, 1)[0], V(480, 480, 128, 128, 128));
  EXPECT_EQ(VerticesOf(list, 2)[0], V(380, -120, 0, 0, 255));
  EXPECT_EQ(VerticesOf(list, 3),
            (std::vector<Vertex>{V(500, 0, 128, 128, 128), V(600, 600, 128, 128, 128),
                                 V(0, 0, 0, 0, 255), V(500, 0, 0, 0, 255)}));
}

TEST(FramePicture, BeamModesDrawBeamsWhereTheBeamDwellsAndSheetsAlongLitVectors) {
  const ShowPoint lone = Lit(1000, 2000, 255, 100, 128);
  const auto store = StoreWith({
      // 0: a lone lit point between blanked ones
      {Blanked(0, 0), lone, Blanked(0, 0), Blanked(0, 0), Blanked(0, 0)},
      // 1: two coincident lit points, then blanked: one beam at the second, and one sheet
      {Blanked(0, 0), Lit(-500, 0, 0, 255, 0), Lit(-500, 0, 0, 255, 0), Blanked(0, 0),
       Blanked(0, 0), Blanked(0, 0)},
      // 2: last index below 4: no beam whatever the points
      {Blanked(0, 0), lone, Blanked(0, 0), Blanked(0, 0)},
      // 3: a run of distinct lit points: no beam, a sheet for each lit pair
      {Blanked(0, 0), Lit(0, 0, 200, 0, 0), Lit(100, 0, 200, 0, 0), Lit(200, 0, 100, 0, 0),
       Blanked(0, 0), Blanked(0, 0)},
  });
  DrawList list;

  // Mode 1: dim at the source (colour / 128), bright at the end.
  ASSERT_TRUE(BuildPreviewPicture(*store, 0, 1, list));
  ASSERT_EQ(list.Batches().size(), 1u);
  const Batch& strip = list.Batches()[0];
  EXPECT_EQ(strip.primitive, Primitive::kLineStrip);
  EXPECT_TRUE(strip.blend);
  EXPECT_TRUE(strip.smooth);
  EXPECT_EQ(VerticesOf(list, 0),
            (std::vector<Vertex>{V(0, 10000, 1, 0, 1, 64), V(2000, -6000, 255, 100, 128, 64),
                                 V(0, 10000, 1, 0, 1, 64)}));
  // Modes 2 and 4: bright at the source, dim at the end.
  for (const uint8_t mode : {2, 4}) {
    ASSERT_TRUE(BuildPreviewPicture(*store, 0, mode, list));
    EXPECT_EQ(VerticesOf(list, 0)[1], V(2000, -6000, 1, 0, 1, 64));
  }

  ASSERT_TRUE(BuildPreviewPicture(*store, 1, 2, list));
  ASSERT_EQ(list.Batches().size(), 2u);
  EXPECT_EQ(VerticesOf(list, 0)[1], V(-1000, -10000, 0, 1, 0, 64));
  EXPECT_EQ(list.Batches()[1].primitive, Primitive::kTriangles);
  EXPECT_EQ(VerticesOf(list, 1),
            (std::vector<Vertex>{V(0, 10000, 0, 255, 0, 128), V(-1000, -10000, 0, 1, 0, 128),
                                 V(-1000, -10000, 0, 1, 0, 128)}));
  ASSERT_TRUE(BuildPreviewPicture(*store, 1, 4, list));
  EXPECT_EQ(list.Batches().size(), 1u) << "mode 4 has no light sheets";

  for (uint8_t mode : {1, 2, 4}) {
    ASSERT_TRUE(BuildPreviewPicture(*store, 2, mode, list));
    EXPECT_TRUE(list.Batches().empty()) << "mode " << int{mode};
  }

  // Mode 1 with every channel below 128: the source ends are black.
  ASSERT_TRUE(BuildPreviewPicture(*store, 3, 1, list));
  ASSERT_EQ(list.Batches().size(), 1u);
  EXPECT_EQ(list.Batches()[0].primitive, Primitive::kTriangles);
  EXPECT_EQ(VerticesOf(list, 0),
            (std::vector<Vertex>{V(0, 10000, 1, 0, 0, 128), V(0, -10000, 200, 0, 0, 128),
                                 V(200, -10000, 200, 0, 0, 128), V(0, 10000, 1, 0, 0, 128),
                                 V(200, -10000, 200, 0, 0, 128), V(400, -10000, 100, 0, 0, 128)}));
  const auto dark = StoreWith({{Blanked(0, 0), Lit(0, 0, 127, 50, 0), Lit(9, 9, 127, 50, 0),
                                Blanked(0, 0), Blanked(0, 0), Blanked(0, 0)}});
  ASSERT_TRUE(BuildPreviewPicture(*dark, 0, 1, list));
  for (const Vertex& v : list.Vertices()) {
    if (v.y == 10000) {
      EXPECT_EQ(v.r + v.g + v.b, 0);
    }
  }
}

}  // namespace
}  // namespace lumarex
