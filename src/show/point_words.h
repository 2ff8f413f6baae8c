#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "show/show_point.h"

namespace lumarex {

// The readers' converters build each point in two registers and store it with two writes.
// A point built field by field in memory and then copied whole stalled on store forwarding
// (a 200 MB ULF show read in 240 ms instead of 120 ms), and field stores into the array are
// eight writes a point.
static_assert(std::endian::native == std::endian::little, "points are stored as LE words");
static_assert(sizeof(ShowPoint) == 12 && offsetof(ShowPoint, X) == 0 &&
                  offsetof(ShowPoint, Y) == 2 && offsetof(ShowPoint, Z) == 4 &&
                  offsetof(ShowPoint, R) == 6 && offsetof(ShowPoint, G) == 7 &&
                  offsetof(ShowPoint, B) == 8 && offsetof(ShowPoint, Visible) == 9 &&
                  offsetof(ShowPoint, ColourIndex) == 10,
              "the word layout below");

// X, Y, Z, R and G: the first eight bytes of a point.
constexpr uint64_t PointHead(uint16_t x, uint16_t y, uint16_t z, uint8_t r, uint8_t g) {
  return uint64_t{x} | (uint64_t{y} << 16) | (uint64_t{z} << 32) | (uint64_t{r} << 48) |
         (uint64_t{g} << 56);
}

// B, Visible and ColourIndex: the last four bytes (the padding byte 0).
constexpr uint32_t PointTail(uint8_t b, uint8_t visible, uint8_t colourIndex) {
  return uint32_t{b} | (uint32_t{visible} << 8) | (uint32_t{colourIndex} << 16);
}

inline void StorePoint(ShowPoint* out, uint64_t head, uint32_t tail) {
  auto* bytes = reinterpret_cast<unsigned char*>(out);
  std::memcpy(bytes, &head, sizeof head);
  std::memcpy(bytes + sizeof head, &tail, sizeof tail);
}

// NegateY on the 16 bits of a coordinate, without a branch: -32768 becomes 32767.
constexpr uint16_t NegatedY(uint16_t y) {
  return static_cast<uint16_t>(0u - y - (y == 0x8000u ? 1u : 0u));
}

// Zero points from out[from] to out[to].
inline void StoreZeroPoints(ShowPoint* out, size_t from, size_t to) {
  if (to > from) std::memset(static_cast<void*>(out + from), 0, (to - from) * sizeof(ShowPoint));
}

}  // namespace lumarex
