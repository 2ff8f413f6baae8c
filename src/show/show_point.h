#pragma once

#include <cstdint>

namespace lumarex {

// One laser point of the show. Coordinates have their origin at the centre with Y growing
// upwards; the colour is always resolved, so nothing downstream consults the palette.
struct ShowPoint {
  int16_t X = 0;
  int16_t Y = 0;
  int16_t Z = 0;
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;
  uint8_t Visible = 0;      // 1: the beam is on while moving to this point
  uint8_t ColourIndex = 0;  // the source's palette index or colour byte, where it has one

  friend bool operator==(const ShowPoint&, const ShowPoint&) = default;
};

struct RgbColour {
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;

  friend bool operator==(const RgbColour&, const RgbColour&) = default;
};

// Flips a Y axis that grows downwards. -32768 has no positive twin in 16 bits; it becomes
// 32767 so that a point on the bottom edge stays at the edge instead of jumping to the top.
constexpr int16_t NegateY(int32_t y) {
  const int32_t flipped = -y;
  if (flipped > 32767) return 32767;
  if (flipped < -32768) return -32768;
  return static_cast<int16_t>(flipped);
}

}  // namespace lumarex
