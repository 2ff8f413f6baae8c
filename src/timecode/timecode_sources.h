#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "timecode/timecode_input.h"

namespace lumarex {

// Opens the timecode input a command line names: "artnet" (ArtTimeCode on UDP 6454),
// "mtc" or "mtc:PORT" (MIDI timecode; PORT a part of the names of the output ports to
// connect), "ltc" or "ltc:DEVICE" (LTC from an audio capture device, the default one or the
// one whose name contains DEVICE), "ltc-file:PATH" (LTC from a sound file, played as if it
// came in live from Play on). None, with `error` saying why, for anything else or when the
// input cannot be had. `clock` must outlive the input.
std::unique_ptr<TimecodeInput> OpenTimecodeInput(std::string_view source, const Clock& clock,
                                                 std::string& error);

}  // namespace lumarex
