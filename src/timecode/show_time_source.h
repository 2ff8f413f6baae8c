#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lumarex {

// Where the show stands, as the player asks it on every tick of its frame clock. Without a
// source the player counts the milliseconds since Play on the system clock, as it always has;
// a source replaces that count (the music's own clock, timecode from outside). User-interface
// thread only.
class ShowTimeSource {
 public:
  virtual ~ShowTimeSource() = default;
  // Play was pressed, or a repeating show starts over, at `nowMs` on the player's clock.
  virtual void Started(uint32_t nowMs) = 0;
  virtual void Stopped() = 0;
  // The show position at `nowMs` in milliseconds; none while the laser is to stay dark (no
  // timecode yet, before the show's start, timecode lost).
  virtual std::optional<uint64_t> PositionMs(uint32_t nowMs) = 0;
  // "system", "audio", "artnet", "mtc", "ltc", "ltc-file".
  virtual std::string Name() const = 0;
  // Timecode puts the show where it is from outside: the player waits dark past the show's
  // end and moves the music to the position. A source of our own (the music's clock) leaves
  // the end, the repeat and the music to the player, as on the system clock.
  virtual bool FromOutside() const { return true; }
};

}  // namespace lumarex
