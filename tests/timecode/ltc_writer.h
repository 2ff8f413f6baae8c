#pragma once

// An LTC generator of our own, written from the published frame layout and not from libltc,
// so that a misreading shared by libltc's encoder and our decoder shows up in the tests.

#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "timecode/timecode.h"

namespace lumarex::test {

using LtcBits = std::array<bool, 80>;

// Writes `value` into `count` bits from `first`, least significant bit first.
inline void SetLtcField(LtcBits& bits, size_t first, size_t count, unsigned value) {
  for (size_t k = 0; k < count; ++k) bits[first + k] = ((value >> k) & 1u) != 0;
}

// The polarity-correction bit (bit 59 at 25 fps, bit 27 otherwise) set so that the frame holds
// an even number of zeros: every frame's sync word then starts in the same phase.
inline void SetLtcPolarityBit(LtcBits& bits, TimecodeRate rate) {
  const size_t polarity = rate == TimecodeRate::k25 ? 59 : 27;
  bits[polarity] = false;
  size_t zeros = 0;
  for (const bool bit : bits) zeros += bit ? 0 : 1;
  bits[polarity] = zeros % 2 != 0;
}

// The frame of `tc`: BCD fields, the drop-frame flag for 29.97, no user bits, the sync word.
inline LtcBits LtcFrameBits(const Timecode& tc) {
  LtcBits bits{};
  SetLtcField(bits, 0, 4, tc.frames % 10u);
  SetLtcField(bits, 8, 2, tc.frames / 10u);
  bits[10] = tc.rate == TimecodeRate::k2997Drop;
  SetLtcField(bits, 16, 4, tc.seconds % 10u);
  SetLtcField(bits, 24, 3, tc.seconds / 10u);
  SetLtcField(bits, 32, 4, tc.minutes % 10u);
  SetLtcField(bits, 40, 3, tc.minutes / 10u);
  SetLtcField(bits, 48, 4, tc.hours % 10u);
  SetLtcField(bits, 56, 2, tc.hours / 10u);
  constexpr std::array<bool, 16> kSync = {0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1};
  for (size_t k = 0; k < kSync.size(); ++k) bits[64 + k] = kSync[k];
  SetLtcPolarityBit(bits, tc.rate);
  return bits;
}

// Frames a second in real time: 30000/1001 for drop-frame.
inline double RealFramesPerSecond(TimecodeRate rate) {
  return rate == TimecodeRate::k2997Drop ? 30000.0 / 1001.0 : NominalFramesPerSecond(rate);
}

// Biphase-mark audio, built frame by frame at an exact (fractional) bit period: a level change
// at every bit boundary and one more in the middle of each 1. Remembers where each frame began.
class LtcWriter {
 public:
  struct Placed {
    Timecode tc;
    double startSample;  // the sample position of the frame's first transition
  };

  LtcWriter(uint32_t sampleRate, TimecodeRate rate, float amplitude = 0.5f)
      : sampleRate_(sampleRate),
        rate_(rate),
        halfBit_(sampleRate / RealFramesPerSecond(rate) / 160.0),
        level_(amplitude) {}

  // `count` consecutive frames from `first` on; answers the timecode after the last.
  Timecode AppendFrames(Timecode first, size_t count) {
    for (size_t k = 0; k < count; ++k) {
      AppendFrame(LtcFrameBits(first), first);
      first = NextFrame(first);
    }
    return first;
  }

  // One frame of the given bits, recorded as `tc`.
  void AppendFrame(const LtcBits& bits, const Timecode& tc) {
    frames_.push_back({tc, cursor_});
    for (const bool bit : bits) {
      level_ = -level_;
      HoldUntil(cursor_ + halfBit_);
      if (bit) level_ = -level_;
      HoldUntil(cursor_ + halfBit_);
    }
  }

  // No signal at all, as when a cable is pulled.
  void AppendSilence(double seconds) {
    const float level = level_;
    level_ = 0.0f;
    HoldUntil(cursor_ + seconds * sampleRate_);
    level_ = level;
  }

  uint32_t SampleRate() const { return sampleRate_; }
  TimecodeRate Rate() const { return rate_; }
  const std::vector<float>& Samples() const { return samples_; }
  const std::vector<Placed>& Frames() const { return frames_; }

 private:
  // The samples whose instants fall before `end` take the current level.
  void HoldUntil(double end) {
    while (static_cast<double>(samples_.size()) < end) samples_.push_back(level_);
    cursor_ = end;
  }

  uint32_t sampleRate_;
  TimecodeRate rate_;
  double halfBit_;
  float level_;
  double cursor_ = 0.0;
  std::vector<float> samples_;
  std::vector<Placed> frames_;
};

// A 16-bit PCM mono WAV file of samples in -1..1.
inline bool WriteMonoWav(const std::string& path, uint32_t sampleRate,
                         const std::vector<float>& samples) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const auto put = [&out](uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) out.put(static_cast<char>((value >> (8 * k)) & 0xFFu));
  };
  const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
  out.write("RIFF", 4);
  put(36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  put(16, 4);
  put(1, 2);  // PCM
  put(1, 2);  // mono
  put(sampleRate, 4);
  put(sampleRate * 2, 4);
  put(2, 2);
  put(16, 2);
  out.write("data", 4);
  put(dataBytes, 4);
  for (const float sample : samples) {
    const long value = std::lround(std::fmax(-1.0f, std::fmin(1.0f, sample)) * 32767.0f);
    put(static_cast<uint16_t>(static_cast<int16_t>(value)), 2);
  }
  return static_cast<bool>(out);
}

}  // namespace lumarex::test
