#include "output/colour_table.h"

#include <cmath>

namespace lumarex {

ColourTable IdentityColourTable() {
  ColourTable table{};
  for (int32_t q = 0; q < 256; ++q) table[static_cast<size_t>(q)] = static_cast<uint8_t>(q);
  return table;
}

ColourTable BuildColourTable(int32_t left, int32_t right, int32_t power) {
  // nearbyint rounds halves to the even neighbour in the default rounding mode: 7.5 -> 8,
  // 4.5 -> 4, as the calibration sheets of the projectors were made.
  const auto lo = static_cast<int32_t>(std::nearbyint(left * 1.5));
  const int32_t hi = ((255 - (80 - right) * 3) * power) / 10;
  ColourTable table{};
  for (int32_t q = 0; q < 256; ++q) {
    const int32_t value = lo + ((hi - lo) * q) / 255;
    // Pascal's mod of a negative value stays negative; stored in a byte it wraps the same.
    table[static_cast<size_t>(q)] = static_cast<uint8_t>(value & 0xFF);
  }
  return table;
}

double LowerVoltage(int32_t left) {
  return left * 0.0196 * 1.5;
}

double UpperVoltage(int32_t right, int32_t power) {
  return (5.0 - (80 - right) * 0.0586) * (power / 10.0);
}

}  // namespace lumarex
