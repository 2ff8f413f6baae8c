#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumarex {

// A whole music file as 16-bit stereo at its own sample rate. Mono files are doubled onto
// both sides and files with more channels keep their first two, so that byte positions,
// lengths and sample data all speak the one layout the player's waveform reads.
struct DecodedAudio {
  uint32_t sampleRate = 0;
  std::vector<int16_t> samples;  // interleaved left, right

  uint64_t Frames() const { return samples.size() / 2; }
};

enum class DecodeResult : uint8_t { kOk, kCannotOpen, kNotAudio };

// Decodes WAV, FLAC, Ogg and the other libsndfile formats, and MPEG audio (.mp1/.mp2/.mp3)
// through libmpg123 with a full scan, so that variable-bitrate files without a Xing header
// still get their exact length. Blocks until the file is decoded.
DecodeResult DecodeAudioFile(const std::string& path, DecodedAudio& out);

}  // namespace lumarex
