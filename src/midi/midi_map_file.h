#pragma once

#include <string>
#include <string_view>

#include "midi/midi_map.h"

namespace lumarex {

// The MIDI map file: one JSON object whose entries override those of the map it is read onto
// (the default map, as the input reads it). Every key is optional:
//
//   {
//     "channel": 2,                           0 or missing: every channel; 1..16: that one
//     "notes": {"60": "Play", "65": "Go 3", "64": null},
//     "cc": {"7": "power", "10": "control Scanspeed", "20": "Next"},
//     "program_change": "go"                  "go", "cue" or null (ignored)
//   }
//
// Keys of "notes" and "cc" are the note and controller numbers 0..127, values a target as
// ParseMidiTarget reads it, or null to take the entry out. Other keys are errors, so that a
// misspelt key is reported rather than silently doing nothing.

// Reads `text` onto `map`; on an error, `map` stays as it was and `error` says what is wrong
// and where.
bool ParseMidiMapText(std::string_view text, MidiMap& map, std::string& error);
bool ReadMidiMapFile(const std::string& path, MidiMap& map, std::string& error);

// The whole map in the same format, read back onto the default map to the same map: every
// mapped entry, and null for each default entry the map has taken out.
std::string MidiMapText(const MidiMap& map);
// Written beside the target and renamed into place, so a failed save leaves the old file.
bool WriteMidiMapFile(const MidiMap& map, const std::string& path, std::string& error);

}  // namespace lumarex
