#include "midi/midi_learn.h"

#include <gtest/gtest.h>

#include "midi/midi_map_file.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

MidiMessage Note(uint8_t note, uint8_t channel = 1) {
  return {MidiMessage::Kind::kNoteOn, channel, note, 100};
}
MidiMessage Controller(uint8_t number, uint8_t value, uint8_t channel = 1) {
  return {MidiMessage::Kind::kControlChange, channel, number, value};
}

TEST(MidiLearn, PicksATargetMapsTheNextKeyOrKnobAndSavesTheMap) {
  MidiMap map = MidiMap::Default();
  MidiLearn learn(map);
  EXPECT_FALSE(learn.Offer(Note(65))) << "nothing picked";
  EXPECT_EQ(learn.GetState(), MidiLearn::State::kIdle);

  learn.Begin(*ParseMidiTarget("Go 3"));
  EXPECT_EQ(learn.GetState(), MidiLearn::State::kListening);
  // Releases, program changes and the bend are no key or knob to learn.
  EXPECT_FALSE(learn.Offer({MidiMessage::Kind::kNoteOff, 1, 65, 0}));
  EXPECT_FALSE(learn.Offer({MidiMessage::Kind::kProgramChange, 1, 4, 0}));
  EXPECT_FALSE(learn.Offer({MidiMessage::Kind::kPitchBend, 1, 0, 8192}));
  EXPECT_TRUE(learn.Offer(Note(65)));
  EXPECT_EQ(learn.GetState(), MidiLearn::State::kLearned);
  EXPECT_EQ(MidiSourceText(*learn.LearnedSource()), "note 65");
  EXPECT_EQ(map.notes[65], ParseMidiTarget("Go 3"));
  EXPECT_FALSE(learn.Offer(Note(66))) << "one key per pick";
  EXPECT_FALSE(map.notes[66]);

  // A cancelled pick changes nothing.
  learn.Begin(*ParseMidiTarget("control Scanspeed"));
  learn.Cancel();
  EXPECT_EQ(learn.GetState(), MidiLearn::State::kIdle);
  EXPECT_FALSE(learn.Offer(Controller(10, 64)));
  EXPECT_FALSE(map.controllers[10]);

  // A key that did something else does the new target now.
  learn.Begin(*ParseMidiTarget("Stop"));
  EXPECT_TRUE(learn.Offer(Note(60)));
  EXPECT_EQ(map.notes[60], ParseMidiTarget("Stop"));

  // Only what the map hears is learned.
  map.channel = 2;
  learn.Begin(*ParseMidiTarget("control Scanspeed"));
  EXPECT_FALSE(learn.Offer(Controller(10, 64, 1)));
  EXPECT_TRUE(learn.Offer(Controller(10, 64, 2)));
  EXPECT_EQ(MidiSourceText(*learn.LearnedSource()), "cc 10");
  EXPECT_EQ(map.controllers[10], ParseMidiTarget("control Scanspeed"));

  test::TempDir dir;
  std::string error;
  EXPECT_TRUE(learn.Unsaved());
  EXPECT_FALSE(learn.Save(dir.File("missing/map.json"), error));
  EXPECT_TRUE(learn.Unsaved()) << error;
  ASSERT_TRUE(learn.Save(dir.File("map.json"), error)) << error;
  EXPECT_FALSE(learn.Unsaved());
  MidiMap read = MidiMap::Default();
  ASSERT_TRUE(ReadMidiMapFile(dir.File("map.json"), read, error)) << error;
  EXPECT_EQ(read, map);
}

}  // namespace
}  // namespace lumarex
