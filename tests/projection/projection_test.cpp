#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "projection/projection_file.h"
#include "projection/projection_stage.h"
#include "tests/projection/projection_checks.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

using test::At;
using test::Lit;

DacPoint Point(uint16_t x, uint16_t y, uint8_t level = 0) {
  return DacPoint{x, y, level, level, level, level, {}};
}

const std::array<FieldPoint, 4> kKeystone = {FieldPoint{4000, 2000}, FieldPoint{60000, 6000},
                                             FieldPoint{56000, 62000}, FieldPoint{9000, 65000}};

// Corner pinning: the field's corners land exactly on the given points, straight lines stay
// straight, and the identity corners change no byte.
TEST(ProjectionStage, CornersLandExactlyAndLinesStayStraight) {
  ProjectionStage stage;
  Projection keystone;
  keystone.corners = kKeystone;
  ASSERT_TRUE(stage.Set(keystone));
  const std::vector<DacPoint> corners = {Point(0, 0), Point(65535, 0), Point(65535, 65535),
                                         Point(0, 65535)};
  const auto mapped = stage.Apply(corners);
  ASSERT_EQ(mapped.size(), 4u);
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(At(mapped[k]), kKeystone[k]) << k;
  }

  // Points of a segment land on the mapped segment (within the rounding).
  const std::vector<DacPoint> ends = {Point(1000, 50000), Point(64000, 3000)};
  const auto mappedEnds = stage.Apply(ends);
  const FieldPoint a = At(mappedEnds[0]);
  const FieldPoint b = At(mappedEnds[1]);
  std::vector<DacPoint> along;
  for (int k = 0; k <= 100; ++k) {
    along.push_back(
        Point(static_cast<uint16_t>(1000 + 630 * k), static_cast<uint16_t>(50000 - 470 * k)));
  }
  double worst = 0;
  for (const DacPoint& p : stage.Apply(along)) {
    const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
    worst = std::max(worst, std::abs(cross) / std::hypot(b.x - a.x, b.y - a.y));
  }
  EXPECT_LE(worst, 1.5) << "units off the mapped line";

  // The identity: every byte as it came, over every position class.
  ASSERT_TRUE(stage.Set(Projection{}));
  std::vector<DacPoint> frame;
  std::mt19937 random(7);
  for (int k = 0; k < 5000; ++k) {
    frame.push_back(DacPoint{static_cast<uint16_t>(random()),
                             static_cast<uint16_t>(random()),
                             static_cast<uint8_t>(random()),
                             static_cast<uint8_t>(random()),
                             static_cast<uint8_t>(random()),
                             static_cast<uint8_t>(random()),
                             {}});
  }
  const auto same = stage.Apply(frame);
  ASSERT_EQ(same.size(), frame.size());
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), same.begin()));
  EXPECT_TRUE(stage.Set(std::nullopt));
  EXPECT_EQ(stage.Apply(frame).data(), frame.data()) << "no projection: the list itself";

  // A folded quadrilateral is refused and the stage stays as it was.
  Projection folded;
  folded.corners = {FieldPoint{0, 0}, FieldPoint{65535, 65535}, FieldPoint{65535, 0},
                    FieldPoint{0, 65535}};
  EXPECT_FALSE(stage.Set(folded));
  EXPECT_FALSE(stage.Get().has_value());
}

// Masks, a limit zone and the safe area over random frames of long lit strokes: the cuts land
// on the edges, no light falls in a blank mask, the zone never passes its limit, the beam
// never leaves the safe area, and points outside everything keep their colour.
TEST(ProjectionStage, MasksZonesAndTheSafeAreaCutTheLightAtTheirEdges) {
  Projection p;
  p.corners = kKeystone;
  p.masks.push_back({{{20000, 20000},
                      {40000, 18000},
                      {45000, 30000},
                      {38000, 42000},
                      {30000, 36000},
                      {22000, 44000},
                      {16000, 34000},
                      {18000, 26000}},
                     std::nullopt});
  p.masks.push_back({{{5000, 50000}, {30000, 48000}, {33000, 60000}, {6000, 62000}}, 30.0});
  p.safeArea = SafeArea{3000, 3000, 62000, 63000};
  ProjectionStage stage;
  ASSERT_TRUE(stage.Set(p));

  std::mt19937 random(11);
  size_t inserted = 0;
  for (int frame = 0; frame < 200; ++frame) {
    std::vector<DacPoint> in;
    for (int k = 0; k < 60; ++k) {
      in.push_back(Point(static_cast<uint16_t>(random()), static_cast<uint16_t>(random()),
                         k % 7 == 0 ? 0 : 200));
    }
    const std::vector<DacPoint> out(stage.Apply(in).begin(), stage.Apply(in).end());
    ASSERT_EQ(test::ProjectionFault(p, in, out), "") << "frame " << frame;
    ASSERT_GE(out.size(), in.size());
    inserted += out.size() - in.size();
  }
  EXPECT_GT(inserted, 1000u) << "the strokes were cut";

  // One stroke through the blank mask: lit to its edge, dark across, lit again after it.
  const std::vector<DacPoint> stroke = {Point(0, 32000), Point(65535, 32000, 255)};
  ProjectionStage plain;
  Projection onlyMask;
  onlyMask.masks = {p.masks[0]};
  ASSERT_TRUE(plain.Set(onlyMask));
  const auto cut = plain.Apply(stroke);
  ASSERT_EQ(cut.size(), 4u);
  EXPECT_FALSE(Lit(cut[0]));
  EXPECT_TRUE(Lit(cut[1]));
  EXPECT_LE(test::DistanceToEdge(p.masks[0].polygon, At(cut[1])), 1.0) << "on the edge";
  EXPECT_FALSE(Lit(cut[2])) << "dark inside";
  EXPECT_LE(test::DistanceToEdge(p.masks[0].polygon, At(cut[2])), 1.0);
  EXPECT_TRUE(Lit(cut[3]));
  EXPECT_EQ(cut[3].x, 65535) << "the end stays where it was";

  // A mask a few hundred units across still cuts what crosses it.
  Projection tiny;
  tiny.masks.push_back({{{30300, 30300}, {30500, 30300}, {30400, 30500}}, std::nullopt});
  ASSERT_TRUE(plain.Set(tiny));
  const std::vector<DacPoint> across = {Point(30250, 30400), Point(30650, 30400, 255)};
  const std::vector<DacPoint> crossed(plain.Apply(across).begin(), plain.Apply(across).end());
  EXPECT_EQ(crossed.size(), 4u);
  EXPECT_EQ(test::ProjectionFault(tiny, across, crossed), "");
}

// The file: every field read and written back the same; a fault names its field.
TEST(ProjectionFile, ReadsWritesAndNamesTheFieldAtFault) {
  test::TempDir dir;
  Projection p;
  p.corners = kKeystone;
  p.grid = WarpGrid{3, 2, {{0, 0}, {100, -50}, {0, 0}, {0, 0}, {-200, 30}, {0, 0}}};
  p.masks.push_back({{{1, 2}, {300, 4}, {5, 600}}, 25.0});
  p.masks.push_back({{{10, 10}, {20, 10}, {20, 20}}, std::nullopt});
  p.safeArea = SafeArea{100, 200, 65000, 64000};
  ASSERT_TRUE(WriteProjectionFile(dir.File("a.projection.json"), p));
  const ProjectionRead read = ReadProjectionFile(dir.File("a.projection.json"));
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.projection, p);
  EXPECT_TRUE(ParseProjection("{}").ok) << "every field optional";

  for (const auto& [text, error] : std::vector<std::pair<std::string, std::string>>{
           {"[", "the file: not JSON"},
           {"{\"masks\": [{\"polygon\": [[0,0],[1,1]]}]}", "masks[0].polygon: 3 to 64 vertices"},
           {"{\"masks\": [{\"polygon\": [[0,0],[1,1],[2,70000]]}]}",
            "masks[0].polygon[2][1]: 0..65535"},
           {"{\"masks\": [{\"polygon\": [[0,0],[1,1],[2,0]], \"limit\": 150}]}",
            "masks[0].limit: 0..100"},
           {"{\"corners\": [[0,0],[65535,65535],[65535,0],[0,65535]]}",
            "corners: not a convex quadrilateral in the order top left, top right, bottom "
            "right, bottom left"},
           {"{\"grid\": {\"cols\": 3, \"rows\": 3, \"offsets\": []}}",
            "grid.offsets: cols x rows = 9 [dx, dy]"},
           {"{\"safeArea\": [10, 10, 5, 20]}", "safeArea: x0 < x1 and y0 < y1"},
           {"{\"corner\": []}", "corner: not a field of a projection"}}) {
    const ProjectionRead bad = ParseProjection(text);
    EXPECT_FALSE(bad.ok) << text;
    EXPECT_EQ(bad.error, error) << text;
  }
  EXPECT_EQ(ReadProjectionFile(dir.File("missing.json")).error,
            "cannot open " + dir.File("missing.json"));
}

}  // namespace
}  // namespace lumarex
