#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "cli_runner.h"
#include "show/demo_show.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

struct Wav {
  uint32_t sampleRate = 0;
  std::vector<int16_t> samples;  // interleaved left, right
};

uint32_t LE(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<size_t>(i)];
  return v;
}

// A canonical 16-bit stereo PCM WAV file, or nothing.
std::optional<Wav> ReadStereoWav(const std::string& path) {
  const std::vector<uint8_t> b = test::ReadBytes(path);
  if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
      std::memcmp(b.data() + 8, "WAVEfmt ", 8) != 0 || LE(b, 20, 2) != 1 || LE(b, 22, 2) != 2 ||
      LE(b, 34, 2) != 16 || std::memcmp(b.data() + 36, "data", 4) != 0 ||
      LE(b, 40, 4) != b.size() - 44 || LE(b, 4, 4) != b.size() - 8) {
    return std::nullopt;
  }
  Wav wav{LE(b, 24, 4), std::vector<int16_t>((b.size() - 44) / 2)};
  for (size_t i = 0; i < wav.samples.size(); ++i) {
    wav.samples[i] = static_cast<int16_t>(LE(b, 44 + 2 * i, 2));
  }
  return wav;
}

// Mean square of the left side over [fromMs, fromMs + lengthMs).
double Energy(const Wav& wav, int64_t fromMs, int64_t lengthMs) {
  const auto first = static_cast<size_t>(fromMs * wav.sampleRate / 1000);
  const auto last = static_cast<size_t>((fromMs + lengthMs) * wav.sampleRate / 1000);
  double sum = 0.0;
  for (size_t i = first; i < last; ++i) {
    const double s = wav.samples[2 * i];
    sum += s * s;
  }
  return sum / static_cast<double>(last - first);
}

// The demo's music lies beside the show under the name the load command looks for, outlasts
// the show at 25 frames per second, and beats at every change of scene.
TEST(CliDemo, WritesMusicThatBeatsOnEverySceneChange) {
  test::TempDir dir;
  const auto result = test::RunCli("demo " + test::Quoted(dir.File("Demo.ILD")));
  ASSERT_EQ(result.exitCode, 0);
  ASSERT_TRUE(std::filesystem::exists(dir.File("Demo.wav"))) << result.output;

  const std::optional<Wav> audio = ReadStereoWav(dir.File("Demo.wav"));
  ASSERT_TRUE(audio.has_value());
  EXPECT_EQ(audio->sampleRate, 44100u);
  const double showSeconds = kDemoShowFrames / 25.0;
  const double musicSeconds = static_cast<double>(audio->samples.size() / 2) / audio->sampleRate;
  EXPECT_GE(musicSeconds, showSeconds + 2.0);
  EXPECT_LE(musicSeconds, showSeconds + 5.0);

  for (size_t k = 1; k < kDemoScenes.size(); ++k) {
    const int64_t change = kDemoScenes[k].firstFrame * 40;  // ms at 25 frames per second
    const double before =
        Energy(*audio, std::max<int64_t>(0, change - 400), std::min<int64_t>(change, 400));
    EXPECT_GT(Energy(*audio, change, 30), 4.0 * before) << "scene " << k;
  }
}

}  // namespace
}  // namespace lumarex
