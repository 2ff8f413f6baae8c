#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "gl/png_file.h"
#include "tests/app/cli_runner.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

using test::Quoted;
using test::RunCli;

// A real show analysed as a user would: the JSON holds every frame, the totals add up, the
// text's summary names the frames over the rating, the plot is written, and the scan speed
// and the rating reach the figures.
TEST(CliAnalyse, JsonTextAndPlotOfARealShow) {
  const std::string show = std::string(LUMAREX_SHARED_DIR) + "/testdata/ilda/laserboy__in.ild";
  test::TempDir dir;
  const std::string plot = (dir.Path() / "load.png").string();
  const auto json = RunCli("analyse --json --plot " + Quoted(plot) + " " + Quoted(show));
  ASSERT_EQ(json.exitCode, 0);
  const auto out = nlohmann::ordered_json::parse(json.output);
  EXPECT_EQ(out.begin().key(), "kpps");
  EXPECT_EQ(out["kpps"], 30.0);
  const auto& frames = out["frames"];
  ASSERT_EQ(frames.size(), 73u);
  uint64_t points = 0;
  std::string overList;
  for (const auto& f : frames) {
    points += f["points"].get<uint64_t>();
    EXPECT_EQ(f["overRated"], f["scannerLoad"].get<double>() > 100.0);
    EXPECT_NEAR(f["refreshHz"].get<double>() * f["scanTimeMs"].get<double>(), 1000.0, 1e-6);
    if (f["overRated"]) overList += " " + std::to_string(f["frame"].get<int>());
  }
  EXPECT_EQ(frames[0].begin().key(), "frame");
  const auto& totals = out["show"];
  EXPECT_EQ(totals["points"], points);
  EXPECT_EQ(totals["overRated"].size(), totals["overRatedFrames"].get<size_t>());
  EXPECT_GT(totals["overRatedFrames"].get<int>(), 0);
  EXPECT_LT(totals["overRatedFrames"].get<int>(), 73);

  const auto picture = ReadPng(plot);
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->width, 800);

  // The same frames over the rating in the summary line (ranges written out here).
  const auto text = RunCli("analyse " + Quoted(show));
  ASSERT_EQ(text.exitCode, 0);
  const std::string summary = text.output.substr(text.output.rfind("73 frames at 25000"));
  EXPECT_NE(summary.find("over the rating: 0-4 6 8 13-21"), std::string::npos) << summary;
  EXPECT_NE(overList.find(" 0 1 2 3 4 6 8 13 14"), std::string::npos) << overList;

  // Twice the scan speed halves the scan time and raises the load; a faster rating lowers it.
  const auto fast =
      nlohmann::json::parse(RunCli("analyse --json --scan-speed 50 " + Quoted(show)).output);
  EXPECT_NEAR(fast["show"]["scanTimeMs"].get<double>(), totals["scanTimeMs"].get<double>() / 2,
              1e-6);
  EXPECT_GT(fast["show"]["scannerLoad"].get<double>(), totals["scannerLoad"].get<double>());
  const auto rated =
      nlohmann::json::parse(RunCli("analyse --json --kpps 60 " + Quoted(show)).output);
  EXPECT_LE(rated["show"]["scannerLoad"].get<double>(), totals["scannerLoad"].get<double>() / 2);

  EXPECT_EQ(RunCli("analyse --kpps 0 " + Quoted(show)).exitCode, 2);
  EXPECT_EQ(RunCli("analyse " + Quoted((dir.Path() / "missing.ild").string())).exitCode, 1);
}

// The line after `prefix` in `text`, without the prefix.
std::string LineAfter(const std::string& text, const std::string& prefix) {
  const size_t at = text.find(prefix);
  if (at == std::string::npos) return "(no " + prefix + ")";
  const size_t from = at + prefix.size();
  return text.substr(from, text.find('\n', from) - from);
}

// optimise ends with the show's scanner figures before and after, the same as analyse gives
// for the show it read and for the show it wrote.
TEST(CliAnalyse, OptimiseReportsTheFiguresAnalyseGivesBeforeAndAfter) {
  const std::string show = std::string(LUMAREX_SHARED_DIR) + "/testdata/ilda/laserboy__in.ild";
  test::TempDir dir;
  const std::string written = (dir.Path() / "optimised.ild").string();
  const auto optimised = RunCli("optimise " + Quoted(show) + " " + Quoted(written));
  ASSERT_EQ(optimised.exitCode, 0);
  const std::string saved = "Saved: " + LineAfter(optimised.output, "Saved: ") + "\n";
  EXPECT_EQ(optimised.output.find("Scanned before: "), optimised.output.find(saved) + saved.size());
  const std::string before = LineAfter(optimised.output, "Scanned before: ");
  const std::string after = LineAfter(optimised.output, "Scanned after:  ");
  EXPECT_EQ(before, LineAfter(RunCli("analyse " + Quoted(show)).output, "Show: "));
  EXPECT_EQ(after, LineAfter(RunCli("analyse " + Quoted(written)).output, "Show: "));
  EXPECT_NE(before, after);
}

}  // namespace
}  // namespace lumarex
