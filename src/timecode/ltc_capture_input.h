#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "timecode/ltc_decoder.h"
#include "timecode/ltc_reading_slot.h"
#include "timecode/timecode_input.h"

namespace lumarex {

// LTC from a sound card's input, through SDL2's audio capture (mono, the device's own sample
// rate). It listens from Open until it is destroyed; Play and Stop change nothing. Each
// reading's atMs is the clock time at which its frame's first sample was captured, estimated
// from the sample count and the times SDL hands the blocks over.
//
// SDL's audio thread decodes and reads the clock (which must allow that and outlive the
// input); Latest and Ignored may be called from any thread. The destructor closes the device,
// which waits for a running callback: no callback runs after it.
class LtcCaptureInput final : public TimecodeInput {
 public:
  // Opens the capture device whose name contains `deviceNamePart` (in any case), or the
  // system's default one when it is empty, and starts listening. None, with `error` set, when
  // SDL has no capture device ("no audio capture device"; SDL's dummy and disk drivers count
  // as none: they hear nothing), none matches the name, or the device does not open.
  static std::unique_ptr<LtcCaptureInput> Open(const Clock& clock,
                                               const std::string& deviceNamePart,
                                               std::string& error);
  ~LtcCaptureInput() override;
  LtcCaptureInput(const LtcCaptureInput&) = delete;
  LtcCaptureInput& operator=(const LtcCaptureInput&) = delete;

  std::optional<TimecodeReading> Latest() const override { return readings_.Latest(); }
  std::string Name() const override { return "ltc"; }
  uint64_t Ignored() const override { return readings_.Ignored(); }

  // The device's name as SDL lists it; empty for the system's default.
  const std::string& DeviceName() const { return deviceName_; }
  uint32_t SampleRate() const { return sampleRate_; }

 private:
  // Holds SDL's audio subsystem from here to the destructor.
  explicit LtcCaptureInput(const Clock& clock);
  static void Captured(void* user, uint8_t* stream, int bytes);
  void Decode(const float* samples, size_t count);

  const Clock& clock_;
  std::string deviceName_;
  uint32_t device_ = 0;  // SDL_AudioDeviceID
  uint32_t sampleRate_ = 0;
  // Set before the device runs; from then on only SDL's audio thread touches these.
  std::unique_ptr<LtcDecoder> decoder_;
  std::vector<LtcFrameTime> frames_;
  int64_t captured_ = 0;  // samples so far
  bool timed_ = false;
  double zeroMs_ = 0.0;  // the clock time of sample 0, as estimated in Decode
  uint32_t lastMs_ = 0;
  LtcReadingSlot readings_;
};

}  // namespace lumarex
