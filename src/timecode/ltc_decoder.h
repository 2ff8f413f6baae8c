#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "timecode/timecode.h"

// libltc's decoder state (<ltc.h>), kept out of this header.
struct LTCDecoder;

namespace lumarex {

// One LTC frame as read from the audio.
struct LtcFrameTime {
  // The rate is measured: 24, 25 or 30 from the frame's length in samples (so 23.976 reads as
  // 24 and 29.97 non-drop as 30), 29.97 drop-frame when a 30-frame count carries the flag.
  Timecode tc;
  // The moment the frame began (its first transition), on the caller's clock, in ms.
  double startMs = 0.0;
};

// LTC audio in, timecode out, through libltc. Blocks of mono samples go in as they sound; each
// call hands back the frames completed in it. A frame is complete when the first transition of
// the next one arrives: the reading comes one frame after the time it names, which `startMs`
// accounts for. Not thread-safe: one thread feeds it.
class LtcDecoder {
 public:
  explicit LtcDecoder(uint32_t sampleRate);
  ~LtcDecoder();
  LtcDecoder(const LtcDecoder&) = delete;
  LtcDecoder& operator=(const LtcDecoder&) = delete;

  // Decodes `samples` (floats in -1..1, or 16-bit), whose first sample sounded at
  // `firstSampleMs` on the caller's clock, and appends the frames completed in them to
  // `frames`, oldest first. Blocks follow each other in the stream; their sizes may vary.
  void Write(std::span<const float> samples, double firstSampleMs,
             std::vector<LtcFrameTime>& frames);
  void Write(std::span<const int16_t> samples, double firstSampleMs,
             std::vector<LtcFrameTime>& frames);
  // Forgets the signal so far, as when a file is rewound; Ignored keeps counting.
  void Reset();

  uint32_t SampleRate() const { return sampleRate_; }
  // Frames read whole but not handed back: fields out of range, played backwards, or
  // stretched by a gap in the signal (the frame before a dropout ends only when the signal
  // comes back, long after its time).
  uint64_t Ignored() const { return ignored_; }

 private:
  // Where a block began: its first sample's stream position and clock time.
  struct Anchor {
    int64_t position = 0;
    double ms = 0.0;
  };
  static constexpr size_t kChunk = 1024;
  static constexpr size_t kAnchors = 64;

  template <typename Sample>
  void WriteSamples(std::span<const Sample> samples, double firstSampleMs,
                    std::vector<LtcFrameTime>& frames);
  void Collect(std::vector<LtcFrameTime>& frames);
  double MsOfSample(int64_t position) const;

  uint32_t sampleRate_;
  LTCDecoder* decoder_ = nullptr;
  int64_t position_ = 0;  // stream position of the next sample
  std::array<Anchor, kAnchors> anchors_{};
  size_t anchorCount_ = 0;
  size_t newestAnchor_ = 0;
  std::array<uint8_t, kChunk> chunk_{};  // libltc's unsigned 8-bit samples
  uint64_t ignored_ = 0;
};

}  // namespace lumarex
