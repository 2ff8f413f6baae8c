// `lumarex-cli optimise` end to end: a show file in, the optimised show file out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "optimiser/optiframe.h"
#include "show/show_files.h"
#include "tests/optimiser/test_support.h"
#include "tests/support/frame_builder.h"

namespace lumarex {
namespace {

TEST(CliOptimise, OptimisesEveryFrameWithTheSetAndTheOptionsAndSaysWhichItLeft) {
  const std::string cli = std::string(LUMAREX_BIN_DIR) + "/lumarex-cli";
  if (!std::filesystem::exists(cli)) GTEST_SKIP() << "lumarex-cli is not built";
  test::ScratchDir dir;
  test::RecordingDesktop desktop;

  ShowStore show;
  show.FrameCount = 0;
  std::mt19937 rng(3);
  std::vector<std::vector<ShowPoint>> frames;
  for (int f = 0; f < 3; ++f) frames.push_back(test::RandomFrame(rng, 30, 5, test::Spread::kField));
  frames.push_back({});
  for (int i = 0; i < 4100; ++i) {
    frames.back().push_back(test::Blanked(static_cast<int16_t>(i * 7), 0));
    frames.back().push_back(test::Lit(static_cast<int16_t>(i * 7), 50, 255, 0, 0));
  }
  for (const auto& frame : frames) test::AppendFrame(show, frame);
  const std::string in = dir.File("in.ild");
  ASSERT_TRUE(SaveShowFile(show, in, 0, 3, desktop));
  // The set asks for two lit end dwell points and centre moves; the option then orders from
  // the centre without them.
  test::WriteBytes(dir.File("set.osa"), {10, 8, 2, 2, 32, 34, 1, 3, 0});

  const std::string out = dir.File("out.ild");
  const std::string log = dir.File("log.txt");
  const std::string command = cli + " optimise " + in + " " + out + " --osa " +
                              dir.File("set.osa") + " --search 1 > " + log + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream logFile(log);
  std::stringstream text;
  text << logFile.rdbuf();
  EXPECT_THAT(text.str(), testing::HasSubstr("search 1\n"));
  EXPECT_THAT(text.str(), testing::HasSubstr("Frames optimised: 3 of 4 ("));
  EXPECT_THAT(text.str(), testing::HasSubstr("Left unchanged (more than 4048 paths or 65536 "
                                             "points): 3\n"));

  ShowStore result;
  ShowReaders readers;
  ASSERT_TRUE(LoadShowFile(result, readers, out, false, desktop));
  ASSERT_EQ(result.FrameCount, 4);
  ShowStore original;
  ASSERT_TRUE(LoadShowFile(original, readers, in, false, desktop));
  OptimiserParameters params;
  params.SeekEndCount = 2;
  params.SearchMode = 1;
  Optiframe core;
  for (uint32_t f = 0; f < 3; ++f) {
    core.OptimiseFrame(original, f, params);
    const auto expected = core.Optimised();
    const auto actual = result.Frame(f);
    ASSERT_EQ(actual.size(), expected.size()) << f;
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(actual[i].X, expected[i].X);
      EXPECT_EQ(actual[i].Y, expected[i].Y);
      EXPECT_EQ(actual[i].Visible, expected[i].Visible);
    }
  }
  EXPECT_EQ(result.LastPointIndex[3], original.LastPointIndex[3]);
}

}  // namespace
}  // namespace lumarex
