#include "timecode/ltc_file_input.h"

#include <gtest/gtest.h>
#include <ltc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/timecode/ltc_writer.h"

namespace lumarex {
namespace {

constexpr uint32_t kStartMs = 5000;  // the clock's time at Play
constexpr uint32_t kStepMs = 10;     // a sound card's period

Timecode Tc(const char* text, TimecodeRate rate) {
  return *ParseTimecode(text, rate);
}

// Plays the file from Play at kStartMs to `untilMs` after it, stepping the clock by 10 ms;
// answers each new reading once, as the player would see them.
std::vector<TimecodeReading> PlayThrough(LtcFileInput& input, ManualClock& clock,
                                         uint32_t untilMs) {
  std::vector<TimecodeReading> seen;
  const auto before = input.Latest();
  uint64_t count = before ? before->count : 0;
  clock.Set(kStartMs);
  input.PlayPressed();
  for (uint32_t now = kStartMs; now <= kStartMs + untilMs; now += kStepMs) {
    clock.Set(now);
    input.Pump(now);
    const auto latest = input.Latest();
    if (!latest || latest->count == count) continue;
    EXPECT_EQ(latest->count, count + 1) << "one frame at most per 10 ms";
    count = latest->count;
    seen.push_back(*latest);
  }
  return seen;
}

// Where frame `placed` began on the clock, in ms.
double ExpectedMs(const test::LtcWriter::Placed& placed, uint32_t sampleRate) {
  return kStartMs + placed.startSample * 1000.0 / sampleRate;
}

// The frames `written` (in order, `skipped` left out) and nothing else came, each at its
// place in the file within 1 ms and one frame (plus the 10 ms step) before it was read.
void ExpectReadingsFollow(const std::vector<TimecodeReading>& readings,
                          const std::vector<test::LtcWriter::Placed>& written,
                          const std::vector<size_t>& skipped, uint32_t sampleRate, double frameMs) {
  std::vector<size_t> expected;
  for (size_t k = 0; k < written.size(); ++k) {
    if (std::find(skipped.begin(), skipped.end(), k) == skipped.end()) expected.push_back(k);
  }
  ASSERT_EQ(readings.size(), expected.size());
  double worst = 0.0;
  for (size_t k = 0; k < readings.size(); ++k) {
    const auto& frame = written[expected[k]];
    ASSERT_EQ(readings[k].tc, frame.tc)
        << "reading " << k << ": " << TimecodeText(readings[k].tc) << " ("
        << TimecodeRateName(readings[k].tc.rate) << ") instead of " << TimecodeText(frame.tc);
    const double error = readings[k].atMs - ExpectedMs(frame, sampleRate);
    worst = std::max(worst, std::fabs(error));
    const uint32_t late = readings[k].receivedMs - readings[k].atMs;
    EXPECT_GE(late + 1, frameMs) << TimecodeText(frame.tc) << ": read before it was whole";
    EXPECT_LE(late, frameMs + kStepMs + 1) << TimecodeText(frame.tc);
  }
  EXPECT_LE(worst, 1.0) << "atMs off by up to " << worst << " ms";
}

// Our own LTC at 25 fps from 01:00:00:00 with what goes wrong on a show: a cut to 01:10:00:00
// after 4 s, a frame with a field out of range, and 1 s without signal after 7 s.
TEST(LtcFileInput, FollowsOurOwnLtcThroughACutABadFrameAndADropout) {
  constexpr uint32_t kRate = 48000;
  constexpr auto k25 = TimecodeRate::k25;
  test::LtcWriter writer(kRate, k25);
  Timecode next = writer.AppendFrames(Tc("01:00:00:00", k25), 50);
  test::LtcBits bad = test::LtcFrameBits(next);
  test::SetLtcField(bad, 8, 2, 3);  // frame 30 at 25 fps
  test::SetLtcPolarityBit(bad, k25);
  writer.AppendFrame(bad, next);
  writer.AppendFrames(NextFrame(next), 49);
  next = writer.AppendFrames(Tc("01:10:00:00", k25), 75);
  const size_t beforeDropout = writer.Frames().size() - 1;
  writer.AppendSilence(1.0);
  writer.AppendFrames(Tc("01:10:04:00", k25), 50);  // the source ran on meanwhile
  ASSERT_EQ(writer.Frames().size(), 225u);

  test::TempDir dir;
  const std::string path = dir.File("ltc25.wav");
  ASSERT_TRUE(test::WriteMonoWav(path, kRate, writer.Samples()));
  ManualClock clock;
  std::string error;
  const auto input = LtcFileInput::Open(path, clock, LtcFilePacing::kCaller, error);
  ASSERT_TRUE(input) << error;
  EXPECT_EQ(input->Name(), "ltc-file");
  EXPECT_EQ(input->SampleRate(), kRate);

  const auto readings = PlayThrough(*input, clock, 10200);
  // Left out: the bad frame; the last before the dropout, which ends only when the signal
  // comes back; the file's last frame, which never ends.
  ExpectReadingsFollow(readings, writer.Frames(), {50, beforeDropout, 224}, kRate, 40.0);
  EXPECT_EQ(input->Ignored(), 2u) << "the bad frame and the one the dropout stretched";
  ASSERT_FALSE(readings.empty());
  EXPECT_EQ(readings.front().count, 1u);
  EXPECT_LE(readings.front().receivedMs, kStartMs + 2 * 40 + kStepMs) << "locks within 2 frames";
  for (const auto& reading : readings) {
    EXPECT_FALSE(reading.receivedMs > kStartMs + 7000 && reading.receivedMs < kStartMs + 8000)
        << TimecodeText(reading.tc) << " during the dropout";
  }
  const auto after = std::find_if(readings.begin(), readings.end(), [](const auto& reading) {
    return reading.receivedMs >= kStartMs + 8000;
  });
  ASSERT_NE(after, readings.end());
  EXPECT_EQ(after->tc, Tc("01:10:04:00", k25));
  EXPECT_LE(after->receivedMs, kStartMs + 8000 + 2 * 40 + kStepMs) << "locks again at once";

  // Stop rewinds: nothing more comes, and the next Play starts the file over at its time.
  input->Stopped();
  const uint64_t count = input->Latest()->count;
  input->Pump(kStartMs + 20000);
  EXPECT_EQ(input->Latest()->count, count);
  const auto again = PlayThrough(*input, clock, 200);
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(again.front().count, count + 1);
  EXPECT_EQ(again.front().tc, Tc("01:00:00:00", k25));
  EXPECT_NEAR(again.front().atMs, kStartMs, 1.0);
}

// A WAV from libltc's own encoder: the decoder must not depend on our writer's habits.
struct EncodedLtc {
  std::vector<float> samples;
  std::vector<test::LtcWriter::Placed> frames;
};

EncodedLtc EncodeWithLibltc(uint32_t sampleRate, Timecode first, size_t count) {
  const bool drop = first.rate == TimecodeRate::k2997Drop;
  const double fps = test::RealFramesPerSecond(first.rate);
  LTCEncoder* encoder = ltc_encoder_create(sampleRate, fps, LTC_TV_525_60, LTC_BGF_DONT_TOUCH);
  SMPTETimecode time{};
  std::strcpy(time.timezone, "+0000");
  time.hours = first.hours;
  time.mins = first.minutes;
  time.secs = first.seconds;
  time.frame = first.frames;
  ltc_encoder_set_timecode(encoder, &time);
  LTCFrame frame;
  ltc_encoder_get_frame(encoder, &frame);
  frame.dfbit = drop ? 1 : 0;
  ltc_frame_set_parity(&frame, LTC_TV_525_60);
  ltc_encoder_set_frame(encoder, &frame);
  EncodedLtc out;
  for (size_t k = 0; k < count; ++k) {
    out.frames.push_back({first, static_cast<double>(out.samples.size())});
    ltc_encoder_encode_frame(encoder);
    ltcsnd_sample_t* buffer = nullptr;
    const int length = ltc_encoder_get_bufferptr(encoder, &buffer, 1);
    for (int n = 0; n < length; ++n) out.samples.push_back((buffer[n] - 128.0f) / 127.0f);
    ltc_encoder_inc_timecode(encoder);
    first = NextFrame(first);
  }
  ltc_encoder_free(encoder);
  return out;
}

// 29.97 drop-frame across a minute that skips frame numbers, and 30 fps at 44.1 kHz: both
// rates told apart by the flag alone, each frame where libltc's encoder put it.
TEST(LtcFileInput, ReadsLibltcsOwnLtcAtDropFrameAnd30) {
  struct Case {
    uint32_t sampleRate;
    Timecode first;
  };
  for (const Case& c : {Case{48000, Tc("00:00:59;00", TimecodeRate::k2997Drop)},
                        Case{44100, Tc("10:59:59:00", TimecodeRate::k30)}}) {
    SCOPED_TRACE(TimecodeRateName(c.first.rate));
    const EncodedLtc encoded = EncodeWithLibltc(c.sampleRate, c.first, 90);
    test::TempDir dir;
    const std::string path = dir.File("libltc.wav");
    ASSERT_TRUE(test::WriteMonoWav(path, c.sampleRate, encoded.samples));
    ManualClock clock;
    std::string error;
    const auto input = LtcFileInput::Open(path, clock, LtcFilePacing::kCaller, error);
    ASSERT_TRUE(input) << error;
    const auto readings = PlayThrough(*input, clock, 3100);
    const double frameMs = 1000.0 / test::RealFramesPerSecond(c.first.rate);
    ExpectReadingsFollow(readings, encoded.frames, {89}, c.sampleRate, frameMs);
    EXPECT_EQ(input->Ignored(), 0u);
  }
}

// Its own thread plays the file by the system clock, and Stop and the destructor end it.
TEST(LtcFileInput, PlaysOnItsOwnThreadByTheClock) {
  test::LtcWriter writer(48000, TimecodeRate::k25);
  writer.AppendFrames(Tc("00:59:59:00", TimecodeRate::k25), 25);
  test::TempDir dir;
  const std::string path = dir.File("short.wav");
  ASSERT_TRUE(test::WriteMonoWav(path, 48000, writer.Samples()));
  SteadyClock clock;
  std::string error;
  const auto input = LtcFileInput::Open(path, clock, LtcFilePacing::kOwnThread, error);
  ASSERT_TRUE(input) << error;

  const uint32_t before = clock.NowMs();
  input->PlayPressed();
  const uint32_t after = clock.NowMs();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!input->Latest() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto first = input->Latest();
  ASSERT_TRUE(first) << "nothing within 3 s";
  input->Stopped();
  EXPECT_EQ(first->tc, Tc("00:59:59:00", TimecodeRate::k25));
  EXPECT_GE(first->atMs + 1, before) << "the frame began as Play was pressed";
  EXPECT_LE(first->atMs, after + 1);
  EXPECT_GE(first->receivedMs, first->atMs + 39) << "a frame is read once it is whole";
  input->PlayPressed();  // the destructor stops a running file
}

TEST(LtcFileInput, MissingOrUnreadableFilesOpenNothing) {
  test::TempDir dir;
  ManualClock clock;
  for (const std::string& path :
       {dir.File("missing.wav"), dir.Write("text.wav", {'L', 'T', 'C'}), dir.Path().string()}) {
    std::string error;
    EXPECT_FALSE(LtcFileInput::Open(path, clock, LtcFilePacing::kCaller, error));
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
  }
}

}  // namespace
}  // namespace lumarex
