#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "gl/png_file.h"
#include "preview/simulated_output_picture.h"
#include "show/show_files.h"
#include "tests/app/cli_runner.h"
#include "tests/preview/picture_support.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

using test::Blanked;
using test::Lit;

constexpr uint32_t kRate = 30000;

// A lit square of side 2 * kHalf about the field's centre, `perSide` points a side, corner
// (kHalf, kHalf) first, drawn anticlockwise.
std::vector<DacPoint> Square(int32_t half, int perSide) {
  std::vector<DacPoint> points;
  const int32_t corners[5][2] = {
      {half, half}, {-half, half}, {-half, -half}, {half, -half}, {half, half}};
  for (int side = 0; side < 4; ++side) {
    for (int k = 0; k < perSide; ++k) {
      const int32_t x = corners[side][0] + (corners[side + 1][0] - corners[side][0]) * k / perSide;
      const int32_t y = corners[side][1] + (corners[side + 1][1] - corners[side][1]) * k / perSide;
      points.push_back(
          {static_cast<uint16_t>(32768 + x), static_cast<uint16_t>(32768 + y), 0, 255, 0, 85, {}});
    }
  }
  return points;
}

// How near the drawn lit path comes to the panel point (x, y).
double NearestLit(const DrawList& list, int32_t x, int32_t y) {
  double nearest = 1e9;
  for (const Batch& batch : list.Batches()) {
    for (const Vertex& v : list.VerticesOf(batch)) {
      if (v.g != 255) continue;
      nearest =
          std::min(nearest, std::hypot(static_cast<double>(v.x - x), static_cast<double>(v.y - y)));
    }
  }
  return nearest;
}

TEST(SimulatedOutput, ASlowScannerRoundsTheCornersThatAFastOneDraws) {
  constexpr int32_t kHalf = 16000;
  const std::vector<DacPoint> square = Square(kHalf, 12);
  DrawList commanded;
  BuildOutputPicture(square, OutputWindow{}, commanded);
  SimulatedOutputPicture simulated;
  DrawList slow;
  DrawList fast;
  ScannerRating rating;
  rating.kpps = 12;
  const OutputPictureCounts slowCounts =
      simulated.Build(square, kRate, rating, OutputWindow{}, slow);
  EXPECT_EQ(simulated.Samples().size(), square.size() * SimulatedOutputPicture::kSamplesPerPoint);
  EXPECT_EQ(slowCounts.litSegments, simulated.Samples().size());
  rating.kpps = 100;
  simulated.Build(square, kRate, rating, OutputWindow{}, fast);

  EXPECT_EQ(NearestLit(commanded, kHalf, kHalf), 0.0);
  EXPECT_GT(NearestLit(slow, kHalf, kHalf), 2000.0) << "the corner is cut round";
  EXPECT_LT(NearestLit(fast, kHalf, kHalf), 600.0);
  EXPECT_LT(NearestLit(fast, -kHalf, -kHalf), 600.0);
  // The window outline comes first in both views, as it is.
  EXPECT_EQ(test::VerticesOf(slow, 0), test::VerticesOf(commanded, 0));
}

// lumarex-cli draws the simulated output view headless: a square through the default
// calibration, at a rating low enough that its corners come out round.
TEST(SimulatedOutput, TheCommandLineDrawsItLikeItsGoldenPicture) {
  test::TempDir dir;
  std::vector<ShowPoint> frame = {Blanked(30000, 30000)};
  const int16_t corners[5][2] = {
      {30000, 30000}, {-30000, 30000}, {-30000, -30000}, {30000, -30000}, {30000, 30000}};
  for (int side = 0; side < 4; ++side) {
    for (int k = 1; k <= 12; ++k) {
      const auto at = [&](int axis) {
        return static_cast<int16_t>(corners[side][axis] +
                                    (corners[side + 1][axis] - corners[side][axis]) * k / 12);
      };
      frame.push_back(Lit(at(0), at(1), 255, 255, 0));
    }
  }
  const auto store = test::StoreWith({frame});
  test::RecordingDesktop quiet;
  const std::string show = dir.File("square.ild");
  ASSERT_TRUE(SaveShowFile(*store, show, 0, 0, quiet));

  const std::string png = dir.File("square.png");
  const std::string common = "preview " + test::Quoted(show) + " --frame 0 --output-view ";
  ASSERT_EQ(test::RunCli(common + "--scanner 12 --size 160 --png " + test::Quoted(png)).exitCode,
            0);
  const auto json =
      nlohmann::json::parse(test::RunCli(common + "--scanner 12 --json").output, nullptr, false);
  EXPECT_EQ(json["view"], "output");
  EXPECT_EQ(json["scanner"], 12.0);
  EXPECT_EQ(test::RunCli("preview " + test::Quoted(show) + " --frame 0 --scanner 12").exitCode, 2)
      << "the rating is the output view's";

  const auto actual = ReadPng(png);
  ASSERT_TRUE(actual);
  const std::filesystem::path golden =
      std::filesystem::path(LUMAREX_TEST_DATA_DIR) / "output_view_scanner12.png";
  const auto expected = ReadPng(golden.string());
  const double share = expected ? test::MatchingShare(*actual, *expected, 24) : 0.0;
  if (share < 0.995) {
    const std::string kept =
        (std::filesystem::path(LUMAREX_BIN_DIR) / "output_view_scanner12.actual.png").string();
    std::filesystem::copy_file(png, kept, std::filesystem::copy_options::overwrite_existing);
    ADD_FAILURE() << "the simulated output view differs from " << golden << " (" << share * 100
                  << " % of the pixels match); the picture drawn is " << kept
                  << "; if it is right, accept it with: cp '" << kept << "' " << golden;
  }
}

}  // namespace
}  // namespace lumarex
