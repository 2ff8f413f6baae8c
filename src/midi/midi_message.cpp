#include "midi/midi_message.h"

namespace lumarex {

std::optional<MidiMessage> DecodeMidiMessage(std::span<const uint8_t> bytes) {
  if (bytes.empty() || bytes[0] < 0x80 || bytes[0] >= 0xF0) return std::nullopt;
  const uint8_t status = bytes[0];
  const auto type = static_cast<uint8_t>(status >> 4);
  // Program change and channel pressure carry one data byte, the others two.
  const size_t dataBytes = (type == 0xC || type == 0xD) ? 1 : 2;
  if (bytes.size() != 1 + dataBytes) return std::nullopt;
  for (size_t i = 1; i < bytes.size(); ++i) {
    if (bytes[i] >= 0x80) return std::nullopt;
  }
  MidiMessage message;
  message.channel = static_cast<uint8_t>((status & 0x0F) + 1);
  const uint8_t first = bytes[1];
  const uint8_t second = dataBytes == 2 ? bytes[2] : 0;
  using Kind = MidiMessage::Kind;
  switch (type) {
    case 0x8:
      message = {Kind::kNoteOff, message.channel, first, second};
      break;
    case 0x9:
      message = {second == 0 ? Kind::kNoteOff : Kind::kNoteOn, message.channel, first, second};
      break;
    case 0xA:
      message = {Kind::kPolyPressure, message.channel, first, second};
      break;
    case 0xB:
      message = {Kind::kControlChange, message.channel, first, second};
      break;
    case 0xC:
      message = {Kind::kProgramChange, message.channel, first, 0};
      break;
    case 0xD:
      message = {Kind::kChannelPressure, message.channel, 0, first};
      break;
    default:  // 0xE: the bend's low seven bits come first
      message = {Kind::kPitchBend, message.channel, 0,
                 static_cast<uint16_t>(first | (second << 7))};
      break;
  }
  return message;
}

std::string MidiMessageText(const MidiMessage& message) {
  const std::string number = std::to_string(message.number);
  const std::string value = std::to_string(message.value);
  std::string text;
  switch (message.kind) {
    case MidiMessage::Kind::kNoteOff:
      text = "note off " + number;
      break;
    case MidiMessage::Kind::kNoteOn:
      text = "note " + number;
      break;
    case MidiMessage::Kind::kPolyPressure:
      text = "pressure " + number + " = " + value;
      break;
    case MidiMessage::Kind::kControlChange:
      text = "cc " + number + " = " + value;
      break;
    case MidiMessage::Kind::kProgramChange:
      text = "program " + number;
      break;
    case MidiMessage::Kind::kChannelPressure:
      text = "pressure " + value;
      break;
    case MidiMessage::Kind::kPitchBend:
      text = "bend " + value;
      break;
  }
  return text + " ch " + std::to_string(message.channel);
}

}  // namespace lumarex
