#include <gtest/gtest.h>

#include "preview/comparison_picture.h"
#include "preview/output_picture.h"
#include "tests/preview/picture_support.h"

namespace lumarex {
namespace {

using test::Blanked;
using test::Lit;
using test::V;
using test::VerticesOf;

TEST(ComparisonPicture, BothFramesSideBySideMarkersUnderSegments) {
  const std::vector<ShowPoint> before = {Blanked(0, 0), Lit(1000, 0, 255, 0, 0)};
  const std::vector<ShowPoint> after = {Blanked(5, 5), Blanked(0, 0), Lit(1000, 0, 255, 0, 0)};
  DrawList list;
  BuildComparisonPicture(before, after, list);
  ASSERT_TRUE(list.Clears());
  const auto b = list.Batches();
  // Divider, grey markers left then right, lit markers right then left, then the segments.
  ASSERT_EQ(b.size(), 8u);
  EXPECT_EQ(VerticesOf(list, 0),
            (std::vector<Vertex>{V(0, -40000, 128, 128, 128), V(0, 40000, 128, 128, 128)}));
  EXPECT_EQ(VerticesOf(list, 1)[0], V(-33668, -200, 128, 128, 128));
  EXPECT_EQ(VerticesOf(list, 2).size(), 8u);
  EXPECT_EQ(VerticesOf(list, 3)[0], V(1000 + 33467 - 200, -200, 255, 0, 0));
  EXPECT_EQ(VerticesOf(list, 4)[2], V(1000 - 33468 + 200, 200, 255, 0, 0));
  EXPECT_EQ(VerticesOf(list, 5),
            (std::vector<Vertex>{V(-33468, 0, 255, 0, 0), V(1000 - 33468, 0, 255, 0, 0)}));
  EXPECT_EQ(VerticesOf(list, 6),
            (std::vector<Vertex>{V(33472, 5, 128, 128, 128), V(33467, 0, 128, 128, 128)}));
  EXPECT_EQ(b[7].count, 2u);

  BuildComparisonPicture({}, after, list);
  EXPECT_EQ(list.Batches().size(), 1u) << "an empty frame shows only the divider";
}

TEST(OutputPicture, ShowsWindowBlankedMovesLitVectorsAndDwell) {
  const std::vector<DacPoint> points = {
      {32768, 32768, 0, 0, 0, 0, {}},     {40000, 32768, 0, 0, 0, 0, {}},
      {40000, 32768, 0, 0, 0, 0, {}},     {40000, 32768, 200, 10, 0, 70, {}},
      {50000, 42768, 200, 10, 0, 70, {}}, {50000, 42768, 0, 0, 0, 0, {}},
  };
  const OutputWindow window = OutputWindowOf(0.5, 0, 1.0, -100);
  EXPECT_EQ(window.left, 16384);
  EXPECT_EQ(window.right, 49151);
  EXPECT_EQ(window.bottom, -100);
  EXPECT_EQ(window.top, 65435);
  DrawList list;
  const OutputPictureCounts counts = BuildOutputPicture(points, window, list);
  EXPECT_EQ(counts.blankedMoves, 1u);
  EXPECT_EQ(counts.litSegments, 2u);
  EXPECT_EQ(counts.dwellPoints, 2u);
  ASSERT_EQ(list.Batches().size(), 4u);
  EXPECT_EQ(list.Batches()[0].primitive, Primitive::kLineStrip);
  EXPECT_EQ(VerticesOf(list, 0)[0], V(16384 - 32768, -100 - 32768, 72, 72, 72));
  EXPECT_EQ(VerticesOf(list, 1),
            (std::vector<Vertex>{V(0, 0, 96, 96, 96), V(7232, 0, 96, 96, 96)}));
  EXPECT_EQ(VerticesOf(list, 2)[3], V(17232, 10000, 200, 10, 0));
  // A dwell takes the colour of its first lit point.
  EXPECT_EQ(VerticesOf(list, 3)[0], V(7232 - 160, -160, 200, 10, 0, 96));
  EXPECT_EQ(VerticesOf(list, 3)[4], V(17232 - 160, 10000 - 160, 200, 10, 0, 96));
  EXPECT_TRUE(list.Batches()[3].blend);

  // With a projection the window is drawn where the corners put it and the mask, the zone and
  // the safe area are outlined before the beam.
  Projection projection;
  projection.corners = {FieldPoint{1000, 2000}, FieldPoint{64000, 0}, FieldPoint{65535, 65535},
                        FieldPoint{0, 60000}};
  projection.masks.push_back({{{100, 100}, {900, 100}, {500, 900}}, std::nullopt});
  projection.masks.push_back({{{2000, 2000}, {3000, 2000}, {3000, 3000}}, 40.0});
  projection.safeArea = SafeArea{10, 20, 65000, 65100};
  ProjectionStage stage;
  ASSERT_TRUE(stage.Set(projection));
  BuildOutputPicture(points, OutputWindow{}, list, &stage);
  ASSERT_EQ(list.Batches().size(), 7u);
  const std::vector<Vertex> frame = VerticesOf(list, 0);
  ASSERT_EQ(frame.size(), 65u);
  EXPECT_EQ(frame[0], V(1000 - 32768, 2000 - 32768, 72, 72, 72)) << "the field's corner (0, 0)";
  EXPECT_EQ(frame[16], V(0 - 32768, 60000 - 32768, 72, 72, 72)) << "its corner (0, 65535)";
  EXPECT_EQ(frame[32], V(65535 - 32768, 65535 - 32768, 72, 72, 72));
  EXPECT_EQ(VerticesOf(list, 1).front(), V(100 - 32768, 100 - 32768, 200, 40, 40));
  EXPECT_EQ(VerticesOf(list, 1).back(), VerticesOf(list, 1).front()) << "closed";
  EXPECT_EQ(VerticesOf(list, 2)[1], V(3000 - 32768, 2000 - 32768, 200, 150, 0));
  EXPECT_EQ(VerticesOf(list, 3)[2], V(65000 - 32768, 65100 - 32768, 40, 160, 40));
}

}  // namespace
}  // namespace lumarex
