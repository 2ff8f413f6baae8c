#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "dmx/dmx_levels.h"

namespace lumarex {

// The four channels of our DMX personality, from the start address on: show, playback, frame
// rate, dimmer.
inline constexpr size_t kPersonalityChannels = 4;
inline constexpr uint16_t kMaxStartAddress = kDmxSlots - kPersonalityChannels + 1;  // 509
using PersonalityValues = std::array<uint8_t, kPersonalityChannels>;

// The personality's values in a universe, `address` counted from 1 (1..509).
inline PersonalityValues PersonalityAt(const DmxLevels& levels, uint16_t address) {
  PersonalityValues values{};
  for (size_t i = 0; i < kPersonalityChannels; ++i) values[i] = levels[address - 1u + i];
  return values;
}

// Follows the personality in a merge on the receiving thread, so that only a change of its
// four values reaches the user-interface thread: a desk that sends the same look 44 times a
// second costs nothing there.
class PersonalityWatch {
 public:
  explicit PersonalityWatch(uint16_t address) : address_(address) {}

  // The values when they differ from the last ones answered (the first ones always), none
  // otherwise or while no levels have arrived.
  std::optional<PersonalityValues> Changed(const DmxLevels& levels, bool signal) {
    if (!signal) return std::nullopt;
    const PersonalityValues now = PersonalityAt(levels, address_);
    if (last_ == now) return std::nullopt;
    last_ = now;
    return now;
  }

 private:
  uint16_t address_;
  std::optional<PersonalityValues> last_;
};

}  // namespace lumarex
