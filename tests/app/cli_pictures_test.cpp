#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "cli_runner.h"
#include "gl/png_file.h"
#include "preview/frame_picture.h"
#include "show/show_files.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

using test::Quoted;
using test::RunCli;

nlohmann::json JsonOf(const std::string& arguments) {
  const auto result = RunCli(arguments);
  EXPECT_EQ(result.exitCode, 0) << arguments;
  return nlohmann::json::parse(result.output, nullptr, false);
}

// The printed draw list is the preview's own, vertex for vertex, and the PNG shows it.
TEST(CliPictures, PreviewPrintsAndRendersTheDrawListOfEveryMode) {
  test::TempDir dir;
  const std::string show = dir.File("demo.ild");
  ASSERT_EQ(RunCli("demo " + Quoted(show)).exitCode, 0);
  ShowStore store;
  ShowReaders readers;
  test::RecordingDesktop desktop;
  ASSERT_TRUE(LoadShowFile(store, readers, show, false, desktop));
  ASSERT_GT(store.FrameCount, 200);

  DrawList list;
  for (uint8_t mode = 0; mode < kPreviewModeCount; ++mode) {
    SCOPED_TRACE(mode);
    const auto json =
        JsonOf("preview " + Quoted(show) + " --frame 200 --json --mode " + std::to_string(mode));
    ASSERT_TRUE(BuildPreviewPicture(store, 200, mode, list));
    EXPECT_EQ(json["frame"], 200);
    EXPECT_EQ(json["label"], PreviewModeLabel(mode));
    EXPECT_EQ(json["drawn"], true);
    ASSERT_EQ(json["batches"].size(), list.Batches().size());
    for (size_t b = 0; b < list.Batches().size(); ++b) {
      const Batch& batch = list.Batches()[b];
      const auto& printed = json["batches"][b];
      EXPECT_EQ(printed["primitive"], PrimitiveName(batch.primitive));
      EXPECT_EQ(printed["blend"], batch.blend);
      EXPECT_EQ(printed["lineWidth"], batch.lineWidth);
      const auto vertices = list.VerticesOf(batch);
      ASSERT_EQ(printed["vertices"].size(), vertices.size());
      for (size_t k = 0; k < vertices.size(); ++k) {
        const Vertex& v = vertices[k];
        ASSERT_EQ(printed["vertices"][k], nlohmann::json({v.x, v.y, v.r, v.g, v.b, v.a}));
      }
    }
  }

  const std::string png = dir.File("frame.png");
  ASSERT_EQ(RunCli("preview " + Quoted(show) + " --frame 0 --png " + Quoted(png)).exitCode, 0);
  const auto image = ReadPng(png);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 680);
  size_t lit = 0;
  for (size_t k = 0; k < image->pixels.size(); k += 4) {
    lit += (image->pixels[k] | image->pixels[k + 1] | image->pixels[k + 2]) != 0 ? 1 : 0;
  }
  EXPECT_GT(lit, 500u) << "the test pattern is drawn";

  // An empty show draws nothing; a frame beyond the show is refused.
  const std::string empty = dir.Write("empty.ild", {});
  const auto nothing = JsonOf("preview " + Quoted(empty) + " --frame 0 --json");
  EXPECT_EQ(nothing["drawn"], false);
  EXPECT_TRUE(nothing["batches"].empty());
  EXPECT_EQ(RunCli("preview " + Quoted(show) + " --frame 65535 --json").exitCode, 2);
}

TEST(CliPictures, AnimationPrintsTheBallAndSendsItToTheLaser) {
  const auto middle = JsonOf("animation --angle 30 --json");
  EXPECT_EQ(middle["angle"], 30);
  EXPECT_EQ(middle["tilt"], 0);
  ASSERT_EQ(middle["staged"].size(), 1440u);
  EXPECT_EQ(middle["staged"][0][5], 0);
  EXPECT_EQ(middle["batches"][0]["lineWidth"], 2.0);
  EXPECT_EQ(JsonOf("animation --pointer -1 --json")["tilt"], 90);
  EXPECT_EQ(JsonOf("animation --pointer 700 --json")["tilt"], -90);

  test::TempDir dir;
  const std::string capture = dir.File("capture.bin");
  ASSERT_EQ(setenv("LUMAREX_VIRTUAL_DAC_CAPTURE", capture.c_str(), 1), 0);
  ASSERT_EQ(RunCli("animation --device 0 --pictures 3 --angle 359").exitCode, 0);
  unsetenv("LUMAREX_VIRTUAL_DAC_CAPTURE");
  const std::vector<uint8_t> bytes = test::ReadBytes(capture);
  // Three pictures, angles 359, 360 and 1, each a whole ball with its dark ends.
  size_t at = 0;
  std::vector<std::vector<uint8_t>> frames;
  while (at + 8 <= bytes.size()) {
    uint32_t count = 0;
    std::memcpy(&count, bytes.data() + at, 4);
    const size_t size = size_t{count} * 12;
    ASSERT_LE(at + 8 + size, bytes.size());
    frames.emplace_back(bytes.begin() + static_cast<long>(at + 8),
                        bytes.begin() + static_cast<long>(at + 8 + size));
    at += 8 + size;
  }
  ASSERT_EQ(frames.size(), 3u);
  for (const auto& frame : frames) {
    EXPECT_GT(frame.size() / 12, 1440u);
    const auto intensity = [&](size_t point) { return frame[point * 12 + 7]; };
    EXPECT_EQ(intensity(0), 0);
    EXPECT_EQ(intensity(frame.size() / 12 - 1), 0);
  }
  EXPECT_NE(frames[0], frames[1]);
  EXPECT_NE(frames[1], frames[2]);
}

}  // namespace
}  // namespace lumarex
