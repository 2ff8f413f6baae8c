#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli_runner.h"
#include "show/ilda.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

namespace fs = std::filesystem;
using test::Quoted;
using test::RunCli;

std::vector<fs::path> IldaFiles() {
  std::vector<fs::path> files;
  for (const auto& entry :
       fs::directory_iterator(fs::path(test::SharedDir()) / "testdata" / "ilda")) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (ext == ".ild") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

nlohmann::json Info(const std::string& arguments) {
  const auto result = RunCli("info --json " + arguments);
  EXPECT_EQ(result.exitCode, 0) << arguments;
  return nlohmann::json::parse(result.output);
}

// The points the CLI reports are the points the file holds, and a converted copy reports
// the same points again, blanked ones black.
TEST(CliIlda, InfoAndConvertKeepEveryPointOfEveryFile) {
  test::TempDir dir;
  IldaReader reader;
  test::RecordingDesktop desktop;
  for (const fs::path& file : IldaFiles()) {
    SCOPED_TRACE(file.filename().string());
    ShowStore store;
    reader.ReadIlda(store, file.string(), false, desktop);

    const nlohmann::json info = Info("--points " + Quoted(file.string()));
    EXPECT_EQ(info["IoStatus"], store.IoStatus);
    EXPECT_EQ(info["SourceFormatCode"], 1);
    EXPECT_EQ(info["ShowFileSize"], store.ShowFileSize);
    EXPECT_EQ(info["IldaFormatsSeen"], reader.IldaFormatsSeen);
    ASSERT_EQ(info["FrameCount"], store.FrameCount);
    ASSERT_EQ(info["frames"].size(), store.FrameCount);
    for (uint32_t n = 0; n < store.FrameCount; ++n) {
      const auto& frame = info["frames"][n];
      const FrameStats s = store.FrameStatistics(n);
      ASSERT_EQ(frame["LastPointIndex"], store.LastPointIndex[n]);
      EXPECT_EQ(frame["dimension"], s.Dimension());
      EXPECT_EQ(frame["paths"], s.paths);
      EXPECT_EQ(frame["visible"], s.visible);
      EXPECT_EQ(frame["blanked"], s.blanked);
      const auto points = store.Frame(n);
      ASSERT_EQ(frame["points"].size(), points.size());
      for (size_t i = 0; i < points.size(); ++i) {
        const ShowPoint& p = points[i];
        ASSERT_EQ(frame["points"][i],
                  nlohmann::json({p.X, p.Y, p.Z, p.R, p.G, p.B, p.Visible, p.ColourIndex}))
            << n << ":" << i;
      }
    }

    const std::string copy = dir.File("copy.ild");
    const auto converted = RunCli("convert " + Quoted(file.string()) + " " + Quoted(copy));
    ASSERT_EQ(converted.exitCode, 0);
    EXPECT_EQ(converted.output, "I.O.\n");
    nlohmann::json again = Info("--points " + Quoted(copy));
    if (store.FrameCount == 0) {
      // An empty show is saved as its save range 0..0: one empty frame.
      ASSERT_EQ(again["FrameCount"], 1);
      EXPECT_EQ(again["frames"][0]["visible"], 0);
      continue;
    }
    ASSERT_EQ(again["frames"].size(), info["frames"].size());
    for (size_t n = 0; n < info["frames"].size(); ++n) {
      auto expected = info["frames"][n]["points"];
      for (auto& p : expected) {
        if (p[6] == 0) p[3] = p[4] = p[5] = 0;
      }
      ASSERT_EQ(again["frames"][n]["points"], expected) << n;
    }
  }
}

TEST(CliIlda, MergeRangeAndUsage) {
  test::TempDir dir;
  const std::string demo = dir.File("demo.ild");
  ASSERT_EQ(RunCli("demo " + Quoted(demo)).exitCode, 0);
  const nlohmann::json one = Info(Quoted(demo));
  const uint32_t frames = one["FrameCount"];
  EXPECT_GE(frames, 200u);
  EXPECT_FALSE(one["frames"][0].contains("points"));

  // Merging puts one empty frame between the two shows.
  const nlohmann::json merged = Info(Quoted(demo) + " --merge " + Quoted(demo));
  EXPECT_EQ(merged["FrameCount"], 2 * frames + 1);
  EXPECT_EQ(merged["frames"][frames]["LastPointIndex"], 0);
  EXPECT_EQ(merged["frames"][frames + 1], one["frames"][0]);

  // A range writes just those frames.
  const std::string part = dir.File("part.ild");
  ASSERT_EQ(
      RunCli("convert " + Quoted(demo) + " " + Quoted(part) + " --first 10 --last 19").exitCode, 0);
  const nlohmann::json cut = Info(Quoted(part));
  ASSERT_EQ(cut["FrameCount"], 10);
  EXPECT_EQ(cut["frames"][0], one["frames"][10]);

  EXPECT_EQ(RunCli("info 2>/dev/null").exitCode, 2);
  EXPECT_EQ(RunCli("frobnicate 2>/dev/null").exitCode, 2);
}

}  // namespace
}  // namespace lumarex
