#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace lumarex {

// The level slots of one DMX universe, slot 1 at index 0.
inline constexpr size_t kDmxSlots = 512;
using DmxLevels = std::array<uint8_t, kDmxSlots>;

// The sequence rule of E1.31 (6.7.2), which we also use for Art-Net: a packet whose sequence
// number is 0 to 19 behind the last one taken from the same source (counted in signed 8-bit
// arithmetic, so it holds across the wrap) arrived late or twice and is dropped. 20 and more
// behind is taken as the sender starting again.
inline bool SequenceIsLate(uint8_t last, uint8_t next) {
  const auto difference = static_cast<int8_t>(static_cast<uint8_t>(next - last));
  return difference <= 0 && difference > -20;
}

// Copies `slots` into the first slots of `levels` (never more than a universe holds).
inline void SetSlots(DmxLevels& levels, std::span<const uint8_t> slots) {
  const size_t n = slots.size() < kDmxSlots ? slots.size() : kDmxSlots;
  for (size_t i = 0; i < n; ++i) levels[i] = slots[i];
}

// Highest takes precedence: each slot of `merged` becomes the higher of itself and `source`.
inline void MergeHighest(DmxLevels& merged, const DmxLevels& source) {
  for (size_t i = 0; i < kDmxSlots; ++i) {
    if (source[i] > merged[i]) merged[i] = source[i];
  }
}

}  // namespace lumarex
