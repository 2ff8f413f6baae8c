#include "music/bassdll_player.h"

#include <chrono>
#include <thread>
#include <utility>

#include "music/audio_binding.h"
#include "music/audio_engine.h"
#include "tests/music/test_audio.h"

namespace lumarex {
namespace {

using namespace std::chrono_literals;

class RecordingDesktop final : public DesktopServices {
 public:
  void ShowMessage(const std::string& text) override { messages.emplace_back("", text); }
  void ShowErrorMessage(const std::string& caption, const std::string& text) override {
    messages.emplace_back(caption, text);
  }
  std::vector<std::pair<std::string, std::string>> messages;
};

class PlayerTest : public test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    binding.Bind();
  }

  AudioEngine engine;
  AudioBinding binding{engine};
  RecordingDesktop desktop;
};

TEST_F(PlayerTest, StartsTheLibraryAtConstruction) {
  TBassdllPlayer player(binding.Table(), desktop);
  EXPECT_FALSE(player.StartupFailed());
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_TRUE(engine.IsInitialised());
  EXPECT_EQ(engine.GetConfig(kConfigFloatDsp), 1u);
  EXPECT_EQ(engine.GetConfig(kConfigStreamVolume), 100u);
  EXPECT_EQ(player.FadeOutTime(), 10);
  EXPECT_EQ(player.PlaybackSpeed(), 100);
  EXPECT_FALSE(player.FadeTimerEnabled());
}

TEST_F(PlayerTest, AMissingOrWrongLibraryIsReportedAsAWrongVersion) {
  const std::pair<std::string, std::string> wrongVersion{
      "Unit: BassDLLPlayer 1.26", "Falsche Version der BASS.DLL (benötigt wird 2.1)"};
  {
    const AudioEntryTable none;
    TBassdllPlayer player(none, desktop);
    EXPECT_TRUE(player.StartupFailed());
    player.LoadFromFile(ToneWav("a.wav", 1));  // calls on an absent library do nothing
    EXPECT_EQ(player.Status(), TPlayerStatus::sndStopped);
  }
  {
    AudioEntryTable wrong = binding.Table();
    wrong.BASS_GetVersion = [](AudioEngine*) -> DWORD { return 0x00000102; };
    TBassdllPlayer player(wrong, desktop);
    EXPECT_TRUE(player.StartupFailed());
    EXPECT_FALSE(engine.IsInitialised());
  }
  ASSERT_EQ(desktop.messages.size(), 2u);
  EXPECT_EQ(desktop.messages[0], wrongVersion);
  EXPECT_EQ(desktop.messages[1], wrongVersion);

  AudioEntryTable noRecording = binding.Table();
  noRecording.BASS_RecordInit = [](AudioEngine*, int32_t) -> BOOL { return 0; };
  TBassdllPlayer player(noRecording, desktop);
  EXPECT_TRUE(player.StartupFailed());
  EXPECT_FALSE(engine.IsInitialised());  // freed again
  ASSERT_EQ(desktop.messages.size(), 3u);
  EXPECT_EQ(desktop.messages[2].second, "Die standard Aufnahmequelle kann nicht gestarted werden.");
}

TEST_F(PlayerTest, WithoutAFileEverythingIsInert) {
  TBassdllPlayer player(binding.Table(), desktop);
  player.SetPosition(0);
  EXPECT_EQ(player.Position(), 0);
  EXPECT_EQ(player.SongLength(), 0);
  player.Play();
  EXPECT_EQ(player.Status(), TPlayerStatus::sndStopped);
  player.LoadFromFile(Path("missing.wav"));
  EXPECT_EQ(player.Channel, 0u);
  EXPECT_EQ(player.SongLength(), 0);
}

TEST_F(PlayerTest, PlayStopPauseAndPosition) {
  TBassdllPlayer player(binding.Table(), desktop);
  player.LoadFromFile(ToneWav("show.wav", 4.3));
  ASSERT_NE(player.Channel, 0u);
  EXPECT_EQ(player.ChannelKind, 0);
  EXPECT_EQ(player.SongLength(), 4);
  EXPECT_EQ(player.Status(), TPlayerStatus::sndStopped);

  player.Play();
  EXPECT_EQ(player.Status(), TPlayerStatus::sndPlaying);
  player.SetPosition(2);
  EXPECT_EQ(player.Position(), 2);
  std::this_thread::sleep_for(600ms);
  EXPECT_EQ(player.Position(), 3);  // 2.6 s

  player.Pause();
  EXPECT_EQ(player.Status(), TPlayerStatus::sndPaused);
  const QWORD pausedAt = engine.ChannelGetPosition(player.Channel);
  player.Play();
  EXPECT_EQ(player.Status(), TPlayerStatus::sndPlaying);
  EXPECT_GE(engine.ChannelGetPosition(player.Channel), pausedAt);

  player.Stop();
  EXPECT_EQ(player.Status(), TPlayerStatus::sndStopped);
  EXPECT_EQ(engine.ChannelGetPosition(player.Channel), 0u);
  player.Play();
  EXPECT_EQ(player.Status(), TPlayerStatus::sndPlaying);
  EXPECT_LT(engine.ChannelGetPosition(player.Channel), 44100u * 4 / 10);
}

TEST_F(PlayerTest, GetWaveDataHandsOverThePlayingSamplesOnly) {
  TBassdllPlayer player(binding.Table(), desktop);
  player.LoadFromFile(ToneWav("show.wav", 3));
  WaveBuffer wave;
  wave.fill(0xDEADBEEF);
  player.GetWaveData(wave);  // stopped
  EXPECT_EQ(wave[0], 0xDEADBEEF);

  player.Play();
  player.SetPosition(1);
  std::this_thread::sleep_for(200ms);
  player.GetWaveData(wave);
  const QWORD end = engine.ChannelGetPosition(player.Channel) / 4;
  // 512 consecutive frames of the tone, ending close to the play position.
  const auto left0 = static_cast<int16_t>(wave[0] & 0xFFFF);
  const int64_t first = 44100 - 44100 % test::kSawPeriod + left0 + test::kSawPeriod / 2;
  for (size_t i = 0; i < 512; ++i) {
    const int64_t f = first + static_cast<int64_t>(i);
    ASSERT_EQ(static_cast<int16_t>(wave[i] & 0xFFFF), test::ToneLeft(f)) << i;
    ASSERT_EQ(static_cast<int16_t>(wave[i] >> 16), test::ToneRight(f)) << i;
  }
  EXPECT_NEAR(static_cast<double>(first + 512), static_cast<double>(end), 0.03 * 44100);
  EXPECT_EQ(wave[512], 0xDEADBEEF);  // the library fills 2048 bytes only

  player.Pause();
  wave.fill(0x01020304);
  player.GetWaveData(wave);
  EXPECT_EQ(wave[0], 0x01020304u);
}

TEST_F(PlayerTest, ModulesAreChosenByTheUpperCasedExtension) {
  TBassdllPlayer player(binding.Table(), desktop);
  const std::string tone = ToneWav("tone.wav", 1);
  std::filesystem::copy_file(tone, Path("song.mod"));
  player.LoadFromFile(Path("song.mod"));
  EXPECT_EQ(player.ChannelKind, 1);
  EXPECT_EQ(player.Channel, 0u);  // this engine plays no tracker modules
  EXPECT_EQ(player.SongLength(), 0);

  player.LoadFromFile(tone);
  EXPECT_EQ(player.ChannelKind, 0);
  EXPECT_NE(player.Channel, 0u);

  std::filesystem::create_directory(Path("set.mod"));
  std::filesystem::copy_file(tone, Path("set.mod/music.Wav"));
  player.LoadFromFile(Path("set.mod/music.Wav"));
  EXPECT_EQ(player.ChannelKind, 0);
  EXPECT_EQ(player.SongLength(), 1);
}

TEST_F(PlayerTest, Mp3FilesGetTheirExactLength) {
  const std::string wav = ToneWav("tone.wav", 3);
  const std::string cbr = Path("cbr.mp3");
  const std::string vbr = Path("vbr.mp3");
  // -t: no Xing/Info frame, so only a full scan finds the length of the VBR file.
  if (!test::EncodeMp3(wav, cbr, "-b 128") || !test::EncodeMp3(wav, vbr, "-V 2 -t")) {
    GTEST_SKIP() << "lame is not installed";
  }
  TBassdllPlayer player(binding.Table(), desktop);
  player.LoadFromFile(cbr);
  ASSERT_NE(player.Channel, 0u);
  EXPECT_EQ(player.SongLength(), 3);
  player.LoadFromFile(vbr);
  ASSERT_NE(player.Channel, 0u);
  EXPECT_EQ(player.SongLength(), 3);
  // Without the encoder's gapless note the decoder delay and the last frame's padding stay.
  const auto frames = static_cast<double>(engine.StreamGetLength(player.Channel) / 4);
  EXPECT_NEAR(frames, 3 * 44100, 2 * 1152);
  player.Play();
  EXPECT_EQ(player.Status(), TPlayerStatus::sndPlaying);
}

TEST_F(PlayerTest, VolumeSpeedAndBalanceReachTheEngine) {
  TBassdllPlayer player(binding.Table(), desktop);
  player.SetVolume(40);
  EXPECT_EQ(engine.GetConfig(kConfigStreamVolume), 40u);
  EXPECT_EQ(player.Volume(), 40);
  player.SetVolume(250);
  EXPECT_EQ(player.Volume(), 100);

  player.SetBalance(-50);
  player.SetPlaybackSpeed(50);
  player.LoadFromFile(ToneWav("tone.wav", 1));  // both are applied again to the new channel
  DWORD freq = 0;
  int32_t pan = 0;
  ASSERT_EQ(engine.ChannelGetAttributes(player.Channel, &freq, nullptr, &pan), 1);
  EXPECT_EQ(pan, -50);
  EXPECT_EQ(freq, 22050u);
  player.SetBalance(25);
  player.SetPlaybackSpeed(0);  // taken as 100
  ASSERT_EQ(engine.ChannelGetAttributes(player.Channel, &freq, nullptr, &pan), 1);
  EXPECT_EQ(pan, 25);
  EXPECT_EQ(freq, 44100u);
  EXPECT_EQ(player.PlaybackSpeed(), 100);

  // The speed scales the file's own rate.
  player.SetPlaybackSpeed(150);
  player.LoadFromFile(ToneWav("tone48.wav", 1, 48000));
  ASSERT_EQ(engine.ChannelGetAttributes(player.Channel, &freq, nullptr, nullptr), 1);
  EXPECT_EQ(freq, 72000u);
  player.SetPlaybackSpeed(5000);  // 2.4 MHz lies outside the library's range: left alone
  ASSERT_EQ(engine.ChannelGetAttributes(player.Channel, &freq, nullptr, nullptr), 1);
  EXPECT_EQ(freq, 72000u);
}

TEST_F(PlayerTest, FadeInOnLoadAndFadeOutNearTheEnd) {
  TBassdllPlayer player(binding.Table(), desktop);
  player.SetFadeOut(true);
  player.SetFadeOutTime(1);
  player.LoadFromFile(ToneWav("tone.wav", 3));
  EXPECT_TRUE(player.FadeTimerEnabled());
  EXPECT_EQ(engine.ChannelIsSliding(player.Channel), kSlideVolume);
  EXPECT_EQ(player.Status(), TPlayerStatus::sndPlaying);  // a running slide counts as playing
  player.Play();
  EXPECT_EQ(engine.ChannelIsActive(player.Channel), kActivePlaying);

  player.FadeTimerTick();  // 3 s to go: too early
  EXPECT_TRUE(player.FadeTimerEnabled());
  std::this_thread::sleep_for(1100ms);  // the fade-in is over
  ASSERT_EQ(engine.ChannelIsSliding(player.Channel), 0u);
  player.SetPosition(2);
  player.FadeTimerTick();
  EXPECT_FALSE(player.FadeTimerEnabled());
  std::this_thread::sleep_for(500ms);
  DWORD volume = 0;
  ASSERT_EQ(engine.ChannelGetAttributes(player.Channel, nullptr, &volume, nullptr), 1);
  EXPECT_GT(volume, 10u);
  EXPECT_LT(volume, 90u);
  EXPECT_EQ(player.Status(), TPlayerStatus::sndPlaying);
  std::this_thread::sleep_for(700ms);
  EXPECT_EQ(player.Status(), TPlayerStatus::sndStopped);
}

// A stand-in library that records what the component asks of it.
struct FakeLibrary {
  DWORD active = kActiveStopped;
  DWORD sliding = 0;
  std::vector<std::pair<void*, int32_t>> dspAdded;
  std::vector<HDSP> dspRemoved;

  static FakeLibrary& Of(AudioEngine* library) { return *reinterpret_cast<FakeLibrary*>(library); }

  AudioEntryTable Table() {
    AudioEntryTable t;
    t.Library = reinterpret_cast<AudioEngine*>(this);
    t.BASS_GetVersion = [](AudioEngine*) -> DWORD { return 0x00010002; };
    t.BASS_RecordInit = [](AudioEngine*, int32_t) -> BOOL { return 1; };
    t.BASS_StreamCreateFile = [](AudioEngine*, BOOL, const void*, DWORD, DWORD, DWORD) -> HSTREAM {
      return 42;
    };
    t.BASS_ChannelIsActive = [](AudioEngine* l, DWORD) { return Of(l).active; };
    t.BASS_ChannelIsSliding = [](AudioEngine* l, DWORD) { return Of(l).sliding; };
    t.BASS_ChannelSetDSP = [](AudioEngine* l, DWORD, DSPPROC*, void* user, int32_t priority) {
      Of(l).dspAdded.emplace_back(user, priority);
      return static_cast<HDSP>(100 + Of(l).dspAdded.size());
    };
    t.BASS_ChannelRemoveDSP = [](AudioEngine* l, DWORD, HDSP dsp) -> BOOL {
      Of(l).dspRemoved.push_back(dsp);
      return 1;
    };
    return t;
  }
};

TEST(PlayerStatusTest, StatusComesFromTheChannelsActivityAndVolumeSlide) {
  FakeLibrary fake;
  const AudioEntryTable table = fake.Table();
  SilentDesktopServices desktop;
  TBassdllPlayer player(table, desktop);
  ASSERT_FALSE(player.StartupFailed());
  const std::pair<DWORD, TPlayerStatus> cases[] = {
      {0, TPlayerStatus::sndStopped}, {1, TPlayerStatus::sndPlaying},
      {2, TPlayerStatus::sndStalled}, {3, TPlayerStatus::sndPaused},
      {4, TPlayerStatus::sndStopped}, {0xFFFFFFFF, TPlayerStatus::sndStopped}};
  for (const auto& [active, status] : cases) {
    fake.active = active;
    EXPECT_EQ(player.Status(), status) << active;
  }
  fake.active = 0;
  fake.sliding = kSlideVolume;
  EXPECT_EQ(player.Status(), TPlayerStatus::sndPlaying);
  fake.sliding = kSlideVolume | kSlidePan;  // only a volume slide alone counts
  EXPECT_EQ(player.Status(), TPlayerStatus::sndStopped);
}

TEST(PlayerEffectsTest, EffectSwitchesAddAndRemoveTheirDspRoutines) {
  FakeLibrary fake;
  const AudioEntryTable table = fake.Table();
  SilentDesktopServices desktop;
  TBassdllPlayer player(table, desktop);
  player.SetRotate(true);
  player.SetEcho(true);
  player.SetFlanger(true);
  ASSERT_EQ(fake.dspAdded.size(), 3u);
  EXPECT_EQ(fake.dspAdded[0].second, 4);
  EXPECT_EQ(fake.dspAdded[1].second, 3);
  EXPECT_EQ(fake.dspAdded[2].second, 2);
  player.SetEcho(false);
  player.SetEcho(false);
  EXPECT_EQ(fake.dspRemoved, std::vector<HDSP>{102});
  player.LoadFromFile("next.wav");  // the switches that are on come back on the new channel
  EXPECT_EQ(fake.dspAdded.size(), 5u);
  EXPECT_TRUE(player.Rotate());
  EXPECT_FALSE(player.Echo());
}

TEST(SoundEffectsTest, EchoRotateAndFlangerShapeTheSignal) {
  std::vector<float> buffer(2 * 1300, 0.0f);
  buffer[0] = 1.0f;  // an impulse on the left
  EchoEffect echo;
  EchoEffect::Process(0, 0, buffer.data(), static_cast<DWORD>(buffer.size() * 4), &echo);
  EXPECT_FLOAT_EQ(buffer[0], 1.0f);
  EXPECT_FLOAT_EQ(buffer[2 * EchoEffect::kFrames + 1], 0.5f);  // comes back on the right
  EXPECT_FLOAT_EQ(buffer[2 * EchoEffect::kFrames], 0.0f);

  std::vector<float> steady(2 * 4, 1.0f);
  RotateEffect rotate;
  RotateEffect::Process(0, 0, steady.data(), static_cast<DWORD>(steady.size() * 4), &rotate);
  EXPECT_FLOAT_EQ(steady[0], 0.0f);  // starts turned fully right
  EXPECT_FLOAT_EQ(steady[1], 1.0f);
  EXPECT_GT(rotate.angle, 0.0);

  std::vector<float> tone(2 * 2000);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = std::sin(static_cast<float>(i) * 0.05f);
  FlangerEffect flanger;
  FlangerEffect::Process(0, 0, tone.data(), static_cast<DWORD>(tone.size() * 4), &flanger);
  for (const float v : tone) ASSERT_LE(std::abs(v), 1.4f);
  EXPECT_NE(flanger.sweep, FlangerEffect::kFrames / 2.0);
}

}  // namespace
}  // namespace lumarex
