#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "midi/midi_map.h"
#include "midi/midi_message.h"

namespace lumarex {

// MIDI learn, the model of the learn tool window: the operator picks a target (a command or a
// control), moves a key or knob, and the next note-on or controller that the map hears is
// mapped to that target, replacing what it did before. User-interface thread only.
class MidiLearn {
 public:
  enum class State : uint8_t {
    kIdle,       // nothing picked
    kListening,  // a target picked, waiting for a key or knob
    kLearned,    // the last pick was mapped; Learned() says to what
  };

  // Learns into `map`, which must outlive the learn.
  explicit MidiLearn(MidiMap& map) : map_(map) {}

  // Waits for the next note or controller to map onto `target` (a new pick replaces one that
  // is still waiting).
  void Begin(MidiTarget target);
  // Stops waiting; the map stays as it is.
  void Cancel();
  // Offers a received message: true when learn took it (it then must not act as well). Only
  // note-ons and controllers on a channel the map hears are taken, and only while listening.
  bool Offer(const MidiMessage& message);

  State GetState() const { return state_; }
  // The target waited for, or last learned.
  const std::optional<MidiTarget>& Target() const { return target_; }
  // The source last learned, e.g. note 65.
  const std::optional<MidiSource>& LearnedSource() const { return learned_; }
  // Learned since the last Save.
  bool Unsaved() const { return unsaved_; }

  // Writes the map file (see midi_map_file.h); false with the reason in `error`.
  bool Save(const std::string& path, std::string& error);

 private:
  MidiMap& map_;
  State state_ = State::kIdle;
  std::optional<MidiTarget> target_;
  std::optional<MidiSource> learned_;
  bool unsaved_ = false;
};

}  // namespace lumarex
