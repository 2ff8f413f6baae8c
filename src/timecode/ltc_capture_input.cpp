#include "timecode/ltc_capture_input.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <span>
#include <string_view>

namespace lumarex {

namespace {

constexpr const char* kNoDevice = "no audio capture device";
// 48 kHz unless the device wants another rate; blocks of 512 samples (about 11 ms) keep the
// readings close to the signal without waking the audio thread too often.
constexpr int kPreferredRate = 48000;
constexpr Uint16 kBlockFrames = 512;
// How fast the estimate of the capture's timing may drift later: 200 ppm, twice what a sound
// card's crystal is off by against the system clock.
constexpr double kCreepMsPerMs = 0.0002;

bool ContainsAnyCase(std::string_view text, std::string_view part) {
  const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

// SDL's drivers that capture nothing from the world: the dummy one records silence.
bool HearsNothing(const char* driver) {
  return driver == nullptr || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "disk") == 0;
}

}  // namespace

std::unique_ptr<LtcCaptureInput> LtcCaptureInput::Open(const Clock& clock,
                                                       const std::string& deviceNamePart,
                                                       std::string& error) {
  // SDL would otherwise take over SIGINT and SIGTERM.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error = std::string(kNoDevice) + " (" + SDL_GetError() + ")";
    return nullptr;
  }
  std::unique_ptr<LtcCaptureInput> input(new LtcCaptureInput(clock));
  if (HearsNothing(SDL_GetCurrentAudioDriver())) {
    error = kNoDevice;
    return nullptr;
  }
  // -1: the driver cannot list its devices, but its default one may still open.
  const int count = SDL_GetNumAudioDevices(1);
  if (count == 0) {
    error = kNoDevice;
    return nullptr;
  }
  if (!deviceNamePart.empty()) {
    for (int k = 0; k < count && input->deviceName_.empty(); ++k) {
      const char* name = SDL_GetAudioDeviceName(k, 1);
      if (name != nullptr && ContainsAnyCase(name, deviceNamePart)) input->deviceName_ = name;
    }
    if (input->deviceName_.empty()) {
      error = std::string(kNoDevice) + " matching \"" + deviceNamePart + "\"";
      return nullptr;
    }
  }

  SDL_AudioSpec want{};
  want.freq = kPreferredRate;
  want.format = AUDIO_F32SYS;
  want.channels = 1;
  want.samples = kBlockFrames;
  want.callback = &LtcCaptureInput::Captured;
  want.userdata = input.get();
  SDL_AudioSpec have{};
  // The decoder takes any rate, so SDL need not resample; it still mixes the channels down.
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(
      input->deviceName_.empty() ? nullptr : input->deviceName_.c_str(), 1, &want, &have,
      SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
  if (device == 0 || have.freq <= 0) {
    const std::string which = input->deviceName_.empty()
                                  ? std::string("the default audio capture device")
                                  : "audio capture device \"" + input->deviceName_ + "\"";
    error = which + ": " + SDL_GetError();
    if (device != 0) SDL_CloseAudioDevice(device);
    return nullptr;
  }
  // The device opens paused: the callback cannot run before it is unpaused below.
  input->device_ = device;
  input->sampleRate_ = static_cast<uint32_t>(have.freq);
  input->decoder_ = std::make_unique<LtcDecoder>(input->sampleRate_);
  input->frames_.reserve(16);
  SDL_PauseAudioDevice(device, 0);
  return input;
}

LtcCaptureInput::LtcCaptureInput(const Clock& clock) : clock_(clock) {}

LtcCaptureInput::~LtcCaptureInput() {
  if (device_ != 0) SDL_CloseAudioDevice(device_);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void LtcCaptureInput::Captured(void* user, uint8_t* stream, int bytes) {
  auto& input = *static_cast<LtcCaptureInput*>(user);
  // The format is float, as asked for: SDL converts when the device has another.
  input.Decode(reinterpret_cast<const float*>(stream),
               static_cast<size_t>(std::max(bytes, 0)) / sizeof(float));
}

void LtcCaptureInput::Decode(const float* samples, size_t count) {
  // SDL hands a block over once it is recorded, a little late and irregularly, never early:
  // the least delay seen so far (against the sample count) is the best estimate of when the
  // samples came in. It may creep later slowly, to follow a sound card that runs slow against
  // the system clock; one that runs fast the minimum follows by itself.
  const uint32_t nowMs = clock_.NowMs();
  const double msPerSample = 1000.0 / sampleRate_;
  const double zeroIfNow =
      nowMs - static_cast<double>(captured_ + static_cast<int64_t>(count)) * msPerSample;
  zeroMs_ = timed_ ? std::min(zeroMs_ + kCreepMsPerMs * (nowMs - lastMs_), zeroIfNow) : zeroIfNow;
  timed_ = true;
  lastMs_ = nowMs;

  frames_.clear();
  decoder_->Write(std::span<const float>(samples, count),
                  zeroMs_ + static_cast<double>(captured_) * msPerSample, frames_);
  captured_ += static_cast<int64_t>(count);
  for (const LtcFrameTime& frame : frames_) readings_.Publish(frame, nowMs);
  readings_.SetIgnored(decoder_->Ignored());
}

}  // namespace lumarex
