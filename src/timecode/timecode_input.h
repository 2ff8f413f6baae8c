#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "timecode/timecode.h"

namespace lumarex {

// What a timecode input last received. `atMs` is the moment, on the clock the input was given,
// at which `tc` was the time (the start of that frame: an LTC frame is read whole, a frame
// after it began; MTC quarter frames complete two frames after the time they carry);
// `receivedMs` is when it arrived. `count` grows by one with each reading, so a reader sees
// whether anything new came.
struct TimecodeReading {
  Timecode tc;
  uint32_t atMs = 0;
  uint32_t receivedMs = 0;
  uint64_t count = 0;
};

// A source of timecode from outside (Art-Net, MIDI timecode, LTC from a sound card or a
// file). Its receiving thread (if any) updates the reading; the player reads it on the
// user-interface thread. Readings are whole times: an input that assembles a time from parts
// (MTC quarter frames) reports it once it is complete.
class TimecodeInput {
 public:
  virtual ~TimecodeInput() = default;
  // The latest reading; none before the first. Any thread.
  virtual std::optional<TimecodeReading> Latest() const = 0;
  // Play was pressed or the show stopped (user-interface thread). Live inputs ignore these;
  // a file played as if live starts from its beginning at Play and stops at Stop.
  virtual void PlayPressed() {}
  virtual void Stopped() {}
  // "artnet", "mtc", "ltc", "ltc-file".
  virtual std::string Name() const = 0;
  // Messages received and ignored (malformed, out of range), for the window's line.
  virtual uint64_t Ignored() const { return 0; }
};

}  // namespace lumarex
