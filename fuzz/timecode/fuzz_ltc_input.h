#pragma once

// How fuzz_ltc_decoder reads its bytes, shared with the program that writes its seeds.

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumarex::fuzz {

// Byte 0 picks the sample rate, byte 1 the block size the samples are written in; the rest
// are 16-bit little-endian mono samples.
inline constexpr std::array<uint32_t, 4> kLtcSampleRates = {8000, 16000, 44100, 48000};
inline constexpr size_t kLtcHeaderBytes = 2;

inline size_t LtcBlockSize(uint8_t code) {
  return 1 + static_cast<size_t>(code) * 8;
}

}  // namespace lumarex::fuzz
