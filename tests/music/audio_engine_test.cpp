#include "music/audio_engine.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "music/audio_binding.h"
#include "tests/music/test_audio.h"

namespace lumarex {
namespace {

using namespace std::chrono_literals;
using test::ToneLeft;
using test::ToneRight;

class AudioEngineTest : public test::TempDirTest {
 public:
  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_EQ(engine.Init(1, 44100), 1);
  }

  // Where the 512 frames returned by GetData start in the tone, or -1 when they are not 512
  // consecutive frames of it.
  static int64_t LocateWindow(const std::vector<int16_t>& window, int64_t near) {
    const int64_t first = near - near % test::kSawPeriod + (window[0] + test::kSawPeriod / 2);
    for (const int64_t candidate : {first - test::kSawPeriod, first, first + test::kSawPeriod}) {
      if (std::abs(candidate - near) > test::kSawPeriod / 2) continue;
      bool all = true;
      for (size_t i = 0; i < window.size() / 2 && all; ++i) {
        all = window[i * 2] == ToneLeft(candidate + static_cast<int64_t>(i)) &&
              window[i * 2 + 1] == ToneRight(candidate + static_cast<int64_t>(i));
      }
      if (all) return candidate;
    }
    return -1;
  }

  AudioEngine engine;
};

TEST_F(AudioEngineTest, StreamLengthAndUnitConversions) {
  const HSTREAM s = engine.StreamCreateFile(0, ToneWav("a.wav", 2.5).c_str(), 0, 0, 0);
  ASSERT_NE(s, 0u);
  EXPECT_EQ(engine.StreamGetLength(s), 110250u * 4);
  EXPECT_FLOAT_EQ(engine.ChannelBytes2Seconds(s, 110250u * 4), 2.5f);
  EXPECT_EQ(engine.ChannelSeconds2Bytes(s, 1.5f), 66150u * 4);
  EXPECT_EQ(engine.ChannelSeconds2Bytes(s, -3.0f), 0u);

  // A 48 kHz mono file: its own rate counts, and both sides carry the one channel.
  const std::string mono = Path("mono.wav");
  test::WriteWav(mono, 48000, 1, std::vector<int16_t>(48000, 1234));
  const HSTREAM m = engine.StreamCreateFile(0, mono.c_str(), 0, 0, 0);
  ASSERT_NE(m, 0u);
  EXPECT_FLOAT_EQ(engine.ChannelBytes2Seconds(m, engine.StreamGetLength(m)), 1.0f);
  DWORD freq = 0;
  ASSERT_EQ(engine.ChannelGetAttributes(m, &freq, nullptr, nullptr), 1);
  EXPECT_EQ(freq, 48000u);
  ASSERT_EQ(engine.ChannelPlay(m, kBassTrue), 1);
  std::this_thread::sleep_for(100ms);
  int16_t data[8] = {};
  ASSERT_EQ(engine.ChannelGetData(m, data, sizeof data), sizeof data);
  EXPECT_EQ(data[6], 1234);
  EXPECT_EQ(data[7], 1234);
}

TEST_F(AudioEngineTest, FilesAndHandlesThatFail) {
  EXPECT_EQ(engine.StreamCreateFile(0, Path("missing.wav").c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), kBassErrorFileOpen);
  {
    std::ofstream junk(Path("junk.wav"), std::ios::binary);
    junk << "this is not a sound file at all";
  }
  EXPECT_EQ(engine.StreamCreateFile(0, Path("junk.wav").c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(engine.ErrorGetCode(), kBassErrorFileForm);
  EXPECT_EQ(engine.StreamCreateFile(0, Path("junk.mp3").c_str(), 0, 0, 0), 0u);

  EXPECT_EQ(engine.ChannelPlay(77, kBassTrue), 0);
  EXPECT_EQ(engine.ErrorGetCode(), kBassErrorHandle);
  EXPECT_EQ(engine.ChannelIsActive(77), kActiveStopped);
  EXPECT_EQ(engine.StreamGetLength(77), ~QWORD{0});
  EXPECT_LT(engine.ChannelBytes2Seconds(77, 100), 0.0f);
  EXPECT_EQ(engine.Init(1, 44100), 0);
  EXPECT_EQ(engine.ErrorGetCode(), kBassErrorAlready);
}

// Plays a tone for `wait` and checks that GetData returns the frames that the clock says play.
void ExpectPlaysOnTheClock(AudioEngine& engine, const std::string& tone,
                           std::chrono::milliseconds wait) {
  const HSTREAM s = engine.StreamCreateFile(0, tone.c_str(), 0, 0, 0);
  ASSERT_NE(s, 0u);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(engine.ChannelPlay(s, kBassTrue), 1);
  std::this_thread::sleep_for(wait);
  std::vector<int16_t> window(1024);
  ASSERT_EQ(engine.ChannelGetData(s, window.data(), 2048), 2048u);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto expected = static_cast<int64_t>(elapsed * 44100);
  const int64_t at = AudioEngineTest::LocateWindow(window, expected);
  ASSERT_GE(at, 0) << "GetData did not return consecutive frames of the tone";
  // The clock starts when the first buffer that carries the channel is heard: ~2 buffers late.
  EXPECT_NEAR(static_cast<double>(at + 512), static_cast<double>(expected), 0.12 * 44100);
  EXPECT_EQ(engine.ChannelIsActive(s), kActivePlaying);
}

TEST_F(AudioEngineTest, PlayPositionFollowsTheClockAndGetDataReturnsWhatPlays) {
  ExpectPlaysOnTheClock(engine, ToneWav("a.wav", 3), 400ms);
}

// The "no sound" device plays on the same clock, and closing it does not wait out a drain
// (a command that only reads a show would otherwise spend 70 ms ending).
TEST_F(AudioEngineTest, TheNoSoundDevicePlaysOnTimeAndClosesAtOnce) {
  ASSERT_EQ(engine.Free(), 1);
  ASSERT_EQ(engine.Init(0, 44100), 1);
  EXPECT_TRUE(engine.UsingNullOutput());
  ExpectPlaysOnTheClock(engine, ToneWav("a.wav", 3), 300ms);
  const auto closing = std::chrono::steady_clock::now();
  ASSERT_EQ(engine.Free(), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - closing, 30ms);
}

// On the card's clock the position is what the card has played: the tone GetData returns is
// still the one at the position, and read often the position never steps back.
TEST_F(AudioEngineTest, OnTheCardsClockThePositionIsWhatTheCardPlayed) {
  engine.SetDeviceClocked(true);
  const HSTREAM s = engine.StreamCreateFile(0, ToneWav("a.wav", 3).c_str(), 0, 0, 0);
  ASSERT_NE(s, 0u);
  ASSERT_EQ(engine.ChannelPlay(s, kBassTrue), 1);
  QWORD last = 0;
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < 300ms) {
    const QWORD now = engine.ChannelGetPosition(s);
    ASSERT_GE(now, last);
    last = now;
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(engine.ChannelStop(s), 1);
  engine.StreamFree(s);
  ExpectPlaysOnTheClock(engine, ToneWav("b.wav", 3), 400ms);
  // A seek is heard at once.
  const HSTREAM t = engine.StreamCreateFile(0, ToneWav("c.wav", 3).c_str(), 0, 0, 0);
  ASSERT_EQ(engine.ChannelPlay(t, kBassTrue), 1);
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(engine.ChannelSetPosition(t, 88200 * 4), 1);
  const QWORD moved = engine.ChannelGetPosition(t);
  EXPECT_GE(moved, 88200u * 4);
  EXPECT_LT(moved, 90000u * 4);
}

TEST_F(AudioEngineTest, PauseHoldsThePositionSeekMovesItAndTheEndStops) {
  const HSTREAM s = engine.StreamCreateFile(0, ToneWav("a.wav", 0.5).c_str(), 0, 0, 0);
  ASSERT_NE(s, 0u);
  EXPECT_EQ(engine.ChannelPause(s), 0);  // not playing
  ASSERT_EQ(engine.ChannelSetPosition(s, 4410 * 4), 1);
  EXPECT_EQ(engine.ChannelGetPosition(s), 4410u * 4);
  EXPECT_EQ(engine.ChannelSetPosition(s, 30000 * 4), 0);
  EXPECT_EQ(engine.ErrorGetCode(), kBassErrorPosition);

  ASSERT_EQ(engine.ChannelPlay(s, kBassTrue), 1);
  std::this_thread::sleep_for(150ms);
  ASSERT_EQ(engine.ChannelPause(s), 1);
  EXPECT_EQ(engine.ChannelIsActive(s), kActivePaused);
  const QWORD paused = engine.ChannelGetPosition(s);
  EXPECT_GT(paused, 4410u * 4);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(engine.ChannelGetPosition(s), paused);

  ASSERT_EQ(engine.ChannelPlay(s, 0), 1);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(engine.ChannelIsActive(s), kActiveStopped);
  EXPECT_EQ(engine.ChannelGetPosition(s), engine.StreamGetLength(s));
  // Restarted after its end, the stream plays from the top.
  ASSERT_EQ(engine.ChannelPlay(s, kBassTrue), 1);
  EXPECT_LT(engine.ChannelGetPosition(s), 4410u * 4);
}

TEST_F(AudioEngineTest, AttributesAndSlides) {
  const HSTREAM s = engine.StreamCreateFile(0, ToneWav("a.wav", 1).c_str(), 0, 0, 0);
  ASSERT_NE(s, 0u);
  ASSERT_EQ(engine.ChannelSetAttributes(s, 22050, 40, -30), 1);
  DWORD freq = 0, volume = 0;
  int32_t pan = 0;
  ASSERT_EQ(engine.ChannelGetAttributes(s, &freq, &volume, &pan), 1);
  EXPECT_EQ(freq, 22050u);
  EXPECT_EQ(volume, 40u);
  EXPECT_EQ(pan, -30);
  ASSERT_EQ(engine.ChannelSetAttributes(s, 0, -1, -101), 1);  // 0: the file's own rate
  ASSERT_EQ(engine.ChannelGetAttributes(s, &freq, &volume, &pan), 1);
  EXPECT_EQ(freq, 44100u);
  EXPECT_EQ(volume, 40u);
  EXPECT_EQ(pan, -30);
  EXPECT_EQ(engine.ChannelSetAttributes(s, -1, 101, -101), 0);
  EXPECT_EQ(engine.ChannelSetAttributes(s, 50, -1, -101), 0);
  EXPECT_EQ(engine.ChannelSetAttributes(s, -1, -1, 100), 1);

  EXPECT_EQ(engine.ChannelIsSliding(s), 0u);
  ASSERT_EQ(engine.ChannelSlideAttributes(s, -1, 100, -101, 150), 1);
  EXPECT_EQ(engine.ChannelIsSliding(s), kSlideVolume);
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(engine.ChannelIsSliding(s), 0u);
  ASSERT_EQ(engine.ChannelGetAttributes(s, nullptr, &volume, nullptr), 1);
  EXPECT_EQ(volume, 100u);

  // -2 fades out and then stops the channel.
  ASSERT_EQ(engine.ChannelPlay(s, kBassTrue), 1);
  ASSERT_EQ(engine.ChannelSlideAttributes(s, -1, -2, -101, 100), 1);
  EXPECT_EQ(engine.ChannelIsActive(s), kActivePlaying);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(engine.ChannelIsActive(s), kActiveStopped);
}

struct DspCount {
  std::atomic<int> calls{0};
  std::atomic<DWORD> lastLength{0};
};

void CountingDsp(HDSP, DWORD, void*, DWORD length, void* user) {
  auto* count = static_cast<DspCount*>(user);
  count->calls.fetch_add(1);
  count->lastLength.store(length);
}

TEST_F(AudioEngineTest, DspRoutinesRunOnThePlayingChannelOnly) {
  engine.SetConfig(kConfigFloatDsp, 1);
  const HSTREAM s = engine.StreamCreateFile(0, ToneWav("a.wav", 2).c_str(), 0, 0, 0);
  DspCount count;
  const HDSP dsp = engine.ChannelSetDSP(s, &CountingDsp, &count, 3);
  ASSERT_NE(dsp, 0u);
  std::this_thread::sleep_for(80ms);
  EXPECT_EQ(count.calls.load(), 0);
  ASSERT_EQ(engine.ChannelPlay(s, kBassTrue), 1);
  std::this_thread::sleep_for(150ms);
  EXPECT_GT(count.calls.load(), 0);
  EXPECT_EQ(count.lastLength.load(), AudioEngine::kBufferFrames * 2 * sizeof(float));
  ASSERT_EQ(engine.ChannelRemoveDSP(s, dsp), 1);
  std::this_thread::sleep_for(50ms);
  const int after = count.calls.load();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(count.calls.load(), after);
  EXPECT_EQ(engine.ChannelRemoveDSP(s, dsp), 0);
}

TEST(AudioBindingTest, BindsEveryEntryByNameAndReleasesThem) {
  AudioEngine engine;
  AudioBinding binding(engine);
  binding.Bind();
  const AudioEntryTable& t = binding.Table();
  EXPECT_EQ(t.Library, &engine);
  size_t bound = 0;
#define LUMAREX_COUNT_BOUND(result, name, params) bound += t.name != nullptr ? 1 : 0;
  LUMAREX_BASS_ENTRIES(LUMAREX_COUNT_BOUND)
#undef LUMAREX_COUNT_BOUND
  EXPECT_EQ(bound, kAudioEntryCount);
  ASSERT_EQ(AudioEngineExports().size(), kAudioEntryCount);
  for (size_t i = 0; i < kAudioEntryCount; ++i) {
    EXPECT_EQ(AudioEngineExports()[i].name, kAudioEntryNames[i]);
  }

  EXPECT_EQ(t.BASS_GetVersion(t.Library), 0x00010002u);
  // Calls the engine does not offer answer with the failure values.
  EXPECT_EQ(t.BASS_SampleLoad(t.Library, 0, "x.wav", 0, 0, 1, 0), 0u);
  EXPECT_EQ(t.BASS_ErrorGetCode(t.Library), kBassErrorNotAvail);
  EXPECT_EQ(t.BASS_MusicLoad(t.Library, 0, "x.mod", 0, 0, 0x8200, 0), 0u);
  EXPECT_EQ(t.BASS_ErrorGetCode(t.Library), kBassErrorNotAvail);
  EXPECT_EQ(t.BASS_GetVolume(t.Library), ~DWORD{0});

  binding.Bind();  // a second run does nothing
  EXPECT_EQ(t.BASS_Init, binding.Table().BASS_Init);
  binding.Release();
  EXPECT_EQ(t.Library, nullptr);
  EXPECT_EQ(t.BASS_GetVersion, nullptr);
  EXPECT_EQ(t.BASS_FXGetParameters, nullptr);
}

}  // namespace
}  // namespace lumarex
