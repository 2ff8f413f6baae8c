#pragma once

#include <lo/lo_osc_types.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "control/remote_command.h"

namespace lumarex {

// The OSC address space of Lumarex. Numbers may come as i, f, h or d (floats rounded to the
// nearest integer, everything clamped to 32 bits) or as T and F (1 and 0); a value command
// takes its first argument and ignores any further ones.
//
//   /lumarex/play, /lumarex/stop, /lumarex/blackout     no arguments (any given are ignored)
//   /lumarex/frame N        the frame scroll bar (kFrameControl)
//   /lumarex/rate N         frames a second, 1..50 (kRateControl)
//   /lumarex/power N        the power track bar in its own units (kPowerControl)
//   /lumarex/mode N         the preview mode (kModeControl)
//   /lumarex/load PATH      a show or a set list (s or S)
//   /lumarex/setlist/go N, /lumarex/setlist/cue N   set list entries counted from 1
//   /lumarex/setlist/next, /lumarex/setlist/previous
//   /lumarex/control/NAME N any control of the registry by its name (Achse_X.Left, ...)
//   /lumarex/subscribe [PORT]   status feedback to the sender, at PORT or the port it sent from
//
// Addresses are matched as written: OSC address patterns (wildcards) name no command. The
// registry clamps each value to its control's range and refuses what the window would refuse
// (an unknown control name, the power lock, a hidden control, a load in progress).
struct OscRequest {
  enum class Kind : uint8_t { kIgnored, kCommand, kSubscribe };
  Kind kind = Kind::kIgnored;
  RemoteCommand command;   // kCommand
  uint16_t replyPort = 0;  // kSubscribe: where the status goes; 0 for the sender's own port
};

// Decodes one message as liblo hands it over: its address, its type tags (without the ',')
// and one argument per tag. Pure: any thread, no state.
OscRequest DecodeOscMessage(std::string_view path, std::string_view types, lo_arg* const* argv);

// The integer an argument stands for, as described above; none for a type that is no number
// (s, b, N, ...), for a float that is not finite, and for a missing argument (nullptr).
std::optional<int32_t> OscNumber(char type, const lo_arg* argument);

}  // namespace lumarex
