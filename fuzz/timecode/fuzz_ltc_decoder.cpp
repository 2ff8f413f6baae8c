// Audio from a sound card or a file is anything at all: noise, clipped music, half an LTC
// signal. Every frame the decoder hands back must be a valid time at a finite moment.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "fuzz/timecode/fuzz_ltc_input.h"
#include "timecode/ltc_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lumarex;
  if (size < fuzz::kLtcHeaderBytes) return 0;
  const uint32_t rate = fuzz::kLtcSampleRates[data[0] % fuzz::kLtcSampleRates.size()];
  const size_t block = fuzz::LtcBlockSize(data[1]);
  std::vector<int16_t> samples((size - fuzz::kLtcHeaderBytes) / 2);
  for (size_t k = 0; k < samples.size(); ++k) {
    const uint8_t* at = data + fuzz::kLtcHeaderBytes + 2 * k;
    samples[k] = static_cast<int16_t>(at[0] | at[1] << 8);
  }

  LtcDecoder decoder(rate);
  std::vector<LtcFrameTime> frames;
  for (size_t at = 0; at < samples.size(); at += block) {
    const size_t count = std::min(block, samples.size() - at);
    decoder.Write(std::span<const int16_t>(samples.data() + at, count), at * 1000.0 / rate, frames);
  }
  const double lastMs = samples.size() * 1000.0 / rate;
  for (const LtcFrameTime& frame : frames) {
    if (!IsValid(frame.tc) || !std::isfinite(frame.startMs)) std::abort();
    // A frame begins within the audio, give or take the guessed start of the first one.
    if (frame.startMs < -100.0 || frame.startMs > lastMs) std::abort();
  }
  return 0;
}
