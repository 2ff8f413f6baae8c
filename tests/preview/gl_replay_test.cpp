#include "gl/gl_replay.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "gl/headless_context.h"
#include "gl/png_file.h"
#include "preview/frame_picture.h"
#include "tests/preview/picture_support.h"

namespace lumarex {
namespace {

using test::Blanked;
using test::Lit;

constexpr int kSize = 160;

// A frame that every mode draws something of: a lone lit point (a beam), then a red
// horizontal vector and a green vertical one, each after a blanked move.
std::unique_ptr<ShowStore> ScreenshotShow() {
  return test::StoreWith(
      {{Blanked(0, 0), Lit(-16000, 16000, 255, 255, 0), Blanked(-16000, 16000),
        Blanked(-20000, -8000), Lit(-20000, -8000, 255, 0, 0), Lit(20000, -8000, 255, 0, 0),
        Blanked(12000, -16000), Lit(12000, -16000, 0, 255, 0), Lit(12000, 16000, 0, 255, 0),
        Blanked(0, 0), Blanked(0, 0), Blanked(0, 0)}});
}

struct Rgb {
  int r, g, b;
};

Rgb PixelAtShow(const RgbaImage& image, int x, int y) {
  // Show coordinates to the panel's pixels: the full range fills it, Y upwards.
  const int px = static_cast<int>((x + 32768.0) * kSize / 65536.0);
  const int py = kSize - 1 - static_cast<int>((y + 32768.0) * kSize / 65536.0);
  const uint8_t* p = image.At(px, py);
  return {p[0], p[1], p[2]};
}

RgbaImage Render(const DrawList& list, HeadlessContext& context) {
  ApplyView(kPreviewView, kSize, kSize);
  ReplayDrawList(list);
  return context.ReadPixels();
}

TEST(GlReplay, EveryModeRendersHeadlessLikeItsGoldenPicture) {
  HeadlessContext context(kSize, kSize);
  ASSERT_TRUE(context.Ready()) << context.Error();
  const auto store = ScreenshotShow();
  DrawList list;

  ASSERT_TRUE(BuildPreviewPicture(*store, 0, 0, list));
  RgbaImage graphic = Render(list, context);
  const Rgb red = PixelAtShow(graphic, 0, -8000);
  EXPECT_GT(red.r, 200);
  EXPECT_LT(red.g + red.b, 40);
  const Rgb green = PixelAtShow(graphic, 12000, 0);
  EXPECT_GT(green.g, 200);
  const Rgb empty = PixelAtShow(graphic, -20000, 20000);
  EXPECT_EQ(empty.r + empty.g + empty.b, 0);
  const Rgb blankedMove = PixelAtShow(graphic, -18000, 4000);
  EXPECT_EQ(blankedMove.r + blankedMove.g + blankedMove.b, 0);

  // Light adds up: where the two vectors' light sheets overlap, red and green both shine.
  ASSERT_TRUE(BuildPreviewPicture(*store, 0, 2, list));
  const RgbaImage beams = Render(list, context);
  const Rgb bothSheets = PixelAtShow(beams, 10000, 0);
  const Rgb oneSheet = PixelAtShow(beams, -8000, -10000);
  EXPECT_GT(bothSheets.g, 0);
  EXPECT_GT(bothSheets.r, 0);
  EXPECT_GT(oneSheet.r, 0);
  EXPECT_EQ(oneSheet.g, 0);
  EXPECT_GT(bothSheets.r + bothSheets.g, oneSheet.r + oneSheet.g);

  const std::filesystem::path goldenDir = LUMAREX_TEST_DATA_DIR;
  for (uint8_t mode = 0; mode < kPreviewModeCount; ++mode) {
    ASSERT_TRUE(BuildPreviewPicture(*store, 0, mode, list));
    const RgbaImage actual = Render(list, context);
    const std::string name = "preview_mode" + std::to_string(mode);
    const std::filesystem::path golden = goldenDir / (name + ".png");
    const auto expected = ReadPng(golden.string());
    const double share = expected ? test::MatchingShare(actual, *expected, 24) : 0.0;
    if (share < 0.995) {
      const std::string actualPath =
          (std::filesystem::path(LUMAREX_BIN_DIR) / (name + ".actual.png")).string();
      std::string error;
      WritePng(actualPath, actual, error);
      ADD_FAILURE() << "mode " << int{mode} << " differs from " << golden << " (" << share * 100
                    << " % of the pixels match); the picture drawn is " << actualPath
                    << "; if it is right, accept it with: cp '" << actualPath << "' " << golden;
    }
  }
}

}  // namespace
}  // namespace lumarex
