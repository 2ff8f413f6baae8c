#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "control/control_registry.h"
#include "control/remote_command.h"
#include "midi/midi_message.h"

namespace lumarex {

// What a note or a controller does. As text (the map file's and the learn window's):
//   "Play", "Stop", "Blackout", "Next", "Previous"  the player's commands
//   "Go N", "Cue N"                                 set list entry N, counted from 1
//   "power"    the power track bar: 0 is Blackout, 1..127 its range from lowest to highest
//   "rate"     the frame rate, 0..127 onto 1..50
//   "control NAME"  a registry control, 0..127 onto its range (e.g. "control Scanspeed")
// Keywords are read in any case; control names as the registry spells them.
struct MidiTarget {
  enum class Kind : uint8_t {
    kPlay,
    kStop,
    kBlackout,
    kNext,
    kPrevious,
    kGo,
    kCue,
    kPower,
    kRate,
    kControl,
  };
  Kind kind = Kind::kPlay;
  int32_t entry = 0;    // kGo, kCue
  std::string control;  // kControl

  bool operator==(const MidiTarget&) const = default;
};

// None for text that names no target.
std::optional<MidiTarget> ParseMidiTarget(std::string_view text);
// The text ParseMidiTarget reads back: "Go 3", "power", "control Scanspeed".
std::string MidiTargetText(const MidiTarget& target);

// A key or knob of the controller that a target can sit on.
struct MidiSource {
  enum class Kind : uint8_t { kNote, kController };
  Kind kind = Kind::kNote;
  uint8_t number = 0;  // 0..127

  bool operator==(const MidiSource&) const = default;
};

// "note 60", "cc 7".
std::string MidiSourceText(const MidiSource& source);

// The control's range as the registry answers it now, or none for an unknown name. The map
// asks at the time a message is applied, on the user-interface thread.
using ControlLookup = std::function<std::optional<NamedControl>(std::string_view name)>;

// MIDI messages onto remote commands. Pure: the registry is reached only through the lookup.
//
// A note-on (velocity > 0) fires its note's target; a controller's value moves its target, or
// fires a command target when above 0 (a button's press, not its release). A program change p
// goes to (or cues) set list entry p + 1. Note-offs, pressures and the bend do nothing.
struct MidiMap {
  // The default map: notes 60 Play, 61 Stop, 62 Blackout, 63 Next, 64 Previous; program
  // change Go; CC 7 power; CC 1 rate; any channel.
  static MidiMap Default();

  enum class ProgramChange : uint8_t { kNone, kGo, kCue };

  int channel = 0;  // 1..16; 0 listens to all
  std::array<std::optional<MidiTarget>, 128> notes;
  std::array<std::optional<MidiTarget>, 128> controllers;
  ProgramChange programChange = ProgramChange::kGo;

  const std::optional<MidiTarget>& At(const MidiSource& source) const;
  std::optional<MidiTarget>& At(const MidiSource& source);
  // Whether the channel filter lets the message through.
  bool Hears(const MidiMessage& message) const;

  // The command the message stands for, with source kMidi; none when the map has nothing for
  // it (another channel, an unmapped key, a control the registry does not know).
  std::optional<RemoteCommand> Translate(const MidiMessage& message,
                                         const ControlLookup& lookup) const;

  bool operator==(const MidiMap&) const = default;
};

}  // namespace lumarex
