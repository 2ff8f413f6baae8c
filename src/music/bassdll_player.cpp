#include "music/bassdll_player.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "music/audio_engine.h"

namespace lumarex {

namespace {

constexpr DWORD kRequiredVersion = 0x00010002;  // 2.1
constexpr DWORD kMusicFlags = 0x8200;           // length calculation and ramping
constexpr DWORD kMusicAttribSpeed = 4;
constexpr DWORD kMusicAttribVolChannel = 256;
constexpr DWORD kMaxModuleChannels = 256;
constexpr int32_t kLeave = -1;
constexpr int32_t kLeavePan = -101;
constexpr int32_t kFadeAndStop = -2;
constexpr DWORD kWaveBytes = 2048;

// An absent entry point answers like a failing one: zero, or nothing.
template <typename R, typename... P, typename... A>
R Call(R (*fn)(AudioEngine*, P...), AudioEngine* lib, A... args) {
  if (fn == nullptr) return R{};
  return fn(lib, static_cast<P>(args)...);
}

template <typename... P, typename... A>
void Call(void (*fn)(AudioEngine*, P...), AudioEngine* lib, A... args) {
  if (fn != nullptr) fn(lib, static_cast<P>(args)...);
}

// Round half to even, as the component's arithmetic has always rounded.
int32_t RoundToInt(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int32_t>(std::clamp(std::nearbyint(value), -2147483648.0, 2147483647.0));
}

std::string UpperExtension(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

bool IsModuleExtension(const std::string& ext) {
  static constexpr const char* kModules[] = {".MO3", ".IT", ".XM", ".S3M", ".MTM", ".MOD", ".UMX"};
  return std::any_of(std::begin(kModules), std::end(kModules),
                     [&ext](const char* m) { return ext == m; });
}

}  // namespace

TBassdllPlayer::TBassdllPlayer(const AudioEntryTable& bass, DesktopServices& desktop)
    : bass_(bass), lib_(bass.Library), desktop_(desktop) {
  // A library that is missing, or lacks its version entry, is as unusable as a wrong one.
  if (bass_.BASS_GetVersion == nullptr || Call(bass_.BASS_GetVersion, lib_) != kRequiredVersion) {
    ReportFatal("Falsche Version der BASS.DLL (benötigt wird 2.1)");
    return;
  }
  Call(bass_.BASS_SetConfig, lib_, 9, 1);
  Call(bass_.BASS_Init, lib_, 1, 44100, 0, nullptr, nullptr);
  if (Call(bass_.BASS_RecordInit, lib_, 0) == 0) {
    Call(bass_.BASS_RecordFree, lib_);
    Call(bass_.BASS_Free, lib_);
    ReportFatal("Die standard Aufnahmequelle kann nicht gestarted werden.");
    return;
  }
  ChannelKind = 0;
  fadeOutTime_ = 10;
  SetVolume(100);
}

TBassdllPlayer::~TBassdllPlayer() {
  if (startupFailed_) return;
  fadeTimerEnabled_ = false;
  Call(bass_.BASS_RecordFree, lib_);
  UnloadChannel();
  Call(bass_.BASS_Stop, lib_);
  Call(bass_.BASS_Free, lib_);
}

void TBassdllPlayer::ReportFatal(const std::string& text) {
  startupFailed_ = true;
  desktop_.ShowErrorMessage(std::string("Unit: ") + kUnitName + " " + kVersionText, text);
}

void TBassdllPlayer::UnloadChannel() {
  if (Status() != TPlayerStatus::sndStopped) Stop();
  if (Channel != 0) {
    if (ChannelKind == 0) {
      Call(bass_.BASS_StreamFree, lib_, Channel);
    } else {
      Call(bass_.BASS_MusicFree, lib_, Channel);
    }
    // The handle is dead now; keeping it would let later calls reach a reused handle.
    Channel = 0;
  }
  rotate_.handle = echo_.handle = flanger_.handle = 0;
}

void TBassdllPlayer::LoadFromFile(const std::string& fileName) {
  UnloadChannel();
  if (IsModuleExtension(UpperExtension(fileName))) {
    Channel = Call(bass_.BASS_MusicLoad, lib_, 0, fileName.c_str(), 0, 0, kMusicFlags, 0);
    ModuleBaseSpeed =
        static_cast<int32_t>(Call(bass_.BASS_MusicGetAttribute, lib_, Channel, kMusicAttribSpeed));
    ChannelKind = 1;
  } else {
    Channel = Call(bass_.BASS_StreamCreateFile, lib_, 0, fileName.c_str(), 0, 0, 0);
    ChannelKind = 0;
    // The playback speed scales the file's own rate, so a 48 kHz file at 100 % stays at pitch.
    DWORD rate = 0;
    channelRate_ = 44100;
    if (Channel != 0 &&
        Call(bass_.BASS_ChannelGetAttributes, lib_, Channel, &rate, nullptr, nullptr) != 0 &&
        rate > 0) {
      channelRate_ = rate;
    }
  }
  if (playbackSpeed_ != 100) SetPlaybackSpeed(playbackSpeed_);
  if (balance_ != 0) SetBalance(balance_);
  for (EffectSwitch* effect : {&rotate_, &echo_, &flanger_}) {
    if (effect->on) AttachEffect(*effect);
  }
  if (fadeOut_) {
    fadeTimerEnabled_ = true;
    const int32_t volume = Volume();
    Call(bass_.BASS_ChannelSetAttributes, lib_, Channel, kLeave, 0, kLeavePan);
    Call(bass_.BASS_ChannelSlideAttributes, lib_, Channel, kLeave, volume, kLeavePan,
         static_cast<DWORD>(fadeOutTime_) * 1000);
  }
}

void TBassdllPlayer::Play() {
  // Decided on the channel's own activity: Status() counts a running volume slide as playing,
  // and with fade-out on, the fade-in that every load starts would keep Play from starting.
  if (Call(bass_.BASS_ChannelIsActive, lib_, Channel) == kActiveStopped) {
    Call(bass_.BASS_ChannelPlay, lib_, Channel, kBassTrue);
  }
  const DWORD active = Call(bass_.BASS_ChannelIsActive, lib_, Channel);
  if (active == kActiveStalled || active == kActivePaused) {
    Call(bass_.BASS_ChannelPlay, lib_, Channel, 0);
  }
}

void TBassdllPlayer::Stop() {
  Call(bass_.BASS_ChannelStop, lib_, Channel);
  if (ChannelKind == 0) SetPosition(0);
}

void TBassdllPlayer::Pause() {
  Call(bass_.BASS_ChannelPause, lib_, Channel);
}

TPlayerStatus TBassdllPlayer::Status() const {
  if (Call(bass_.BASS_ChannelIsSliding, lib_, Channel) == kSlideVolume) {
    return TPlayerStatus::sndPlaying;
  }
  switch (Call(bass_.BASS_ChannelIsActive, lib_, Channel)) {
    case kActivePlaying:
      return TPlayerStatus::sndPlaying;
    case kActiveStalled:
      return TPlayerStatus::sndStalled;
    case kActivePaused:
      return TPlayerStatus::sndPaused;
    default:
      return TPlayerStatus::sndStopped;
  }
}

int32_t TBassdllPlayer::Position() const {
  if (Channel == 0) return 0;
  const QWORD bytes = Call(bass_.BASS_ChannelGetPosition, lib_, Channel);
  return RoundToInt(Call(bass_.BASS_ChannelBytes2Seconds, lib_, Channel, bytes));
}

int64_t TBassdllPlayer::PositionMs() const {
  if (Channel == 0 || ChannelKind != 0) return 0;
  const QWORD bytes = Call(bass_.BASS_ChannelGetPosition, lib_, Channel);
  return static_cast<int64_t>(Call(bass_.BASS_ChannelBytes2Seconds, lib_, Channel, bytes) *
                              1000.0f);
}

void TBassdllPlayer::SetPositionMs(int64_t ms) {
  if (Channel == 0 || ChannelKind != 0 || ms < 0) return;
  const QWORD bytes = Call(bass_.BASS_ChannelSeconds2Bytes, lib_, Channel,
                           static_cast<float>(static_cast<double>(ms) / 1000.0));
  Call(bass_.BASS_ChannelSetPosition, lib_, Channel, bytes);
}

void TBassdllPlayer::SetDeviceClocked(bool on) {
  if (lib_ != nullptr) lib_->SetDeviceClocked(on);
}

void TBassdllPlayer::SetPosition(int32_t seconds) {
  if (Channel == 0) return;
  if (ChannelKind == 0) {
    const QWORD bytes =
        Call(bass_.BASS_ChannelSeconds2Bytes, lib_, Channel, static_cast<float>(seconds));
    Call(bass_.BASS_ChannelSetPosition, lib_, Channel, bytes);
  } else {
    const auto scaled = static_cast<uint32_t>(RoundToInt(seconds * playbackSpeed_ / 100.0));
    Call(bass_.BASS_ChannelSetPosition, lib_, Channel, QWORD{0xFFFF0000u | (scaled & 0xFFFFu)});
  }
}

int32_t TBassdllPlayer::SongLength() const {
  if (Channel == 0) return 0;
  const QWORD bytes = ChannelKind == 0 ? Call(bass_.BASS_StreamGetLength, lib_, Channel)
                                       : Call(bass_.BASS_MusicGetLength, lib_, Channel, kBassTrue);
  return RoundToInt(Call(bass_.BASS_ChannelBytes2Seconds, lib_, Channel, bytes));
}

void TBassdllPlayer::GetWaveData(WaveBuffer& buffer) const {
  if (Status() != TPlayerStatus::sndPlaying) return;
  if (Call(bass_.BASS_ChannelGetData, lib_, Channel, buffer.data(), kWaveBytes) != kWaveBytes) {
    buffer.fill(0);
  }
}

uint8_t TBassdllPlayer::Volume() const {
  const DWORD value =
      ChannelKind == 0 ? Call(bass_.BASS_GetConfig, lib_, kConfigStreamVolume)
                       : Call(bass_.BASS_MusicGetAttribute, lib_, Channel, kMusicAttribVolChannel);
  return static_cast<uint8_t>(value & 0xFFu);
}

void TBassdllPlayer::SetVolume(uint32_t volume) {
  volume = std::min<uint32_t>(volume, 100);
  if (ChannelKind == 0) {
    Call(bass_.BASS_SetConfig, lib_, kConfigStreamVolume, volume);
    return;
  }
  // Bounded: a library that never reports the end of the channel list must not hang us.
  for (DWORD n = 0; n < kMaxModuleChannels; ++n) {
    if (Call(bass_.BASS_MusicSetAttribute, lib_, Channel, kMusicAttribVolChannel + n, 1) ==
        ~DWORD{0}) {
      break;
    }
    Call(bass_.BASS_MusicSetAttribute, lib_, Channel, kMusicAttribVolChannel + n, volume);
  }
}

void TBassdllPlayer::SetPlaybackSpeed(int32_t percent) {
  if (percent == 0) percent = 100;
  if (ChannelKind == 0) {
    const int32_t frequency = RoundToInt(percent / 100.0 * channelRate_);
    if (frequency > 100 && frequency < 100000) {
      Call(bass_.BASS_ChannelSetAttributes, lib_, Channel, frequency, kLeave, kLeavePan);
    }
  } else {
    Call(bass_.BASS_MusicSetAttribute, lib_, Channel, kMusicAttribSpeed,
         RoundToInt(ModuleBaseSpeed * percent / 100.0));
  }
  playbackSpeed_ = percent;
}

void TBassdllPlayer::SetBalance(int32_t balance) {
  Call(bass_.BASS_ChannelSetAttributes, lib_, Channel, kLeave, kLeave, balance);
  balance_ = balance;
}

uint16_t TBassdllPlayer::LeftPeak() const {
  return static_cast<uint16_t>(Call(bass_.BASS_ChannelGetLevel, lib_, Channel) & 0xFFFFu);
}

uint16_t TBassdllPlayer::RightPeak() const {
  return static_cast<uint16_t>(Call(bass_.BASS_ChannelGetLevel, lib_, Channel) >> 16);
}

float TBassdllPlayer::CpuUsage() const {
  return Call(bass_.BASS_GetCPU, lib_);
}

void TBassdllPlayer::SetFadeOut(bool on) {
  fadeOut_ = on;
  fadeTimerEnabled_ = on && Channel != 0;
}

void TBassdllPlayer::FadeTimerTick() {
  if (!fadeTimerEnabled_) return;
  const int32_t length = SongLength();
  if (length - Position() <= fadeOutTime_ && 2 * length > fadeOutTime_) {
    Call(bass_.BASS_ChannelSlideAttributes, lib_, Channel, kLeave, kFadeAndStop, kLeavePan,
         static_cast<DWORD>(fadeOutTime_) * 1000);
    fadeTimerEnabled_ = false;
  }
}

void TBassdllPlayer::ResetEffectState(const EffectSwitch& effect) {
  if (effect.state == &rotateState_) rotateState_ = RotateEffect{};
  if (effect.state == &echoState_) echoState_ = EchoEffect{};
  if (effect.state == &flangerState_) flangerState_ = FlangerEffect{};
}

void TBassdllPlayer::AttachEffect(EffectSwitch& effect) {
  ResetEffectState(effect);
  effect.handle =
      Call(bass_.BASS_ChannelSetDSP, lib_, Channel, effect.proc, effect.state, effect.priority);
}

void TBassdllPlayer::SwitchEffect(EffectSwitch& effect, bool on) {
  if (on == effect.on) return;
  effect.on = on;
  if (on) {
    AttachEffect(effect);
  } else {
    Call(bass_.BASS_ChannelRemoveDSP, lib_, Channel, effect.handle);
    effect.handle = 0;
  }
}

}  // namespace lumarex
