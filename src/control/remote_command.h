#pragma once

#include <cstdint>
#include <string>

#include "control/control_registry.h"

namespace lumarex {

// A command as a remote input decodes it, on its receiving thread, before it is posted to the
// user-interface thread and applied there. Inputs of every kind (OSC, DMX, MIDI) speak it, so
// that one message does the same whatever carried it.
struct RemoteCommand {
  enum class Kind : uint8_t {
    kPlay,
    kStop,
    kBlackout,
    kLoad,  // text: the path
    kGo,    // value: the set list entry, counted from 1
    kCue,   // value: the set list entry, counted from 1
    kNext,
    kPrevious,
    kSet,  // text: the control's name; value: its position
  };
  Kind kind = Kind::kPlay;
  CommandSource source = CommandSource::kOsc;
  std::string text;
  int32_t value = 0;
};

// The control names of the remote inputs' shortcuts: the frame scroll bar, the frame rate,
// the power track bar and the preview mode.
inline constexpr const char* kFrameControl = "Framescroll";
inline constexpr const char* kRateControl = "Irq_Speed";
inline constexpr const char* kPowerControl = "Dimmen_RGB";
inline constexpr const char* kModeControl = "OGL_Effekt";

// Applies the command through the registry (user-interface thread only): true when it was
// done, as the registry answers.
bool ApplyRemoteCommand(ControlRegistry& registry, const RemoteCommand& command);

}  // namespace lumarex
