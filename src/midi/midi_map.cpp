#include "midi/midi_map.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace lumarex {
namespace {

using Kind = MidiTarget::Kind;

struct Keyword {
  const char* text;
  Kind kind;
};
constexpr Keyword kKeywords[] = {
    {"Play", Kind::kPlay},       {"Stop", Kind::kStop},         {"Blackout", Kind::kBlackout},
    {"Next", Kind::kNext},       {"Previous", Kind::kPrevious}, {"Go", Kind::kGo},
    {"Cue", Kind::kCue},         {"power", Kind::kPower},       {"rate", Kind::kRate},
    {"control", Kind::kControl},
};

// The frame rate's range as the rate scroll bar has it.
constexpr int32_t kRateMin = 1;
constexpr int32_t kRateMax = 50;
// Set list entries beyond this are typing errors, not lists.
constexpr int32_t kMaxEntry = 100000;

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trimmed(std::string_view text) {
  const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

// `value` of 0..inMax onto min..max, linear and rounded to the nearest step.
int32_t Scale(int32_t value, int32_t inMax, int32_t min, int32_t max) {
  if (max <= min) return min;
  const int64_t span = int64_t{max} - min;
  return static_cast<int32_t>(min + (2 * int64_t{value} * span + inMax) / (2 * int64_t{inMax}));
}

bool IsCommand(Kind kind) {
  return kind != Kind::kPower && kind != Kind::kRate && kind != Kind::kControl;
}

RemoteCommand Command(RemoteCommand::Kind kind, std::string text = {}, int32_t value = 0) {
  return RemoteCommand{kind, CommandSource::kMidi, std::move(text), value};
}

std::optional<RemoteCommand> Resolve(const MidiTarget& target, int32_t value,
                                     const ControlLookup& lookup) {
  using Remote = RemoteCommand::Kind;
  if (IsCommand(target.kind) && value == 0) return std::nullopt;
  switch (target.kind) {
    case Kind::kPlay:
      return Command(Remote::kPlay);
    case Kind::kStop:
      return Command(Remote::kStop);
    case Kind::kBlackout:
      return Command(Remote::kBlackout);
    case Kind::kNext:
      return Command(Remote::kNext);
    case Kind::kPrevious:
      return Command(Remote::kPrevious);
    case Kind::kGo:
      return Command(Remote::kGo, {}, target.entry);
    case Kind::kCue:
      return Command(Remote::kCue, {}, target.entry);
    case Kind::kPower: {
      if (value == 0) return Command(Remote::kBlackout);
      const auto power = lookup ? lookup(kPowerControl) : std::nullopt;
      if (!power) return std::nullopt;
      return Command(Remote::kSet, kPowerControl, Scale(value - 1, 126, power->min, power->max));
    }
    case Kind::kRate:
      return Command(Remote::kSet, kRateControl, Scale(value, 127, kRateMin, kRateMax));
    case Kind::kControl: {
      const auto control = lookup ? lookup(target.control) : std::nullopt;
      if (!control) return std::nullopt;
      return Command(Remote::kSet, control->name, Scale(value, 127, control->min, control->max));
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<MidiTarget> ParseMidiTarget(std::string_view text) {
  text = Trimmed(text);
  const size_t gap = std::min(text.find_first_of(" \t"), text.size());
  const std::string_view word = text.substr(0, gap);
  const std::string_view rest = Trimmed(text.substr(gap));
  const auto keyword = std::find_if(std::begin(kKeywords), std::end(kKeywords),
                                    [&](const Keyword& k) { return SameWord(word, k.text); });
  if (keyword == std::end(kKeywords)) return std::nullopt;
  MidiTarget target{keyword->kind, 0, {}};
  if (target.kind == Kind::kGo || target.kind == Kind::kCue) {
    const char* end = rest.data() + rest.size();
    const auto [stop, fault] = std::from_chars(rest.data(), end, target.entry);
    if (rest.empty() || fault != std::errc{} || stop != end) return std::nullopt;
    if (target.entry < 1 || target.entry > kMaxEntry) return std::nullopt;
    return target;
  }
  if (target.kind == Kind::kControl) {
    if (rest.empty()) return std::nullopt;
    target.control = std::string(rest);
    return target;
  }
  if (!rest.empty()) return std::nullopt;
  return target;
}

std::string MidiTargetText(const MidiTarget& target) {
  const auto keyword = std::find_if(std::begin(kKeywords), std::end(kKeywords),
                                    [&](const Keyword& k) { return k.kind == target.kind; });
  std::string text = keyword->text;
  if (target.kind == Kind::kGo || target.kind == Kind::kCue) {
    text += " " + std::to_string(target.entry);
  } else if (target.kind == Kind::kControl) {
    text += " " + target.control;
  }
  return text;
}

std::string MidiSourceText(const MidiSource& source) {
  return (source.kind == MidiSource::Kind::kNote ? "note " : "cc ") + std::to_string(source.number);
}

MidiMap MidiMap::Default() {
  MidiMap map;
  map.notes[60] = MidiTarget{Kind::kPlay, 0, {}};
  map.notes[61] = MidiTarget{Kind::kStop, 0, {}};
  map.notes[62] = MidiTarget{Kind::kBlackout, 0, {}};
  map.notes[63] = MidiTarget{Kind::kNext, 0, {}};
  map.notes[64] = MidiTarget{Kind::kPrevious, 0, {}};
  map.controllers[7] = MidiTarget{Kind::kPower, 0, {}};
  map.controllers[1] = MidiTarget{Kind::kRate, 0, {}};
  map.programChange = ProgramChange::kGo;
  return map;
}

const std::optional<MidiTarget>& MidiMap::At(const MidiSource& source) const {
  const auto& table = source.kind == MidiSource::Kind::kNote ? notes : controllers;
  return table[source.number & 0x7F];
}

std::optional<MidiTarget>& MidiMap::At(const MidiSource& source) {
  auto& table = source.kind == MidiSource::Kind::kNote ? notes : controllers;
  return table[source.number & 0x7F];
}

bool MidiMap::Hears(const MidiMessage& message) const {
  return channel == 0 || message.channel == channel;
}

std::optional<RemoteCommand> MidiMap::Translate(const MidiMessage& message,
                                                const ControlLookup& lookup) const {
  if (!Hears(message)) return std::nullopt;
  const int32_t value = message.value;
  switch (message.kind) {
    case MidiMessage::Kind::kNoteOn: {
      const auto& target = At({MidiSource::Kind::kNote, message.number});
      return target ? Resolve(*target, value, lookup) : std::nullopt;
    }
    case MidiMessage::Kind::kControlChange: {
      const auto& target = At({MidiSource::Kind::kController, message.number});
      return target ? Resolve(*target, value, lookup) : std::nullopt;
    }
    case MidiMessage::Kind::kProgramChange: {
      const int32_t entry = message.number + 1;
      if (programChange == ProgramChange::kGo) return Command(RemoteCommand::Kind::kGo, {}, entry);
      if (programChange == ProgramChange::kCue) {
        return Command(RemoteCommand::Kind::kCue, {}, entry);
      }
      return std::nullopt;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace lumarex
