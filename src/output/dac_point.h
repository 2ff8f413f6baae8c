#pragma once

#include <cstdint>

namespace lumarex {

// The 12-byte point record the DAC driver library takes: positions 0..65535 with the centre
// at 32768, the colours after the colour tables and their mean as intensity.
struct DacPoint {
  uint16_t x = 0;
  uint16_t y = 0;
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t i = 0;
  uint8_t reserved[4] = {0, 0, 0, 0};

  friend bool operator==(const DacPoint&, const DacPoint&) = default;
};
static_assert(sizeof(DacPoint) == 12, "the driver library reads 12-byte records");

// An entry of the staged points and of the output sequence: show coordinates and colour.
// i is (r + g + b) div 3 and 0 means blanked.
struct SequencePoint {
  int32_t x = 0;
  int32_t y = 0;
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t i = 0;

  friend bool operator==(const SequencePoint&, const SequencePoint&) = default;
};
static_assert(sizeof(SequencePoint) == 12);

}  // namespace lumarex
