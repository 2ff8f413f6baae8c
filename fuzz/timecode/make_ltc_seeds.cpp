// Writes short LTC signals (a few frames at each rate and sample rate) as the starting corpus
// of fuzz_ltc_decoder.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/timecode/fuzz_ltc_input.h"
#include "tests/timecode/ltc_writer.h"

namespace {

void WriteSeed(const std::filesystem::path& path, uint8_t rateCode, uint8_t blockCode,
               lumarex::TimecodeRate rate, const char* start) {
  const uint32_t sampleRate = lumarex::fuzz::kLtcSampleRates[rateCode];
  lumarex::test::LtcWriter writer(sampleRate, rate);
  writer.AppendSilence(0.01);
  writer.AppendFrames(*lumarex::ParseTimecode(start, rate), 4);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.put(static_cast<char>(rateCode));
  out.put(static_cast<char>(blockCode));
  for (const float sample : writer.Samples()) {
    const auto value = static_cast<uint16_t>(static_cast<int16_t>(sample * 32767.0f));
    out.put(static_cast<char>(value & 0xFF));
    out.put(static_cast<char>(value >> 8));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_ltc_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  using lumarex::TimecodeRate;
  WriteSeed(folder / "ltc25_8k.raw", 0, 10, TimecodeRate::k25, "01:00:00:00");
  WriteSeed(folder / "ltc2997df_16k.raw", 1, 60, TimecodeRate::k2997Drop, "00:00:59;28");
  WriteSeed(folder / "ltc24_8k.raw", 0, 0, TimecodeRate::k24, "23:59:59:22");
  WriteSeed(folder / "ltc30_16k.raw", 1, 255, TimecodeRate::k30, "12:34:56:29");
  return 0;
}
