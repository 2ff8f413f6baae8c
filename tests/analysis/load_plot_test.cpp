#include "analysis/load_plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "gl/png_file.h"
#include "tests/preview/picture_support.h"

namespace lumarex {
namespace {

bool Reddish(const uint8_t* p) {
  return p[0] > 130 && p[1] < 60 && p[2] < 60;
}

// 68 frames, loads rising and falling through the 100 % line, frames 40..45 far over it.
ShowAnalysis SampleShow() {
  ShowAnalysis show;
  show.kpps = 30;
  for (uint32_t n = 0; n < 68; ++n) {
    FrameAnalysis f;
    f.frame = n;
    f.scannerLoad = n >= 40 && n < 46 ? 240 : 60 + 50 * std::sin(n * 0.25);
    f.scanTimeMs = 8 + 6 * std::cos(n * 0.1);
    f.overRated = f.scannerLoad > 100;
    AddToShow(show, f);
  }
  return show;
}

TEST(LoadPlot, OverRatedFramesStandOutAndThePictureIsItsGolden) {
  const ShowAnalysis show = SampleShow();
  const RgbaImage actual = DrawLoadPlot(show);
  ASSERT_EQ(actual.width, 800);
  ASSERT_EQ(actual.height, 400);
  // 672 columns for 68 frames: frame 42 is around column 420 (x 484); its bar is red to
  // 240 % of the 300 % scale, a frame under the rating is not red anywhere in its column.
  const int plotBottom = 400 - 44;
  const int barTop = plotBottom - static_cast<int>(240.0 / 300 * (plotBottom - 40));
  EXPECT_TRUE(Reddish(actual.At(64 + 42 * 672 / 68 + 4, barTop + 3)));
  EXPECT_TRUE(Reddish(actual.At(64 + 42 * 672 / 68 + 4, 40 - 6)));  // the mark above
  EXPECT_FALSE(Reddish(actual.At(64 + 20 * 672 / 68 + 4, plotBottom - 3)));

  const std::filesystem::path golden =
      std::filesystem::path(LUMAREX_TEST_DATA_DIR) / "load_plot.png";
  const auto expected = ReadPng(golden.string());
  const double share = expected ? test::MatchingShare(actual, *expected, 24) : 0.0;
  if (share < 0.995) {
    const std::string written =
        (std::filesystem::path(LUMAREX_BIN_DIR) / "load_plot.actual.png").string();
    std::string error;
    WritePng(written, actual, error);
    ADD_FAILURE() << "the load plot differs from " << golden << " (" << share * 100
                  << " % of the pixels match); the picture drawn is " << written
                  << "; if it is right, accept it with: cp '" << written << "' " << golden;
  }
}

}  // namespace
}  // namespace lumarex
