#pragma once

#include <array>
#include <cstdint>

namespace lumarex {

using ColourTable = std::array<uint8_t, 256>;

ColourTable IdentityColourTable();

// The table of one colour channel for its range slider's left and right (0..80) and the
// overall power (4..10): 0 goes to the calibrated minimum, 255 to the maximum the range and
// the power allow, linearly in between.
ColourTable BuildColourTable(int32_t left, int32_t right, int32_t power);

// The voltages the channel's range stands for, as written on the status image.
double LowerVoltage(int32_t left);
double UpperVoltage(int32_t right, int32_t power);

}  // namespace lumarex
