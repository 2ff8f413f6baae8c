#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "music/audio_decoder.h"
#include "music/bass_api.h"
#include "music/device_clock.h"
#include "music/null_output.h"

namespace lumarex {

// Our own audio back end behind the audio entry table. Streams are decoded into memory when
// they are created, so positions, lengths and sample data are exact; SDL2 plays the mix in
// 1024-frame buffers. Without an output device the engine plays to SDL's dummy driver, so
// the music clock runs on the same code path, silently.
//
// The play position follows the wall clock from the moment the first buffer of a channel went
// out; the mixer's read cursor is kept within two buffers of it. Device clocks that run a
// little fast or slow (the dummy driver sleeps whole milliseconds, ~0.5% off) therefore never
// move what the waveform display sees away from the show's frame clock.
//
// Every call may come from any thread; the engine guards its state with one mutex that the
// mixing thread holds only while it fills a buffer. DSP routines run under that mutex.
class AudioEngine {
 public:
  // 2.1 as the component checks it: major version in the low word, minor in the high word.
  static constexpr DWORD kVersion = 0x00010002;
  static constexpr uint32_t kBufferFrames = 1024;

  AudioEngine();
  ~AudioEngine();
  AudioEngine(const AudioEngine&) = delete;
  AudioEngine& operator=(const AudioEngine&) = delete;

  DWORD SetConfig(DWORD option, DWORD value);
  DWORD GetConfig(DWORD option);
  int32_t ErrorGetCode() const { return error_.load(); }
  BOOL Init(int32_t device, DWORD freq);
  // Before Init: play to the null output whatever device is asked for, silently and on time
  // (for work that has no use for a sound card, such as a command that only reads files).
  void SetSilent(bool silent) { silent_ = silent; }
  // Plays on the card's clock instead: the music runs at the pace the card takes it, however
  // far that drifts from the wall clock, and the play position is what the card has played
  // (its latency accounted for), so a show that follows the position never drifts from its
  // music. Off by default.
  void SetDeviceClocked(bool on);
  BOOL Free();
  float GetCPU() const;
  BOOL Start();
  BOOL Stop();
  BOOL Pause();
  // Nothing of ours records; the recording check only asks whether the audio system runs.
  BOOL RecordInit(int32_t device);
  BOOL RecordFree();

  HSTREAM StreamCreateFile(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags);
  void StreamFree(HSTREAM handle);
  QWORD StreamGetLength(HSTREAM handle);

  float ChannelBytes2Seconds(DWORD handle, QWORD pos);
  QWORD ChannelSeconds2Bytes(DWORD handle, float pos);
  DWORD ChannelIsActive(DWORD handle);
  BOOL ChannelPlay(DWORD handle, BOOL restart);
  BOOL ChannelStop(DWORD handle);
  BOOL ChannelPause(DWORD handle);
  BOOL ChannelSetAttributes(DWORD handle, int32_t freq, int32_t volume, int32_t pan);
  BOOL ChannelGetAttributes(DWORD handle, DWORD* freq, DWORD* volume, int32_t* pan);
  BOOL ChannelSlideAttributes(DWORD handle, int32_t freq, int32_t volume, int32_t pan, DWORD time);
  DWORD ChannelIsSliding(DWORD handle);
  BOOL ChannelSetPosition(DWORD handle, QWORD pos);
  QWORD ChannelGetPosition(DWORD handle);
  DWORD ChannelGetLevel(DWORD handle);
  // The most recent `length` bytes of 16-bit stereo up to the play position.
  DWORD ChannelGetData(DWORD handle, void* buffer, DWORD length);
  HDSP ChannelSetDSP(DWORD handle, DSPPROC* proc, void* user, int32_t priority);
  BOOL ChannelRemoveDSP(DWORD handle, HDSP dsp);

  // Records `code` as the last error; the entry points that we do not offer answer with it.
  void SetError(int32_t code) { error_.store(code); }

  bool IsInitialised() const { return device_ != 0; }
  bool UsingNullOutput() const { return nullOutput_; }
  uint32_t OutputRate() const { return outputRate_; }

 private:
  using SteadyTime = std::chrono::steady_clock::time_point;
  struct Stream;

  static void MixCallback(void* userdata, uint8_t* out, int bytes);
  void Mix(float* out, uint32_t frames);
  void RenderStream(Stream& s, SteadyTime now, uint32_t frames);
  Stream* Find(DWORD handle);
  void Update(Stream& s, SteadyTime now);
  double PlayPosition(const Stream& s, SteadyTime now) const;
  void Reanchor(Stream& s, SteadyTime now);
  bool OpenDevice(const char* deviceName, DWORD freq);
  BOOL InitNullOutput(DWORD freq);
  BOOL Fail(int32_t code) {
    SetError(code);
    return 0;
  }
  BOOL Ok() {
    SetError(kBassOk);
    return 1;
  }

  std::mutex mutex_;
  std::vector<std::unique_ptr<Stream>> streams_;
  std::vector<DWORD> pausedByEngine_;
  DWORD nextHandle_ = 1;
  DWORD nextDsp_ = 1;
  std::atomic<int32_t> error_{kBassOk};
  DWORD streamVolume_ = 100;
  bool floatDsp_ = false;
  DWORD bufferMs_ = 500;
  DWORD updatePeriodMs_ = 100;

  // No sound system's device ever has this number.
  static constexpr uint32_t kNullDevice = ~uint32_t{0};
  uint32_t device_ = 0;  // SDL_AudioDeviceID, or kNullDevice for the "no sound" device
  std::unique_ptr<NullOutput> nullOutputThread_;
  bool subsystemStarted_ = false;
  bool directDummy_ = false;
  bool nullOutput_ = false;
  bool silent_ = false;
  bool deviceClocked_ = false;
  uint32_t outputRate_ = 44100;
  uint32_t deviceFrames_ = kBufferFrames;
  std::vector<float> scratch_;
  std::vector<int16_t> scratch16_;
  std::atomic<float> cpu_{0.0f};
};

}  // namespace lumarex
