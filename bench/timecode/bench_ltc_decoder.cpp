// What LTC decoding costs: one second of 48 kHz LTC audio through LtcDecoder per iteration, in
// the 10 ms blocks a sound card delivers, as floats (the capture and file inputs) and as 16-bit
// samples. The time per iteration is the CPU time one second of signal takes; the frames
// counter shows that every frame of it was decoded.
#include <benchmark/benchmark.h>

#include <span>
#include <type_traits>
#include <vector>

#include "tests/timecode/ltc_writer.h"
#include "timecode/ltc_decoder.h"

namespace lumarex {
namespace {

constexpr uint32_t kSampleRate = 48000;
constexpr size_t kBlock = kSampleRate / 100;

// Ten seconds of signal, played round and round (the wrap is a cut, as a DAW's loop is).
std::vector<float> Signal(TimecodeRate rate) {
  test::LtcWriter writer(kSampleRate, rate);
  writer.AppendFrames(*ParseTimecode("01:00:00:00", rate), 10 * NominalFramesPerSecond(rate));
  std::vector<float> samples = writer.Samples();
  samples.resize(10 * kSampleRate, 0.0f);
  return samples;
}

template <typename Sample>
void DecodeOneSecond(benchmark::State& state, TimecodeRate rate) {
  const std::vector<float> floats = Signal(rate);
  std::vector<Sample> samples;
  for (const float sample : floats) {
    if constexpr (std::is_same_v<Sample, float>) {
      samples.push_back(sample);
    } else {
      samples.push_back(static_cast<int16_t>(sample * 32767.0f));
    }
  }
  LtcDecoder decoder(kSampleRate);
  std::vector<LtcFrameTime> frames;
  frames.reserve(64);
  size_t at = 0;
  double ms = 0.0;
  uint64_t decoded = 0;
  for (auto _ : state) {
    frames.clear();
    for (size_t block = 0; block < kSampleRate / kBlock; ++block) {
      decoder.Write(std::span<const Sample>(samples.data() + at, kBlock), ms, frames);
      at = (at + kBlock) % samples.size();
      ms += 10.0;
    }
    decoded += frames.size();
    benchmark::DoNotOptimize(frames.data());
  }
  state.counters["frames_per_audio_s"] =
      benchmark::Counter(static_cast<double>(decoded) / static_cast<double>(state.iterations()));
}

void BM_LtcDecodeSecondFloat25(benchmark::State& state) {
  DecodeOneSecond<float>(state, TimecodeRate::k25);
}
void BM_LtcDecodeSecondFloat2997df(benchmark::State& state) {
  DecodeOneSecond<float>(state, TimecodeRate::k2997Drop);
}
void BM_LtcDecodeSecondS16_25(benchmark::State& state) {
  DecodeOneSecond<int16_t>(state, TimecodeRate::k25);
}
BENCHMARK(BM_LtcDecodeSecondFloat25)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LtcDecodeSecondFloat2997df)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LtcDecodeSecondS16_25)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lumarex

BENCHMARK_MAIN();
