#include "midi/midi_learn.h"

#include <utility>

#include "midi/midi_map_file.h"

namespace lumarex {

void MidiLearn::Begin(MidiTarget target) {
  target_ = std::move(target);
  state_ = State::kListening;
}

void MidiLearn::Cancel() {
  if (state_ != State::kListening) return;
  target_.reset();
  state_ = State::kIdle;
}

bool MidiLearn::Offer(const MidiMessage& message) {
  if (state_ != State::kListening || !map_.Hears(message)) return false;
  MidiSource source;
  if (message.kind == MidiMessage::Kind::kNoteOn) {
    source = {MidiSource::Kind::kNote, message.number};
  } else if (message.kind == MidiMessage::Kind::kControlChange) {
    source = {MidiSource::Kind::kController, message.number};
  } else {
    return false;
  }
  map_.At(source) = target_;
  learned_ = source;
  unsaved_ = true;
  state_ = State::kLearned;
  return true;
}

bool MidiLearn::Save(const std::string& path, std::string& error) {
  if (!WriteMidiMapFile(map_, path, error)) return false;
  unsaved_ = false;
  return true;
}

}  // namespace lumarex
