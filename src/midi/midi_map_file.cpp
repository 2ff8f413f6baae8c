#include "midi/midi_map_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"

namespace lumarex {
namespace {

using Json = nlohmann::ordered_json;

// A map file is a few kilobytes; anything far larger is no map file.
constexpr size_t kMaxFileSize = 1 << 20;

struct Table {
  const char* key;
  MidiSource::Kind kind;
};
constexpr Table kTables[] = {{"notes", MidiSource::Kind::kNote},
                             {"cc", MidiSource::Kind::kController}};

std::optional<uint8_t> NumberKey(const std::string& key) {
  uint32_t number = 0;
  const char* end = key.data() + key.size();
  const auto [stop, fault] = std::from_chars(key.data(), end, number);
  if (key.empty() || fault != std::errc{} || stop != end || number > 127) return std::nullopt;
  return static_cast<uint8_t>(number);
}

bool ReadTable(const Json& table, const Table& which, MidiMap& map, std::string& error) {
  if (!table.is_object()) {
    error = std::string(which.key) + ": an object of numbers 0..127 expected";
    return false;
  }
  for (const auto& [key, value] : table.items()) {
    const auto number = NumberKey(key);
    if (!number) {
      error = std::string(which.key) + ": \"" + key + "\" is no number 0..127";
      return false;
    }
    const std::string where = std::string(which.key) + " " + key;
    auto& entry = map.At({which.kind, *number});
    if (value.is_null()) {
      entry.reset();
      continue;
    }
    if (!value.is_string()) {
      error = where + ": a target text or null expected";
      return false;
    }
    const auto target = ParseMidiTarget(value.get_ref<const std::string&>());
    if (!target) {
      error = where + ": unknown target \"" + value.get<std::string>() + "\"";
      return false;
    }
    entry = *target;
  }
  return true;
}

bool ReadChannel(const Json& value, MidiMap& map, std::string& error) {
  if (!value.is_number_integer() || value.get<int64_t>() < 0 || value.get<int64_t>() > 16) {
    error = "channel: 0 (every channel) or 1..16 expected";
    return false;
  }
  map.channel = value.get<int>();
  return true;
}

bool ReadProgramChange(const Json& value, MidiMap& map, std::string& error) {
  if (value.is_null()) {
    map.programChange = MidiMap::ProgramChange::kNone;
    return true;
  }
  if (value == "go" || value == "cue") {
    map.programChange = value == "go" ? MidiMap::ProgramChange::kGo : MidiMap::ProgramChange::kCue;
    return true;
  }
  error = "program_change: \"go\", \"cue\" or null expected";
  return false;
}

Json TableJson(const MidiMap& map, MidiSource::Kind kind) {
  const MidiMap defaults = MidiMap::Default();
  Json table = Json::object();
  for (int n = 0; n < 128; ++n) {
    const MidiSource source{kind, static_cast<uint8_t>(n)};
    if (map.At(source)) {
      table[std::to_string(n)] = MidiTargetText(*map.At(source));
    } else if (defaults.At(source)) {
      table[std::to_string(n)] = nullptr;
    }
  }
  return table;
}

}  // namespace

bool ParseMidiMapText(std::string_view text, MidiMap& map, std::string& error) {
  Json json;
  try {
    json = Json::parse(text.begin(), text.end());
  } catch (const Json::exception& e) {
    // "[json.exception.parse_error.101] parse error at line 1, column 2: ..." without its tag;
    // a number too large for a double is an out_of_range error of the same form.
    const std::string what = e.what();
    const size_t tag = what.find("] ");
    error = "not JSON: " + (tag == std::string::npos ? what : what.substr(tag + 2));
    return false;
  }
  if (!json.is_object()) {
    error = "a JSON object expected";
    return false;
  }
  MidiMap read = map;
  for (const auto& [key, value] : json.items()) {
    bool ok = false;
    if (key == "channel") {
      ok = ReadChannel(value, read, error);
    } else if (key == "program_change") {
      ok = ReadProgramChange(value, read, error);
    } else if (key == kTables[0].key || key == kTables[1].key) {
      ok = ReadTable(value, key == kTables[0].key ? kTables[0] : kTables[1], read, error);
    } else {
      error = "unknown key \"" + key + "\" (channel, notes, cc, program_change)";
    }
    if (!ok) return false;
  }
  map = std::move(read);
  return true;
}

bool ReadMidiMapFile(const std::string& path, MidiMap& map, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  char chunk[4096];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    text.append(chunk, static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxFileSize) {
      error = path + ": larger than a map file can be (1 MiB)";
      return false;
    }
  }
  if (!ParseMidiMapText(text, map, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

std::string MidiMapText(const MidiMap& map) {
  Json json = Json::object();
  json["channel"] = map.channel;
  json["notes"] = TableJson(map, MidiSource::Kind::kNote);
  json["cc"] = TableJson(map, MidiSource::Kind::kController);
  switch (map.programChange) {
    case MidiMap::ProgramChange::kNone:
      json["program_change"] = nullptr;
      break;
    case MidiMap::ProgramChange::kGo:
      json["program_change"] = "go";
      break;
    case MidiMap::ProgramChange::kCue:
      json["program_change"] = "cue";
      break;
  }
  // Texts that are no UTF-8 (a control name set by hand) are written replaced, never thrown.
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool WriteMidiMapFile(const MidiMap& map, const std::string& path, std::string& error) {
  const std::string text = MidiMapText(map);
  AtomicFile file;
  if (!file.Open(path) || !file.Write(text.data(), text.size()) || !file.Commit()) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace lumarex
