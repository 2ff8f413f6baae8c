#include "timecode/ltc_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "tests/timecode/ltc_writer.h"

namespace lumarex {
namespace {

// The same 24 fps signal at 44.1 kHz, once as floats in sound-card blocks and once as 16-bit
// samples in blocks of any size down to one sample: the same frames at the same times, each
// where it lies in the stream (the block times place it, not the block sizes).
TEST(LtcDecoder, BlockSizesAndSampleFormatsChangeNothing) {
  constexpr uint32_t kRate = 44100;
  test::LtcWriter writer(kRate, TimecodeRate::k24);
  writer.AppendSilence(0.3);
  writer.AppendFrames(*ParseTimecode("23:59:58:00", TimecodeRate::k24), 72);  // past midnight
  const std::vector<float>& samples = writer.Samples();
  const auto msOf = [](size_t sample) { return 1000.0 + sample * 1000.0 / kRate; };

  LtcDecoder floats(kRate);
  std::vector<LtcFrameTime> fromFloats;
  for (size_t at = 0; at < samples.size(); at += 441) {
    const size_t count = std::min<size_t>(441, samples.size() - at);
    floats.Write(std::span<const float>(samples.data() + at, count), msOf(at), fromFloats);
  }

  std::vector<int16_t> shorts;
  for (const float sample : samples) shorts.push_back(static_cast<int16_t>(sample * 32767.0f));
  LtcDecoder ints(kRate);
  std::vector<LtcFrameTime> fromInts;
  std::mt19937 random(7);
  for (size_t at = 0; at < shorts.size();) {
    const size_t count = std::min<size_t>(std::uniform_int_distribution<size_t>(1, 5000)(random),
                                          shorts.size() - at);
    ints.Write(std::span<const int16_t>(shorts.data() + at, count), msOf(at), fromInts);
    at += count;
  }

  ASSERT_EQ(fromFloats.size(), 71u) << "all but the last frame, which never ends";
  ASSERT_EQ(fromInts.size(), fromFloats.size());
  for (size_t k = 0; k < fromFloats.size(); ++k) {
    const auto& placed = writer.Frames()[k];
    EXPECT_EQ(fromFloats[k].tc, placed.tc) << TimecodeText(fromFloats[k].tc);
    EXPECT_EQ(fromInts[k].tc, placed.tc) << TimecodeText(fromInts[k].tc);
    EXPECT_NEAR(fromFloats[k].startMs, msOf(0) + placed.startSample * 1000.0 / kRate, 0.05);
    EXPECT_NEAR(fromInts[k].startMs, fromFloats[k].startMs, 0.05);
  }
  EXPECT_EQ(fromFloats[48].tc, Timecode({0, 0, 0, 0, TimecodeRate::k24}));
  EXPECT_EQ(floats.Ignored() + ints.Ignored(), 0u);
}

}  // namespace
}  // namespace lumarex
