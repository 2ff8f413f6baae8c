#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "tests/music/test_audio.h"

namespace lumarex {
namespace {

class CliMusicTest : public test::TempDirTest {
 protected:
  // Runs lumarex-cli with SDL's dummy driver; its standard output, or nothing when the
  // program has not been built.
  std::string Run(const std::string& arguments, int& status) const {
    const std::filesystem::path cli = std::filesystem::path(LUMAREX_BIN_DIR) / "lumarex-cli";
    if (!std::filesystem::exists(cli)) return {};
    const std::string command =
        "SDL_AUDIODRIVER=dummy '" + cli.string() + "' music " + arguments + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char chunk[256];
    while (pipe != nullptr && std::fgets(chunk, sizeof chunk, pipe) != nullptr) out += chunk;
    status = pipe != nullptr ? pclose(pipe) : -1;
    return out;
  }
};

TEST_F(CliMusicTest, PlaysAFileAndReportsLengthPositionAndPeak) {
  const std::string wav = Path("steady.wav");
  std::vector<int16_t> samples(3 * 44100 * 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / 2) % 100 < 50 ? 12000 : -12000;
  test::WriteWav(wav, 44100, 2, samples);
  int status = 0;
  const std::string out = Run("'" + wav + "' --seconds 2.5", status);
  if (out.empty() &&
      !std::filesystem::exists(std::filesystem::path(LUMAREX_BIN_DIR) / "lumarex-cli")) {
    GTEST_SKIP() << "lumarex-cli is not built";
  }
  EXPECT_EQ(status, 0);
  EXPECT_NE(out.find("Length: 0:03 (3 s)"), std::string::npos) << out;
  EXPECT_NE(out.find("Position: 1 s, peak 12000\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Position: 2 s, peak 12000\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Position: 3 s"), std::string::npos) << out;  // stopped after 2.5 s

  EXPECT_EQ(Run("'" + Path("missing.wav") + "'", status), "");
  EXPECT_NE(status, 0);
}

}  // namespace
}  // namespace lumarex
