// Map files come from users and MIDI bytes from any program: every input is read as both.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "midi/midi_map.h"
#include "midi/midi_map_file.h"
#include "midi/midi_message.h"

namespace {

constexpr int32_t kMin = -3;
constexpr int32_t kMax = 250;

std::optional<lumarex::NamedControl> Lookup(std::string_view name) {
  return lumarex::NamedControl{std::string(name), kMin, kMax};
}

// A message through the map: a control is only ever set within its range.
void Translate(const lumarex::MidiMap& map, std::span<const uint8_t> bytes) {
  const auto message = lumarex::DecodeMidiMessage(bytes);
  if (!message) return;
  if (message->channel < 1 || message->channel > 16) std::abort();
  if (lumarex::MidiMessageText(*message).empty()) std::abort();
  const auto command = map.Translate(*message, Lookup);
  if (command && command->kind == lumarex::RemoteCommand::Kind::kSet &&
      (command->value < kMin || command->value > kMax)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  lumarex::MidiMap map = lumarex::MidiMap::Default();

  // As a map file: a map read writes and reads back the same; a failure says why.
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (lumarex::ParseMidiMapText(text, map, error)) {
    lumarex::MidiMap again = lumarex::MidiMap::Default();
    if (!lumarex::ParseMidiMapText(lumarex::MidiMapText(map), again, error) || !(again == map)) {
      std::abort();
    }
    for (int n = 0; n < 128; ++n) {
      const auto b = static_cast<uint8_t>(n);
      const uint8_t cc[] = {0xB0, b, b};
      const uint8_t note[] = {0x90, b, 127};
      Translate(map, cc);
      Translate(map, note);
    }
  } else if (error.empty()) {
    std::abort();
  }

  // As messages of one to three bytes from every offset, through the map read (or the default).
  for (size_t at = 0; at < bytes.size(); ++at) {
    for (size_t length = 1; length <= 3 && at + length <= bytes.size(); ++length) {
      Translate(map, bytes.subspan(at, length));
    }
  }
  return 0;
}
