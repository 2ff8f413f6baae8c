#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lumarex {

// One channel message as it came off a MIDI port. System messages (clock, sysex, active
// sensing) are none: show control has no use for them.
struct MidiMessage {
  enum class Kind : uint8_t {
    kNoteOff,  // a note-on of velocity 0 too, as every sender means it
    kNoteOn,   // velocity 1..127
    kPolyPressure,
    kControlChange,
    kProgramChange,
    kChannelPressure,
    kPitchBend,
  };
  Kind kind = Kind::kNoteOn;
  uint8_t channel = 1;  // 1..16
  uint8_t number = 0;   // the note, controller or program; 0 for the pressures and the bend
  uint16_t value = 0;   // velocity, controller value, pressure 0..127; the bend 0..16383

  bool operator==(const MidiMessage&) const = default;
};

// The message in `bytes`: a status byte and exactly the data bytes it takes, each below 0x80.
// Anything else (running status, a system message, a short or long read) is none.
std::optional<MidiMessage> DecodeMidiMessage(std::span<const uint8_t> bytes);

// The message for the operator: "note 60 ch 1", "note off 60 ch 1", "cc 7 = 64 ch 1",
// "program 1 ch 1", "pressure 60 = 12 ch 1", "pressure 12 ch 1", "bend 8192 ch 1".
std::string MidiMessageText(const MidiMessage& message);

}  // namespace lumarex
