#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "music/bass_api.h"
#include "music/sound_effects.h"
#include "platform/desktop_services.h"

namespace lumarex {

enum class TPlayerStatus : uint8_t { sndStopped, sndPlaying, sndStalled, sndPaused, sndNotLoaded };

// 2049 words of which the library fills the first 512: one stereo pair of signed 16-bit
// samples per word, left in the low half.
inline constexpr size_t kWaveBufferWords = 2049;
using WaveBuffer = std::array<uint32_t, kWaveBufferWords>;

// The music player component: plays the music file of a show through the audio entry table,
// and nothing else. Positions and lengths are whole seconds. Every call comes from the
// user-interface thread; the library plays on threads of its own.
class TBassdllPlayer {
 public:
  static constexpr const char* kUnitName = "BassDLLPlayer";
  static constexpr const char* kVersionText = "1.26";
  static constexpr uint32_t kFadeTimerIntervalMs = 500;

  // Checks the library version and starts the library. When a check fails the error box has
  // been shown and StartupFailed() is true: the owner ends the program at once.
  TBassdllPlayer(const AudioEntryTable& bass, DesktopServices& desktop);
  ~TBassdllPlayer();
  TBassdllPlayer(const TBassdllPlayer&) = delete;
  TBassdllPlayer& operator=(const TBassdllPlayer&) = delete;

  bool StartupFailed() const { return startupFailed_; }

  void LoadFromFile(const std::string& fileName);
  void UnloadChannel();
  void Play();
  void Stop();
  void Pause();
  TPlayerStatus Status() const;

  int32_t Position() const;
  void SetPosition(int32_t seconds);
  // The same in milliseconds, for a player that follows timecode (streams only: a tracker
  // module answers 0 and is not moved).
  int64_t PositionMs() const;
  void SetPositionMs(int64_t ms);
  int32_t SongLength() const;
  // The music runs on the sound card's clock and its position is what the card has played
  // (for a show that takes its time from the music); off, it follows the wall clock.
  void SetDeviceClocked(bool on);
  // Fills `buffer` with the most recent 2048 bytes while playing (zeros when fewer came);
  // leaves it alone otherwise.
  void GetWaveData(WaveBuffer& buffer) const;

  uint8_t Volume() const;
  void SetVolume(uint32_t volume);
  int32_t PlaybackSpeed() const { return playbackSpeed_; }
  void SetPlaybackSpeed(int32_t percent);
  int32_t Balance() const { return balance_; }
  void SetBalance(int32_t balance);
  uint16_t LeftPeak() const;
  uint16_t RightPeak() const;
  float CpuUsage() const;

  bool FadeOut() const { return fadeOut_; }
  void SetFadeOut(bool on);
  int32_t FadeOutTime() const { return fadeOutTime_; }
  void SetFadeOutTime(int32_t seconds) { fadeOutTime_ = seconds; }
  // The fade timer: the owner calls FadeTimerTick every kFadeTimerIntervalMs while enabled.
  bool FadeTimerEnabled() const { return fadeTimerEnabled_; }
  void FadeTimerTick();

  bool Rotate() const { return rotate_.on; }
  void SetRotate(bool on) { SwitchEffect(rotate_, on); }
  bool Echo() const { return echo_.on; }
  void SetEcho(bool on) { SwitchEffect(echo_, on); }
  bool Flanger() const { return flanger_.on; }
  void SetFlanger(bool on) { SwitchEffect(flanger_, on); }

  DWORD Channel = 0;
  uint8_t ChannelKind = 0;  // 0 stream, 1 tracker module
  int32_t ModuleBaseSpeed = 0;

 private:
  struct EffectSwitch {
    bool on = false;
    HDSP handle = 0;
    int32_t priority = 0;
    DSPPROC* proc = nullptr;
    void* state = nullptr;
  };

  void SwitchEffect(EffectSwitch& effect, bool on);
  void AttachEffect(EffectSwitch& effect);
  void ResetEffectState(const EffectSwitch& effect);
  void ReportFatal(const std::string& text);

  const AudioEntryTable& bass_;
  AudioEngine* lib_;
  DesktopServices& desktop_;
  bool startupFailed_ = false;
  int32_t playbackSpeed_ = 100;
  int32_t balance_ = 0;
  bool fadeOut_ = false;
  int32_t fadeOutTime_ = 10;
  bool fadeTimerEnabled_ = false;
  uint32_t channelRate_ = 44100;
  RotateEffect rotateState_;
  EchoEffect echoState_;
  FlangerEffect flangerState_;
  EffectSwitch rotate_{false, 0, 4, &RotateEffect::Process, &rotateState_};
  EffectSwitch echo_{false, 0, 3, &EchoEffect::Process, &echoState_};
  EffectSwitch flanger_{false, 0, 2, &FlangerEffect::Process, &flangerState_};
};

}  // namespace lumarex
