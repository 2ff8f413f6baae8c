#include "music/audio_engine.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace lumarex {

namespace {

using Seconds = std::chrono::duration<double>;

constexpr QWORD kNoBytes = ~QWORD{0};
constexpr DWORD kNoValue = ~DWORD{0};
constexpr int32_t kLeaveFrequency = -1;
constexpr int32_t kLeaveVolume = -1;
constexpr int32_t kFadeAndStop = -2;
constexpr int32_t kLeavePan = -101;
constexpr uint32_t kBytesPerFrame = 4;  // 16-bit stereo

struct Slide {
  bool active = false;
  double from = 0;
  double to = 0;
  std::chrono::steady_clock::time_point start;
  double seconds = 0;

  double ValueAt(std::chrono::steady_clock::time_point now) const {
    const double t = Seconds(now - start).count() / seconds;
    if (t >= 1.0) return to;
    if (t <= 0.0) return from;
    return from + (to - from) * t;
  }
  bool DoneAt(std::chrono::steady_clock::time_point now) const {
    return Seconds(now - start).count() >= seconds;
  }
};

}  // namespace

struct AudioEngine::Stream {
  enum class State : uint8_t { kStopped, kPlaying, kPaused };
  struct Dsp {
    HDSP handle;
    DSPPROC* proc;
    void* user;
    int32_t priority;
  };

  HSTREAM handle = 0;
  DecodedAudio audio;
  State state = State::kStopped;
  // The play position in frames: exact while not running, else the value at anchorTime.
  double position = 0;
  bool anchored = false;  // the clock of a running channel has started
  bool resync = false;    // the mixer must jump its cursor to the play position
  SteadyTime anchorTime;
  double cursor = 0;     // the frame the mixer reads next
  double frequency = 0;  // playback rate in Hz (the file's rate unless changed)
  double volume = 100;
  double pan = 0;
  Slide frequencySlide, volumeSlide, panSlide;
  bool stopAfterFade = false;
  std::vector<Dsp> dsps;  // highest priority first
  // Where the card plays it, when the engine runs on the card's clock.
  mutable DeviceClock deviceClock;
};

AudioEngine::AudioEngine() = default;

void AudioEngine::SetDeviceClocked(bool on) {
  std::lock_guard lock(mutex_);
  if (on == deviceClocked_) return;
  const SteadyTime now = std::chrono::steady_clock::now();
  for (auto& stream : streams_) {
    Stream& s = *stream;
    Update(s, now);
    s.position = PlayPosition(s, now);
    s.anchorTime = now;
    s.resync = true;
  }
  deviceClocked_ = on;
}

AudioEngine::~AudioEngine() {
  Free();
}

// ---- configuration and device ----

DWORD AudioEngine::SetConfig(DWORD option, DWORD value) {
  std::lock_guard lock(mutex_);
  switch (option) {
    case 0:
      bufferMs_ = value;
      break;
    case 1:
      updatePeriodMs_ = value;
      break;
    case kConfigStreamVolume:
      streamVolume_ = std::min<DWORD>(value, 100);
      break;
    case kConfigFloatDsp:
      floatDsp_ = value != 0;
      break;
    default:
      SetError(kBassErrorIllParam);
      return kNoValue;
  }
  SetError(kBassOk);
  return value;
}

DWORD AudioEngine::GetConfig(DWORD option) {
  std::lock_guard lock(mutex_);
  SetError(kBassOk);
  switch (option) {
    case 0:
      return bufferMs_;
    case 1:
      return updatePeriodMs_;
    case kConfigStreamVolume:
      return streamVolume_;
    case kConfigFloatDsp:
      return floatDsp_ ? 1 : 0;
    default:
      SetError(kBassErrorIllParam);
      return kNoValue;
  }
}

bool AudioEngine::OpenDevice(const char* deviceName, DWORD freq) {
  SDL_AudioSpec want{};
  want.freq = static_cast<int>(freq);
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = static_cast<Uint16>(kBufferFrames);
  want.callback = &AudioEngine::MixCallback;
  want.userdata = this;
  SDL_AudioSpec have{};
  // No format changes allowed: SDL converts to whatever the hardware wants, so the mixer
  // always works in the rate and layout it asked for.
  const SDL_AudioDeviceID id = SDL_OpenAudioDevice(deviceName, 0, &want, &have, 0);
  if (id == 0) return false;
  device_ = id;
  outputRate_ = static_cast<uint32_t>(have.freq);
  deviceFrames_ = have.samples;
  return true;
}

BOOL AudioEngine::Init(int32_t device, DWORD freq) {
  if (device_ != 0) return Fail(kBassErrorAlready);
  if (device < -1) return Fail(kBassErrorDevice);
  if (freq == 0) freq = 44100;
  if (silent_) device = 0;  // the "no sound" device: the null output, without a word
  if (device == 0) return InitNullOutput(freq);
  std::string reason;
  bool opened = false;
  // SDL would otherwise take over SIGINT and SIGTERM to make quit events nobody reads, and
  // the program could no longer be ended by a signal.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (device != 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
    subsystemStarted_ = true;
    // Device 1 and -1 are the system's default output; higher numbers count SDL's list.
    std::string name;
    if (device > 1) {
      const char* listed = SDL_GetAudioDeviceName(device - 2, 0);
      if (listed == nullptr) return Fail(kBassErrorDevice);
      name = listed;
    }
    opened = OpenDevice(name.empty() ? nullptr : name.c_str(), freq);
    if (!opened) reason = SDL_GetError();
    const char* driver = SDL_GetCurrentAudioDriver();
    nullOutput_ = opened && driver != nullptr && std::strcmp(driver, "dummy") == 0;
  } else if (device != 0) {
    reason = SDL_GetError();
  }
  if (!opened) {
    // No usable output: the music still has to run on time, so play to the null output.
    if (subsystemStarted_) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      subsystemStarted_ = false;
    }
    if (SDL_AudioInit("dummy") != 0) return Fail(kBassErrorDriver);
    directDummy_ = true;
    if (!OpenDevice(nullptr, freq)) {
      SDL_AudioQuit();
      directDummy_ = false;
      return Fail(kBassErrorDriver);
    }
    nullOutput_ = true;
    if (device != 0) {
      std::fprintf(stderr, "Lumarex: no audio output device (%s); the music plays silently\n",
                   reason.c_str());
    }
  }
  {
    std::lock_guard lock(mutex_);
    scratch_.assign(static_cast<size_t>(deviceFrames_) * 2, 0.0f);
    scratch16_.assign(static_cast<size_t>(deviceFrames_) * 2, 0);
  }
  SDL_PauseAudioDevice(device_, 0);
  return Ok();
}

BOOL AudioEngine::InitNullOutput(DWORD freq) {
  outputRate_ = freq;
  deviceFrames_ = kBufferFrames;
  {
    std::lock_guard lock(mutex_);
    scratch_.assign(static_cast<size_t>(deviceFrames_) * 2, 0.0f);
    scratch16_.assign(static_cast<size_t>(deviceFrames_) * 2, 0);
  }
  nullOutput_ = true;
  device_ = kNullDevice;
  nullOutputThread_ = std::make_unique<NullOutput>(
      freq, deviceFrames_, [this](float* out, uint32_t frames) { Mix(out, frames); });
  return Ok();
}

BOOL AudioEngine::Free() {
  if (device_ == 0) return Fail(kBassErrorInit);
  if (nullOutputThread_) {
    nullOutputThread_.reset();  // waits for a running mix
  } else {
    SDL_CloseAudioDevice(device_);  // waits for a running callback
  }
  device_ = 0;
  if (subsystemStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  if (directDummy_) SDL_AudioQuit();
  subsystemStarted_ = false;
  directDummy_ = false;
  nullOutput_ = false;
  std::lock_guard lock(mutex_);
  streams_.clear();
  pausedByEngine_.clear();
  return Ok();
}

float AudioEngine::GetCPU() const {
  return cpu_.load();
}

BOOL AudioEngine::Start() {
  if (device_ == 0) return Fail(kBassErrorInit);
  std::lock_guard lock(mutex_);
  for (const DWORD handle : pausedByEngine_) {
    if (Stream* s = Find(handle); s != nullptr && s->state == Stream::State::kPaused) {
      s->state = Stream::State::kPlaying;
      s->anchored = false;
    }
  }
  pausedByEngine_.clear();
  if (!nullOutputThread_) SDL_PauseAudioDevice(device_, 0);
  return Ok();
}

BOOL AudioEngine::Pause() {
  if (device_ == 0) return Fail(kBassErrorInit);
  std::lock_guard lock(mutex_);
  const SteadyTime now = std::chrono::steady_clock::now();
  for (auto& s : streams_) {
    Update(*s, now);
    if (s->state != Stream::State::kPlaying) continue;
    s->position = PlayPosition(*s, now);
    s->state = Stream::State::kPaused;
    pausedByEngine_.push_back(s->handle);
  }
  return Ok();
}

BOOL AudioEngine::Stop() {
  if (device_ == 0) return Fail(kBassErrorInit);
  std::lock_guard lock(mutex_);
  const SteadyTime now = std::chrono::steady_clock::now();
  for (auto& s : streams_) {
    Update(*s, now);
    if (s->state == Stream::State::kPlaying) s->position = PlayPosition(*s, now);
    s->state = Stream::State::kStopped;
  }
  pausedByEngine_.clear();
  return Ok();
}

BOOL AudioEngine::RecordInit(int32_t) {
  if (device_ == 0) return Fail(kBassErrorInit);
  return Ok();
}

BOOL AudioEngine::RecordFree() {
  return Ok();
}

// ---- streams ----

HSTREAM AudioEngine::StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length,
                                      DWORD) {
  if (device_ == 0) return static_cast<HSTREAM>(Fail(kBassErrorInit));
  if (mem != 0 || file == nullptr) return static_cast<HSTREAM>(Fail(kBassErrorNotAvail));
  if (offset != 0 || length != 0) return static_cast<HSTREAM>(Fail(kBassErrorNotAvail));
  auto stream = std::make_unique<Stream>();
  switch (DecodeAudioFile(static_cast<const char*>(file), stream->audio)) {
    case DecodeResult::kOk:
      break;
    case DecodeResult::kCannotOpen:
      return static_cast<HSTREAM>(Fail(kBassErrorFileOpen));
    case DecodeResult::kNotAudio:
      return static_cast<HSTREAM>(Fail(kBassErrorFileForm));
  }
  stream->frequency = stream->audio.sampleRate;
  std::lock_guard lock(mutex_);
  stream->handle = nextHandle_++;
  if (nextHandle_ == 0) nextHandle_ = 1;
  const HSTREAM handle = stream->handle;
  streams_.push_back(std::move(stream));
  SetError(kBassOk);
  return handle;
}

void AudioEngine::StreamFree(HSTREAM handle) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(streams_.begin(), streams_.end(),
                               [handle](const auto& s) { return s->handle == handle; });
  if (it == streams_.end()) {
    SetError(kBassErrorHandle);
    return;
  }
  streams_.erase(it);
  SetError(kBassOk);
}

QWORD AudioEngine::StreamGetLength(HSTREAM handle) {
  std::lock_guard lock(mutex_);
  const Stream* s = Find(handle);
  if (s == nullptr) {
    SetError(kBassErrorHandle);
    return kNoBytes;
  }
  SetError(kBassOk);
  return s->audio.Frames() * kBytesPerFrame;
}

// ---- channels ----

AudioEngine::Stream* AudioEngine::Find(DWORD handle) {
  for (auto& s : streams_) {
    if (s->handle == handle) return s.get();
  }
  return nullptr;
}

double AudioEngine::PlayPosition(const Stream& s, SteadyTime now) const {
  if (s.state != Stream::State::kPlaying || !s.anchored) return s.position;
  if (deviceClocked_) {
    const std::optional<double> heard = s.deviceClock.HeardAt(now);
    return std::min(heard.value_or(s.position), static_cast<double>(s.audio.Frames()));
  }
  const double elapsed = std::max(0.0, Seconds(now - s.anchorTime).count());
  return std::min(s.position + elapsed * s.frequency, static_cast<double>(s.audio.Frames()));
}

void AudioEngine::Reanchor(Stream& s, SteadyTime now) {
  if (s.state != Stream::State::kPlaying || !s.anchored || now < s.anchorTime) return;
  s.position = PlayPosition(s, now);
  s.anchorTime = now;
}

void AudioEngine::Update(Stream& s, SteadyTime now) {
  if (s.frequencySlide.active) {
    Reanchor(s, now);
    s.frequency = s.frequencySlide.ValueAt(now);
    if (s.frequencySlide.DoneAt(now)) s.frequencySlide.active = false;
  }
  if (s.volumeSlide.active) {
    s.volume = s.volumeSlide.ValueAt(now);
    if (s.volumeSlide.DoneAt(now)) {
      s.volumeSlide.active = false;
      if (s.stopAfterFade) {
        s.stopAfterFade = false;
        s.position = PlayPosition(s, now);
        s.state = Stream::State::kStopped;
      }
    }
  }
  if (s.panSlide.active) {
    s.pan = s.panSlide.ValueAt(now);
    if (s.panSlide.DoneAt(now)) s.panSlide.active = false;
  }
  if (s.state == Stream::State::kPlaying &&
      PlayPosition(s, now) >= static_cast<double>(s.audio.Frames())) {
    s.position = static_cast<double>(s.audio.Frames());
    s.state = Stream::State::kStopped;
  }
}

float AudioEngine::ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  std::lock_guard lock(mutex_);
  const Stream* s = Find(handle);
  if (s == nullptr || s->audio.sampleRate == 0) {
    SetError(kBassErrorHandle);
    return -1.0f;
  }
  SetError(kBassOk);
  return static_cast<float>(static_cast<double>(pos / kBytesPerFrame) / s->audio.sampleRate);
}

QWORD AudioEngine::ChannelSeconds2Bytes(DWORD handle, float pos) {
  std::lock_guard lock(mutex_);
  const Stream* s = Find(handle);
  if (s == nullptr) {
    SetError(kBassErrorHandle);
    return kNoBytes;
  }
  SetError(kBassOk);
  if (!(pos > 0.0f)) return 0;
  const double frames = std::floor(static_cast<double>(pos) * s->audio.sampleRate);
  if (frames >= 1e18) return kNoBytes;
  return static_cast<QWORD>(frames) * kBytesPerFrame;
}

DWORD AudioEngine::ChannelIsActive(DWORD handle) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) {
    SetError(kBassErrorHandle);
    return kActiveStopped;
  }
  Update(*s, std::chrono::steady_clock::now());
  SetError(kBassOk);
  switch (s->state) {
    case Stream::State::kPlaying:
      return kActivePlaying;
    case Stream::State::kPaused:
      return kActivePaused;
    case Stream::State::kStopped:
      break;
  }
  return kActiveStopped;
}

BOOL AudioEngine::ChannelPlay(DWORD handle, BOOL restart) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) return Fail(kBassErrorHandle);
  const SteadyTime now = std::chrono::steady_clock::now();
  Update(*s, now);
  if (s->state == Stream::State::kPlaying) {
    if (restart != 0) {
      // Flush what the mixer had in flight and play on from where the listener is.
      s->position = PlayPosition(*s, now);
      s->anchorTime = now;
      s->resync = true;
    }
    return Ok();
  }
  // Played to its end and started again: from the top, as a player's Play button does.
  if (restart != 0 && s->position >= static_cast<double>(s->audio.Frames())) s->position = 0;
  s->state = Stream::State::kPlaying;
  s->anchored = false;  // the clock starts with the first buffer that carries the channel
  std::erase(pausedByEngine_, handle);
  return Ok();
}

BOOL AudioEngine::ChannelStop(DWORD handle) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) return Fail(kBassErrorHandle);
  const SteadyTime now = std::chrono::steady_clock::now();
  Update(*s, now);
  s->position = PlayPosition(*s, now);
  s->state = Stream::State::kStopped;
  return Ok();
}

BOOL AudioEngine::ChannelPause(DWORD handle) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) return Fail(kBassErrorHandle);
  const SteadyTime now = std::chrono::steady_clock::now();
  Update(*s, now);
  if (s->state != Stream::State::kPlaying) return Fail(24);  // not playing
  s->position = PlayPosition(*s, now);
  s->state = Stream::State::kPaused;
  return Ok();
}

BOOL AudioEngine::ChannelSetAttributes(DWORD handle, int32_t freq, int32_t volume, int32_t pan) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) return Fail(kBassErrorHandle);
  const bool freqOk = freq == kLeaveFrequency || freq == 0 || (freq >= 100 && freq <= 100000);
  const bool volumeOk = volume == kLeaveVolume || (volume >= 0 && volume <= 100);
  const bool panOk = pan == kLeavePan || (pan >= -100 && pan <= 100);
  if (!freqOk || !volumeOk || !panOk) return Fail(kBassErrorIllParam);
  const SteadyTime now = std::chrono::steady_clock::now();
  Update(*s, now);
  if (freq != kLeaveFrequency) {
    Reanchor(*s, now);
    s->frequency = freq == 0 ? s->audio.sampleRate : static_cast<double>(freq);
    s->frequencySlide.active = false;
  }
  if (volume != kLeaveVolume) {
    s->volume = volume;
    s->volumeSlide.active = false;
    s->stopAfterFade = false;
  }
  if (pan != kLeavePan) {
    s->pan = pan;
    s->panSlide.active = false;
  }
  return Ok();
}

BOOL AudioEngine::ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int32_t* pan) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) return Fail(kBassErrorHandle);
  Update(*s, std::chrono::steady_clock::now());
  if (freq != nullptr) *freq = static_cast<DWORD>(std::lround(s->frequency));
  if (volume != nullptr) *volume = static_cast<DWORD>(std::lround(s->volume));
  if (pan != nullptr) *pan = static_cast<int32_t>(std::lround(s->pan));
  return Ok();
}

BOOL AudioEngine::ChannelSlideAttributes(DWORD handle, int32_t freq, int32_t volume, int32_t pan,
                                         DWORD time) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) return Fail(kBassErrorHandle);
  const bool freqOk = freq == kLeaveFrequency || (freq >= 100 && freq <= 100000);
  const bool volumeOk =
      volume == kLeaveVolume || volume == kFadeAndStop || (volume >= 0 && volume <= 100);
  const bool panOk = pan == kLeavePan || (pan >= -100 && pan <= 100);
  if (!freqOk || !volumeOk || !panOk) return Fail(kBassErrorIllParam);
  const SteadyTime now = std::chrono::steady_clock::now();
  Update(*s, now);
  const double seconds = std::max(1e-3, time / 1000.0);
  const auto start = [&](Slide& slide, double from, double to) {
    slide = Slide{true, from, to, now, seconds};
  };
  if (freq != kLeaveFrequency) start(s->frequencySlide, s->frequency, freq);
  if (volume != kLeaveVolume) {
    start(s->volumeSlide, s->volume, volume == kFadeAndStop ? 0.0 : volume);
    s->stopAfterFade = volume == kFadeAndStop;
  }
  if (pan != kLeavePan) start(s->panSlide, s->pan, pan);
  return Ok();
}

DWORD AudioEngine::ChannelIsSliding(DWORD handle) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) {
    SetError(kBassErrorHandle);
    return 0;
  }
  Update(*s, std::chrono::steady_clock::now());
  SetError(kBassOk);
  return (s->frequencySlide.active ? kSlideFrequency : 0) |
         (s->volumeSlide.active ? kSlideVolume : 0) | (s->panSlide.active ? kSlidePan : 0);
}

BOOL AudioEngine::ChannelSetPosition(DWORD handle, QWORD pos) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) return Fail(kBassErrorHandle);
  const QWORD frame = pos / kBytesPerFrame;
  if (frame > s->audio.Frames()) return Fail(kBassErrorPosition);
  const SteadyTime now = std::chrono::steady_clock::now();
  Update(*s, now);
  s->position = static_cast<double>(frame);
  s->cursor = s->position;
  s->deviceClock.Reset(s->position);
  if (s->anchored) {
    s->anchorTime = now;
    s->resync = true;
  }
  return Ok();
}

QWORD AudioEngine::ChannelGetPosition(DWORD handle) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) {
    SetError(kBassErrorHandle);
    return kNoBytes;
  }
  const SteadyTime now = std::chrono::steady_clock::now();
  Update(*s, now);
  SetError(kBassOk);
  return static_cast<QWORD>(PlayPosition(*s, now)) * kBytesPerFrame;
}

DWORD AudioEngine::ChannelGetLevel(DWORD handle) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) {
    SetError(kBassErrorHandle);
    return kNoValue;
  }
  const SteadyTime now = std::chrono::steady_clock::now();
  Update(*s, now);
  SetError(kBassOk);
  if (s->state != Stream::State::kPlaying) return 0;
  // The peaks of the last 20 ms, as a level meter shows them.
  const auto end = static_cast<uint64_t>(PlayPosition(*s, now));
  const uint64_t window = std::max<uint64_t>(1, s->audio.sampleRate / 50);
  const uint64_t begin = end > window ? end - window : 0;
  int left = 0;
  int right = 0;
  for (uint64_t f = begin; f < end && f < s->audio.Frames(); ++f) {
    left = std::max(left, std::abs(int{s->audio.samples[f * 2]}));
    right = std::max(right, std::abs(int{s->audio.samples[f * 2 + 1]}));
  }
  return static_cast<DWORD>(left) | (static_cast<DWORD>(right) << 16);
}

DWORD AudioEngine::ChannelGetData(DWORD handle, void* buffer, DWORD length) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) {
    SetError(kBassErrorHandle);
    return kNoValue;
  }
  // The high bits ask for FFT data, which this engine does not compute.
  if ((length & 0xF0000000u) != 0 || buffer == nullptr) {
    SetError(kBassErrorNotAvail);
    return kNoValue;
  }
  const SteadyTime now = std::chrono::steady_clock::now();
  Update(*s, now);
  const uint64_t frames = length / kBytesPerFrame;
  const auto end = static_cast<int64_t>(PlayPosition(*s, now));
  const int64_t begin = end - static_cast<int64_t>(frames);
  auto* out = static_cast<int16_t*>(buffer);
  const auto total = static_cast<int64_t>(s->audio.Frames());
  for (int64_t f = begin; f < end; ++f) {
    const bool inside = f >= 0 && f < total;
    *out++ = inside ? s->audio.samples[static_cast<size_t>(f) * 2] : int16_t{0};
    *out++ = inside ? s->audio.samples[static_cast<size_t>(f) * 2 + 1] : int16_t{0};
  }
  SetError(kBassOk);
  return static_cast<DWORD>(frames * kBytesPerFrame);
}

HDSP AudioEngine::ChannelSetDSP(DWORD handle, DSPPROC* proc, void* user, int32_t priority) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) return static_cast<HDSP>(Fail(kBassErrorHandle));
  if (proc == nullptr) return static_cast<HDSP>(Fail(kBassErrorIllParam));
  const HDSP dsp = nextDsp_++;
  const auto at = std::find_if(s->dsps.begin(), s->dsps.end(),
                               [priority](const Stream::Dsp& d) { return d.priority < priority; });
  s->dsps.insert(at, Stream::Dsp{dsp, proc, user, priority});
  SetError(kBassOk);
  return dsp;
}

BOOL AudioEngine::ChannelRemoveDSP(DWORD handle, HDSP dsp) {
  std::lock_guard lock(mutex_);
  Stream* s = Find(handle);
  if (s == nullptr) return Fail(kBassErrorHandle);
  const size_t removed =
      std::erase_if(s->dsps, [dsp](const Stream::Dsp& d) { return d.handle == dsp; });
  return removed > 0 ? Ok() : Fail(kBassErrorHandle);
}

// ---- mixing (SDL's audio thread) ----

void AudioEngine::MixCallback(void* userdata, uint8_t* out, int bytes) {
  auto* engine = static_cast<AudioEngine*>(userdata);
  const auto frames = static_cast<uint32_t>(static_cast<size_t>(bytes) / (2 * sizeof(float)));
  engine->Mix(reinterpret_cast<float*>(out), frames);
}

void AudioEngine::Mix(float* out, uint32_t frames) {
  const SteadyTime started = std::chrono::steady_clock::now();
  std::fill(out, out + static_cast<size_t>(frames) * 2, 0.0f);
  {
    std::lock_guard lock(mutex_);
    frames = std::min<uint32_t>(frames, static_cast<uint32_t>(scratch_.size() / 2));
    const float master = static_cast<float>(streamVolume_) / 100.0f;
    for (auto& stream : streams_) {
      Stream& s = *stream;
      Update(s, started);
      if (s.state != Stream::State::kPlaying) continue;
      RenderStream(s, started, frames);
      const float gain = master * static_cast<float>(s.volume) / 100.0f;
      const auto pan = static_cast<float>(s.pan) / 100.0f;
      const float leftGain = gain * (pan > 0.0f ? 1.0f - pan : 1.0f);
      const float rightGain = gain * (pan < 0.0f ? 1.0f + pan : 1.0f);
      for (uint32_t i = 0; i < frames; ++i) {
        out[i * 2] += scratch_[i * 2] * leftGain;
        out[i * 2 + 1] += scratch_[i * 2 + 1] * rightGain;
      }
    }
  }
  const double used = Seconds(std::chrono::steady_clock::now() - started).count();
  const double available = static_cast<double>(frames) / outputRate_;
  cpu_.store(static_cast<float>(100.0 * used / available));
}

void AudioEngine::RenderStream(Stream& s, SteadyTime now, uint32_t frames) {
  const double bufferSeconds = static_cast<double>(frames) / outputRate_;
  const auto latency =
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(Seconds(bufferSeconds));
  if (!s.anchored) {
    // This buffer is the first one to carry the channel: its clock starts when it is heard.
    s.anchored = true;
    s.anchorTime = now + latency;
    s.cursor = s.position;
    s.resync = false;
    s.deviceClock.Reset(s.position);
  }
  const double step = s.frequency / outputRate_;
  const double target = PlayPosition(s, now + latency);
  // On the card's clock the cursor is never pulled towards the wall clock: the music plays at
  // the card's pace and the show follows it.
  if (s.resync || (!deviceClocked_ && std::abs(s.cursor - target) > 2.0 * frames * step)) {
    s.cursor = target;
    s.resync = false;
    s.deviceClock.Reset(target);
  }
  s.deviceClock.BufferTaken(s.cursor, s.frequency, frames, outputRate_, latency, now);
  const int64_t total = static_cast<int64_t>(s.audio.Frames());
  const int16_t* samples = s.audio.samples.data();
  constexpr float kScale = 1.0f / 32768.0f;
  for (uint32_t i = 0; i < frames; ++i) {
    const double pos = s.cursor + i * step;
    const auto index = static_cast<int64_t>(pos);
    const auto frac = static_cast<float>(pos - static_cast<double>(index));
    float left = 0.0f;
    float right = 0.0f;
    if (index >= 0 && index < total) {
      const size_t a = static_cast<size_t>(index) * 2;
      left = samples[a];
      right = samples[a + 1];
      if (index + 1 < total && frac > 0.0f) {
        left += (samples[a + 2] - left) * frac;
        right += (samples[a + 3] - right) * frac;
      }
    }
    scratch_[i * 2] = left * kScale;
    scratch_[i * 2 + 1] = right * kScale;
  }
  s.cursor += frames * step;

  if (s.dsps.empty()) return;
  const auto bytes16 = static_cast<DWORD>(frames * 2 * sizeof(int16_t));
  const auto bytesFloat = static_cast<DWORD>(frames * 2 * sizeof(float));
  if (!floatDsp_) {
    for (size_t i = 0; i < static_cast<size_t>(frames) * 2; ++i) {
      scratch16_[i] = static_cast<int16_t>(std::clamp(scratch_[i] * 32768.0f, -32768.0f, 32767.0f));
    }
  }
  for (const Stream::Dsp& d : s.dsps) {
    if (floatDsp_) {
      d.proc(d.handle, s.handle, scratch_.data(), bytesFloat, d.user);
    } else {
      d.proc(d.handle, s.handle, scratch16_.data(), bytes16, d.user);
    }
  }
  if (!floatDsp_) {
    for (size_t i = 0; i < static_cast<size_t>(frames) * 2; ++i)
      scratch_[i] = scratch16_[i] * kScale;
  }
}

}  // namespace lumarex
