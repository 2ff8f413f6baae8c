#include "timecode/mtc_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace lumarex {
namespace {

uint8_t RateCode(TimecodeRate rate) {
  switch (rate) {
    case TimecodeRate::k24:
      return 0;
    case TimecodeRate::k25:
      return 1;
    case TimecodeRate::k2997Drop:
      return 2;
    case TimecodeRate::k30:
      return 3;
  }
  return 1;
}

// The data bytes of the eight quarter frames that carry `tc`, piece 0 first.
std::array<uint8_t, 8> Pieces(const Timecode& tc) {
  const auto piece = [](unsigned n, unsigned value) {
    return static_cast<uint8_t>(n << 4 | (value & 0x0F));
  };
  return {piece(0, tc.frames),  piece(1, tc.frames >> 4),
          piece(2, tc.seconds), piece(3, tc.seconds >> 4),
          piece(4, tc.minutes), piece(5, tc.minutes >> 4),
          piece(6, tc.hours),   piece(7, tc.hours >> 4 | RateCode(tc.rate) << 1)};
}

std::vector<uint8_t> FullFrame(const Timecode& tc, uint8_t device = 0x7F) {
  return {0xF0,       0x7F,       device,
          0x01,       0x01,       static_cast<uint8_t>(RateCode(tc.rate) << 5 | tc.hours),
          tc.minutes, tc.seconds, tc.frames,
          0xF7};
}

Timecode Tc(const char* text, TimecodeRate rate) {
  return *ParseTimecode(text, rate);
}

// A sender's quarter frames: each set carries the frame at which its first piece goes out,
// one quarter of a frame period apart.
struct Sender {
  Sender(MtcDecoder& to, Timecode from, uint32_t startMs = 1000, bool reverse = false)
      : decoder(to), tc(from), nowMs(startMs), backwards(reverse) {}

  MtcDecoder& decoder;
  Timecode tc;
  uint32_t nowMs;
  bool backwards;
  std::vector<MtcTime> times;

  uint32_t QuarterMs() const { return 1000 / (4 * NominalFramesPerSecond(tc.rate)); }

  // `count` quarter frames from piece `from` on; a new set starts two frames on (or back).
  void Send(unsigned from, unsigned count) {
    for (unsigned k = 0; k < count; ++k) {
      const unsigned step = (from + k) % 8;
      const unsigned piece = backwards ? 7 - step : step;
      if (k > 0 && step == 0) {
        const uint64_t frame = FrameNumber(tc);
        tc = TimecodeOfFrame(backwards ? frame - 2 : frame + 2, tc.rate);
      }
      const uint8_t message[] = {0xF1, Pieces(tc)[piece]};
      if (auto time = decoder.Feed(message, nowMs)) times.push_back(*time);
      nowMs += QuarterMs();
    }
  }
};

// Quarter frames at every rate, joined in the middle of a set: the first time comes with the
// first whole set, carrying the frame its piece 0 went out at, then every second frame.
TEST(MtcDecoder, QuarterFramesAtEveryRateDropFrameAndBackwards) {
  struct Case {
    const char* start;
    TimecodeRate rate;
    const char* second;  // the set after the first whole one
  };
  for (const Case& c : {Case{"01:00:00:00", TimecodeRate::k24, "01:00:00:02"},
                        Case{"10:59:59:23", TimecodeRate::k25, "11:00:00:00"},
                        Case{"23:59:59:28", TimecodeRate::k30, "00:00:00:00"},
                        Case{"00:00:59;28", TimecodeRate::k2997Drop, "00:01:00;02"},
                        Case{"00:09:59;28", TimecodeRate::k2997Drop, "00:10:00;00"}}) {
    MtcDecoder decoder;
    // The set before `start` is joined at piece 3: its five last pieces make no time.
    Sender sender{decoder, TimecodeOfFrame(FrameNumber(Tc(c.start, c.rate)) - 2, c.rate)};
    sender.Send(3, 5);
    EXPECT_TRUE(sender.times.empty()) << c.start;
    const uint32_t firstPiece0Ms = sender.nowMs;
    sender.tc = Tc(c.start, c.rate);
    sender.Send(0, 8 * 3);
    ASSERT_EQ(sender.times.size(), 3u) << c.start;
    EXPECT_EQ(sender.times[0].tc, Tc(c.start, c.rate));
    EXPECT_EQ(sender.times[0].atMs, firstPiece0Ms) << "the arrival of the set's piece 0";
    EXPECT_FALSE(sender.times[0].fullFrame);
    EXPECT_FALSE(sender.times[0].backwards);
    EXPECT_EQ(sender.times[1].tc, Tc(c.second, c.rate)) << c.start;
    EXPECT_EQ(sender.times[1].atMs - sender.times[0].atMs, 8 * sender.QuarterMs());
    EXPECT_EQ(decoder.Counters().quarterFrames, 29u);
    EXPECT_EQ(decoder.Counters().ignored, 0u);
  }

  // Backwards the pieces come 7 to 0; the set's time is true when its piece 7 arrives.
  MtcDecoder decoder;
  Sender sender{decoder, Tc("02:00:00:10", TimecodeRate::k25), 5000, true};
  sender.Send(0, 8 * 2);
  ASSERT_EQ(sender.times.size(), 2u);
  EXPECT_EQ(sender.times[0].tc, Tc("02:00:00:10", TimecodeRate::k25));
  EXPECT_EQ(sender.times[0].atMs, 5000u);
  EXPECT_TRUE(sender.times[0].backwards);
  EXPECT_EQ(sender.times[1].tc, Tc("02:00:00:08", TimecodeRate::k25));

  // Turning forwards again: the piece before the turn was sent the other way, so the first
  // forward set is the one that begins after it.
  sender.backwards = false;
  sender.times.clear();
  sender.tc = Tc("02:00:00:04", TimecodeRate::k25);
  sender.Send(1, 7 + 8);
  ASSERT_EQ(sender.times.size(), 1u);
  EXPECT_EQ(sender.times[0].tc, Tc("02:00:00:06", TimecodeRate::k25));
  EXPECT_FALSE(sender.times[0].backwards);
}

// The full frame is the time at its arrival, from any device number, with real-time bytes
// inside; it starts quarter-frame assembly anew (a locate), and user bits pass unnoticed.
TEST(MtcDecoder, FullFrameIsTheTimeAtOnceAndLocates) {
  MtcDecoder decoder;
  Sender sender{decoder, Tc("01:00:00:00", TimecodeRate::k25)};
  sender.Send(0, 5);

  std::vector<uint8_t> bytes = FullFrame(Tc("10:20:30;04", TimecodeRate::k2997Drop), 0x10);
  bytes.insert(bytes.begin() + 6, 0xF8);  // MIDI clock inside the SysEx
  const auto full = decoder.Feed(bytes, 7000);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->tc, Tc("10:20:30;04", TimecodeRate::k2997Drop));
  EXPECT_EQ(full->atMs, 7000u);
  EXPECT_TRUE(full->fullFrame);

  // The pieces 5 to 7 of the set from before the locate do not complete it.
  sender.nowMs = 7010;
  sender.Send(5, 3);
  EXPECT_TRUE(sender.times.empty());
  const uint8_t userBits[] = {0xF0, 0x7F, 0x7F, 0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xF7};
  EXPECT_FALSE(decoder.Feed(userBits, 7100));
  EXPECT_EQ(decoder.Counters().fullFrames, 1u);
  EXPECT_EQ(decoder.Counters().times, 1u);
  EXPECT_EQ(decoder.Counters().ignored, 0u);
}

// What is malformed or out of range is counted and changes nothing; other MIDI traffic is
// neither counted nor in the way; a piece out of order, or a long gap, costs the set.
TEST(MtcDecoder, GarbageIsCountedAndOtherTrafficPassesThrough) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint64_t ignored;
  };
  const Timecode ebu = Tc("01:00:00:00", TimecodeRate::k25);
  for (const Case& c : {
           Case{{0xF1, 0x90, 0x3C, 0x40}, 1},  // quarter frame cut by a note
           Case{{0xF1, 0xF0, 0x01, 0xF7}, 1},
           Case{{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x21, 0, 0, 0, 0, 0xF7}, 1},  // one byte long
           Case{{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x21, 0, 0, 0xF7}, 1},        // one byte short
           Case{{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x21, 0, 0, 0x90}, 1},        // cut by a note
           Case{{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x21, 0, 0, 25, 0xF7}, 1},    // frame 25 at 25
           Case{{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x38, 0, 0, 0, 0xF7}, 1},     // hour 24
           Case{{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x40, 1, 0, 0, 0xF7}, 1},     // 00:01:00;00 DF
           Case{{0xF0, 0x43, 0x10, 0x01, 0x01, 0x21, 0, 0, 0, 0xF7}, 0},     // a synthesiser's
           Case{{0x90, 0x3C, 0x40, 0x3C, 0x00, 0xF8, 0xFA, 0xB0, 0x07, 0x7F, 0xF7, 0x12}, 0},
       }) {
    MtcDecoder decoder;
    EXPECT_FALSE(decoder.Feed(c.bytes, 0));
    EXPECT_EQ(decoder.Counters().ignored, c.ignored) << ::testing::PrintToString(c.bytes);
    EXPECT_EQ(decoder.Counters().times, 0u);
    // The stream goes on as if the garbage had not been there.
    Sender sender{decoder, ebu};
    sender.Send(0, 8);
    ASSERT_EQ(sender.times.size(), 1u) << ::testing::PrintToString(c.bytes);
    EXPECT_EQ(sender.times[0].tc, ebu);
  }

  // A whole set of quarter frames naming frame 27 at 25 fps.
  MtcDecoder decoder;
  Sender sender{decoder, Timecode{1, 0, 0, 27, TimecodeRate::k25}};
  sender.Send(0, 8);
  EXPECT_TRUE(sender.times.empty());
  EXPECT_EQ(decoder.Counters().ignored, 1u);

  // Real-time bytes and notes between the pieces, even between F1 and its data byte.
  sender.tc = ebu;
  std::vector<uint8_t> stream;
  for (const uint8_t piece : Pieces(ebu)) {
    stream.insert(stream.end(), {0xF1, 0xFE, piece, 0x90, 0x3C, 0x40, 0xF8});
  }
  const auto time = decoder.Feed(stream, 100);
  ASSERT_TRUE(time);
  EXPECT_EQ(time->tc, ebu);
  EXPECT_EQ(decoder.Counters().ignored, 1u);

  // A piece missing, a piece twice, or a stop longer than the gap allowed: no time from that
  // set; the next whole one is taken.
  for (const auto& disturb : {std::vector<unsigned>{0, 1, 2, 4, 5, 6, 7},
                              std::vector<unsigned>{0, 1, 2, 3, 3, 4, 5, 6, 7}}) {
    MtcDecoder d;
    for (const unsigned piece : disturb) {
      const uint8_t message[] = {0xF1, Pieces(ebu)[piece]};
      EXPECT_FALSE(d.Feed(message, 0));
    }
  }
  MtcDecoder paused;
  Sender late{paused, ebu};
  late.Send(0, 4);
  late.nowMs += MtcDecoder::kMaxQuarterFrameGapMs;
  late.Send(4, 4 + 8);
  ASSERT_EQ(late.times.size(), 1u);
  EXPECT_EQ(late.times[0].tc, Tc("01:00:00:02", TimecodeRate::k25));
  EXPECT_EQ(paused.Counters().ignored, 0u);
}

}  // namespace
}  // namespace lumarex
