#include "midi/midi_map.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "midi/midi_map_file.h"
#include "midi/midi_message.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

// The power track bar's range as the main window has it, and one more control.
std::optional<NamedControl> Lookup(std::string_view name) {
  if (name == kPowerControl) return NamedControl{kPowerControl, 4, 10};
  if (name == "Scanspeed") return NamedControl{"Scanspeed", 5, 105};
  return std::nullopt;
}

// "Play", "Go 2", "Set Dimmen_RGB 7"; empty for none.
std::string Text(const std::optional<RemoteCommand>& command) {
  if (!command) return {};
  EXPECT_EQ(command->source, CommandSource::kMidi);
  using Kind = RemoteCommand::Kind;
  switch (command->kind) {
    case Kind::kPlay:
      return "Play";
    case Kind::kStop:
      return "Stop";
    case Kind::kBlackout:
      return "Blackout";
    case Kind::kNext:
      return "Next";
    case Kind::kPrevious:
      return "Previous";
    case Kind::kGo:
      return "Go " + std::to_string(command->value);
    case Kind::kCue:
      return "Cue " + std::to_string(command->value);
    case Kind::kSet:
      return "Set " + command->text + " " + std::to_string(command->value);
    case Kind::kLoad:
      return "Load " + command->text;
  }
  return "?";
}

std::string Translated(const MidiMap& map, const std::vector<uint8_t>& bytes) {
  const auto message = DecodeMidiMessage(bytes);
  return message ? Text(map.Translate(*message, Lookup)) : "";
}

struct Case {
  std::vector<uint8_t> bytes;
  std::string command;
};

TEST(MidiMap, TheDefaultMapOnAnyChannel) {
  const std::vector<Case> cases = {
      {{0x90, 60, 100}, "Play"},
      {{0x9F, 61, 1}, "Stop"},  // channel 16
      {{0x93, 62, 127}, "Blackout"},
      {{0x90, 63, 64}, "Next"},
      {{0x90, 64, 64}, "Previous"},
      {{0x90, 60, 0}, ""},  // a note-on of velocity 0 is a note-off
      {{0x80, 60, 64}, ""},
      {{0x90, 65, 100}, ""},
      // Power: 0 is Blackout, 1..127 the track bar's 4..10, rounded.
      {{0xB0, 7, 0}, "Blackout"},
      {{0xB0, 7, 1}, "Set Dimmen_RGB 4"},
      {{0xB0, 7, 11}, "Set Dimmen_RGB 4"},
      {{0xB0, 7, 12}, "Set Dimmen_RGB 5"},
      {{0xB0, 7, 64}, "Set Dimmen_RGB 7"},
      {{0xB5, 7, 127}, "Set Dimmen_RGB 10"},
      // The frame rate 1..50.
      {{0xB0, 1, 0}, "Set Irq_Speed 1"},
      {{0xB0, 1, 64}, "Set Irq_Speed 26"},
      {{0xB0, 1, 127}, "Set Irq_Speed 50"},
      {{0xB0, 2, 127}, ""},
      {{0xC0, 0}, "Go 1"},
      {{0xC4, 1}, "Go 2"},
      {{0xC0, 127}, "Go 128"},
      // What is no whole channel message.
      {{0xC0, 1, 0}, ""},
      {{0xB0, 7}, ""},
      {{60, 100}, ""},  // running status
      {{0x90, 0x80, 1}, ""},
      {{0xF8}, ""},
      {{0xF0, 1, 2, 0xF7}, ""},
      {{0xE0, 0, 64}, ""},
      {{}, ""},
  };
  const MidiMap map = MidiMap::Default();
  for (const Case& c : cases) {
    EXPECT_EQ(Translated(map, c.bytes), c.command) << testing::PrintToString(c.bytes);
  }

  // The power needs its range from the registry; without it nothing is set.
  const auto cc = DecodeMidiMessage(std::vector<uint8_t>{0xB0, 7, 64});
  EXPECT_FALSE(map.Translate(*cc, [](std::string_view) { return std::nullopt; }));

  MidiMap second = map;
  second.channel = 2;
  EXPECT_EQ(Translated(second, {0x90, 60, 100}), "");
  EXPECT_EQ(Translated(second, {0x91, 60, 100}), "Play");
}

TEST(MidiMap, MessagesAndTargetsAsText) {
  const std::vector<std::pair<std::vector<uint8_t>, std::string>> messages = {
      {{0x90, 60, 100}, "note 60 ch 1"},   {{0x8F, 60, 0}, "note off 60 ch 16"},
      {{0x90, 61, 0}, "note off 61 ch 1"}, {{0xB0, 7, 64}, "cc 7 = 64 ch 1"},
      {{0xC1, 1}, "program 1 ch 2"},       {{0xA0, 60, 12}, "pressure 60 = 12 ch 1"},
      {{0xD0, 12}, "pressure 12 ch 1"},    {{0xE0, 0x7F, 0x7F}, "bend 16383 ch 1"},
  };
  for (const auto& [bytes, text] : messages) {
    const auto message = DecodeMidiMessage(bytes);
    ASSERT_TRUE(message) << text;
    EXPECT_EQ(MidiMessageText(*message), text);
  }

  const std::vector<std::pair<std::string, std::string>> targets = {
      {"Play", "Play"},
      {" stop ", "Stop"},
      {"GO 12", "Go 12"},
      {"cue  1", "Cue 1"},
      {"Power", "power"},
      {"rate", "rate"},
      {"Next", "Next"},
      {"previous", "Previous"},
      {"control Achse_X.Left", "control Achse_X.Left"},
  };
  for (const auto& [text, canonical] : targets) {
    const auto target = ParseMidiTarget(text);
    ASSERT_TRUE(target) << text;
    EXPECT_EQ(MidiTargetText(*target), canonical);
    EXPECT_EQ(ParseMidiTarget(canonical), target);
  }
  for (const char* bad :
       {"", "Go", "Go x", "Go 0", "Go -1", "Go 3x", "Play now", "control", "powerful", "Jump"}) {
    EXPECT_FALSE(ParseMidiTarget(bad)) << bad;
  }
}

TEST(MidiMapFile, OverridesTheDefaultMapAndSaysWhatIsWrong) {
  MidiMap map = MidiMap::Default();
  std::string error;
  ASSERT_TRUE(ParseMidiMapText(R"({
      "channel": 2,
      "notes": {"60": "Stop", "65": "go 3", "61": null},
      "cc": {"10": "control Scanspeed", "20": "Next"},
      "program_change": "cue"})",
                               map, error))
      << error;
  const std::vector<Case> cases = {
      {{0x91, 60, 100}, "Stop"},
      {{0x91, 65, 1}, "Go 3"},
      {{0x91, 61, 100}, ""},
      {{0x91, 62, 100}, "Blackout"},  // kept from the default
      {{0xB1, 10, 0}, "Set Scanspeed 5"},
      {{0xB1, 10, 127}, "Set Scanspeed 105"},
      {{0xB1, 10, 64}, "Set Scanspeed 55"},
      {{0xB1, 20, 127}, "Next"},
      {{0xB1, 20, 0}, ""},  // the button's release
      {{0xB1, 7, 127}, "Set Dimmen_RGB 10"},
      {{0xC1, 4}, "Cue 5"},
      {{0x90, 60, 100}, ""},  // channel 1
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Translated(map, c.bytes), c.command) << testing::PrintToString(c.bytes);
  }

  struct Bad {
    const char* text;
    const char* error;
  };
  const std::vector<Bad> bad = {
      {R"({"notes": {"60": "Play")", "not JSON: parse error at line 1, column"},
      {"", "not JSON"},
      {R"({"channel": 1e999})", "not JSON: number overflow"},
      {"[]", "a JSON object expected"},
      {R"({"note": {}})", R"(unknown key "note")"},
      {R"({"channel": 17})", "channel: 0 (every channel) or 1..16 expected"},
      {R"({"channel": "1"})", "channel:"},
      {R"({"notes": []})", "notes: an object"},
      {R"({"notes": {"128": "Play"}})", R"(notes: "128" is no number 0..127)"},
      {R"({"cc": {"-1": "Play"}})", R"(cc: "-1" is no number)"},
      {R"({"notes": {"60": "Jump"}})", R"(notes 60: unknown target "Jump")"},
      {R"({"cc": {"7": 5}})", "cc 7: a target text or null expected"},
      {R"({"program_change": "next"})", "program_change:"},
  };
  const MidiMap before = map;
  for (const Bad& b : bad) {
    error.clear();
    EXPECT_FALSE(ParseMidiMapText(b.text, map, error)) << b.text;
    EXPECT_NE(error.find(b.error), std::string::npos) << b.text << " -> " << error;
    EXPECT_EQ(map, before) << "a failed read changes nothing";
  }
}

TEST(MidiMapFile, SavedMapsReadBackTheSame) {
  test::TempDir dir;
  MidiMap map = MidiMap::Default();
  map.channel = 16;
  map.notes[61].reset();
  map.notes[0] = ParseMidiTarget("Cue 7");
  map.controllers[127] = ParseMidiTarget("control Achse_Y.Right");
  map.programChange = MidiMap::ProgramChange::kNone;
  std::string error;
  ASSERT_TRUE(WriteMidiMapFile(map, dir.File("map.json"), error)) << error;

  MidiMap read = MidiMap::Default();
  ASSERT_TRUE(ReadMidiMapFile(dir.File("map.json"), read, error)) << error;
  EXPECT_EQ(read, map);
  std::ifstream in(dir.File("map.json"));
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  EXPECT_NE(text.find(R"("61": null)"), std::string::npos) << text;
  EXPECT_LT(text.find(R"("7": "power")"), text.find(R"("127": "control Achse_Y.Right")"))
      << "in number order:\n"
      << text;

  EXPECT_FALSE(ReadMidiMapFile(dir.File("missing.json"), read, error));
  EXPECT_NE(error.find("missing.json: No such file"), std::string::npos) << error;
  EXPECT_FALSE(WriteMidiMapFile(map, dir.File("no/folder/map.json"), error));
  EXPECT_NE(error.find("no/folder/map.json"), std::string::npos) << error;
}

}  // namespace
}  // namespace lumarex
