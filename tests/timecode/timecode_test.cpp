#include "timecode/timecode.h"

#include <gtest/gtest.h>

namespace lumarex {
namespace {

// Drop-frame numbering: the frame numbers skipped at each minute but the tenth, and the
// conversions both ways across a day at every rate.
TEST(Timecode, FramesTimesAndTextAtEveryRateDropFrameIncluded) {
  const auto df = [](const char* text) { return ParseTimecode(text, TimecodeRate::k2997Drop); };
  EXPECT_FALSE(df("00:01:00;00")) << "skipped";
  EXPECT_FALSE(df("00:01:00;01")) << "skipped";
  ASSERT_TRUE(df("00:01:00;02"));
  ASSERT_TRUE(df("00:10:00;00")) << "every tenth minute keeps them";
  EXPECT_EQ(FrameNumber(*df("00:01:00;02")), 1800u);
  EXPECT_EQ(FrameNumber(*df("00:10:00;00")), 17982u);
  EXPECT_EQ(FrameNumber(*df("01:00:00;00")), 107892u);
  EXPECT_EQ(TimecodeMs(*df("01:00:00;00")), 3600000u - 4u) << "29.97 frames: 107892 x 1001/30";
  EXPECT_EQ(NextFrame(*df("00:00:59;29")), *df("00:01:00;02"));
  EXPECT_EQ(TimecodeText(*df("00:09:59;29")), "00:09:59;29");
  EXPECT_EQ(TimecodeText(NextFrame(*df("00:09:59;29"))), "00:10:00;00");

  for (TimecodeRate rate :
       {TimecodeRate::k24, TimecodeRate::k25, TimecodeRate::k2997Drop, TimecodeRate::k30}) {
    const Timecode last{23, 59, 59, static_cast<uint8_t>(NominalFramesPerSecond(rate) - 1), rate};
    for (uint64_t frame = 0; frame <= FrameNumber(last); frame += 997) {
      const Timecode tc = TimecodeOfFrame(frame, rate);
      ASSERT_TRUE(IsValid(tc)) << TimecodeText(tc);
      ASSERT_EQ(FrameNumber(tc), frame) << TimecodeText(tc) << " at " << TimecodeRateName(rate);
      ASSERT_EQ(ParseTimecode(TimecodeText(tc), rate), tc);
    }
  }
  EXPECT_EQ(TimecodeMs(*ParseTimecode("01:00:00:00", TimecodeRate::k25)), 3600000u);
  EXPECT_EQ(TimecodeMs(*ParseTimecode("00:00:01:12", TimecodeRate::k24)), 1500u);
  EXPECT_EQ(TimecodeOfFrame(25u * 86400u, TimecodeRate::k25), Timecode{}) << "wraps at midnight";
  for (const char* bad : {"", "1:00:00:00", "00:00:00:25", "00:60:00:00", "24:00:00:00",
                          "00:00:00:00x", "00-00-00-00", "00:00:00;0"}) {
    EXPECT_FALSE(ParseTimecode(bad, TimecodeRate::k25)) << bad;
  }
}

}  // namespace
}  // namespace lumarex
