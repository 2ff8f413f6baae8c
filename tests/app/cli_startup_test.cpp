#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_runner.h"
#include "show/show_store.h"
#include "tests/show/format_samples.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

using test::Quoted;
using test::RunCli;

// Every command starts from the window's state: an indexed Cat file read first takes its
// colours from the default palette that the start-up loads, not from a black one.
TEST(CliStartup, AnIndexedCatShowReadFirstHasTheDefaultPalettesColours) {
  test::TempDir dir;
  const std::string show = dir.Write(
      "lds.cat",
      samples::CatLdsFile({{{1, 2, 0, 0, 0, 0, true, 8}, {3, 4, 0, 0, 0, 0, true, 40}}}).data);
  const auto result = RunCli("info --json --points " + Quoted(show));
  ASSERT_EQ(result.exitCode, 0);
  const auto points = nlohmann::json::parse(result.output)["frames"][0]["points"];
  const RgbColour c8 = DefaultPalette()[8];
  const RgbColour c40 = DefaultPalette()[40];
  EXPECT_EQ(points[0], nlohmann::json({1, -2, 0, c8.R, c8.G, c8.B, 1, 8}));
  EXPECT_EQ(points[1], nlohmann::json({3, -4, 0, c40.R, c40.G, c40.B, 1, 40}));
  EXPECT_EQ(c40, (RgbColour{0, 0, 255}));

  const auto verbose = RunCli("--verbose info " + Quoted(show) + " 2>&1 >/dev/null");
  EXPECT_NE(verbose.output.find("Close Lumarex ....."), std::string::npos) << verbose.output;
  EXPECT_EQ(RunCli("info " + Quoted(show) + " 2>&1 >/dev/null").output, "");
}

}  // namespace
}  // namespace lumarex
