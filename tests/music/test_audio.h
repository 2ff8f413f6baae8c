#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace lumarex::test {

// The test tone: the left side is a slow sawtooth, so that any 512 consecutive frames say
// where in the file they come from; the right side is a 440 Hz sine.
inline constexpr int32_t kSawPeriod = 30000;

inline int16_t ToneLeft(int64_t frame) {
  return static_cast<int16_t>(frame % kSawPeriod - kSawPeriod / 2);
}
inline int16_t ToneRight(int64_t frame, uint32_t rate = 44100) {
  return static_cast<int16_t>(
      std::lround(8000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * frame / rate)));
}

inline std::vector<int16_t> MakeTone(int64_t frames, uint32_t rate = 44100) {
  std::vector<int16_t> samples;
  samples.reserve(static_cast<size_t>(frames) * 2);
  for (int64_t f = 0; f < frames; ++f) {
    samples.push_back(ToneLeft(f));
    samples.push_back(ToneRight(f, rate));
  }
  return samples;
}

inline void Put(std::ofstream& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 16-bit PCM WAV file.
inline void WriteWav(const std::filesystem::path& path, uint32_t rate, uint16_t channels,
                     const std::vector<int16_t>& samples) {
  std::ofstream out(path, std::ios::binary);
  const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
  out.write("RIFF", 4);
  Put(out, 36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  Put(out, 16, 4);
  Put(out, 1, 2);
  Put(out, channels, 2);
  Put(out, rate, 4);
  Put(out, rate * channels * 2u, 4);
  Put(out, channels * 2u, 2);
  Put(out, 16, 2);
  out.write("data", 4);
  Put(out, dataBytes, 4);
  for (const int16_t s : samples) Put(out, static_cast<uint16_t>(s), 2);
}

// Encodes with the lame program; false when it is not there or fails.
inline bool EncodeMp3(const std::filesystem::path& wav, const std::filesystem::path& mp3,
                      const std::string& options) {
  const std::string command =
      "lame --quiet " + options + " '" + wav.string() + "' '" + mp3.string() + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && std::filesystem::exists(mp3);
}

// A fresh folder per test, removed afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           ("lumarex_music_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
            std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // A stereo tone file of `seconds` at `rate`.
  std::string ToneWav(const std::string& name, double seconds, uint32_t rate = 44100) const {
    const std::string path = Path(name);
    WriteWav(path, rate, 2, MakeTone(static_cast<int64_t>(seconds * rate), rate));
    return path;
  }

  std::filesystem::path dir_;
};

}  // namespace lumarex::test
