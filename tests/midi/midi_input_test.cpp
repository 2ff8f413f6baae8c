// The MIDI input against a real JACK server (jackd with its dummy driver) and a sender nobody
// here wrote: mido over python-rtmidi, in a Python process of its own.
#include "midi/midi_input.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "midi/midi_map_file.h"
#include "tests/mainwindow/window_fixture.h"
#include "tests/midi/piped_process.h"
#include "tests/support/step_show.h"

namespace lumarex {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class MidiInputTest : public test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    registry = std::make_unique<ControlRegistry>(*form, dispatcher);
    registry->AddCommandListener([this](const CommandRecord& r) { commands.push_back(r); });
    input = std::make_unique<MidiInput>();
  }
  void TearDown() override {
    input.reset();
    registry.reset();
  }

  std::string WriteShow(const std::string& name, uint32_t frames) {
    EXPECT_TRUE(test::WriteStepShow(dir.File(name), frames));
    return dir.File(name);
  }

  QueueDispatcher dispatcher;
  std::unique_ptr<ControlRegistry> registry;
  std::unique_ptr<MidiInput> input;
  std::vector<CommandRecord> commands;
};

TEST_F(MidiInputTest, RefusesWhatItCannotOpenAndSaysWhy) {
  std::string error;
  MidiInputOptions options;
  options.channel = 17;
  EXPECT_FALSE(input->Start(*registry, dispatcher, options, error));
  EXPECT_EQ(error, "MIDI channel 17: 1..16 expected");

  options = {};
  options.mapFile = dir.File("bad.json");
  std::ofstream(options.mapFile) << R"({"notes": {"60": "Jump"}})";
  EXPECT_FALSE(input->Start(*registry, dispatcher, options, error));
  EXPECT_NE(error.find(R"(bad.json: notes 60: unknown target "Jump")"), std::string::npos) << error;

  options = {};
  options.api = MidiApi::kAlsa;
  error.clear();
  const bool alsa = input->Start(*registry, dispatcher, options, error);
  EXPECT_EQ(alsa, std::filesystem::exists("/dev/snd/seq")) << error;
  if (!alsa) {
    EXPECT_EQ(error.rfind("alsa: ", 0), 0u) << error;
  }
  EXPECT_EQ(input->Running(), alsa);
  input->Stop();

  // A JACK server of this name does not run.
  ::setenv("JACK_DEFAULT_SERVER", ("lumarex-none-" + std::to_string(::getpid())).c_str(), 1);
  options.api = MidiApi::kJack;
  EXPECT_FALSE(input->Start(*registry, dispatcher, options, error));
  EXPECT_EQ(error.rfind("jack: ", 0), 0u) << error;
  ::setenv("LUMAREX_MIDI_API", "coremidi", 1);
  options.api = MidiApi::kAuto;
  EXPECT_FALSE(input->Start(*registry, dispatcher, options, error));
  EXPECT_EQ(error, "LUMAREX_MIDI_API=coremidi: jack or alsa expected");
  ::unsetenv("LUMAREX_MIDI_API");
  ::unsetenv("JACK_DEFAULT_SERVER");
  EXPECT_FALSE(input->Running());
}

// A JACK server of the test's own, and the sender with a virtual output port.
class MidiJackTest : public MidiInputTest {
 protected:
  void SetUp() override {
    MidiInputTest::SetUp();
    for (const char* tool : {"/usr/bin/jackd", "/usr/bin/python3"}) {
      if (::access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is missing (Debian jackd2, python3)";
    }
    const std::string pid = std::to_string(::getpid());
    server = "lumarex-midi-" + pid;
    sender = "lumarex-sender-" + pid;
    ::setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::unsetenv("LUMAREX_MIDI_API");
    jackd = std::make_unique<test::PipedProcess>(
        std::vector<std::string>{"jackd", "-n", server, "--no-realtime", "-d", "dummy"},
        dir.File("jackd.log"));
    ASSERT_TRUE(jackd->Started());
    // The server takes a moment; a JACK client fails at once until it is there.
    MidiInputOptions options;
    options.api = MidiApi::kJack;
    const auto deadline = std::chrono::steady_clock::now() + seconds(5);
    std::string error;
    while (!input->Start(*registry, dispatcher, options, error) &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(100));
    }
    ASSERT_TRUE(input->Running()) << error << "\n" << Log("jackd.log");
    input->Stop();

    python = std::make_unique<test::PipedProcess>(
        std::vector<std::string>{"/usr/bin/python3", MIDI_SENDER, sender, "out"},
        dir.File("python.log"));
    ASSERT_EQ(python->ReadLine(seconds(5)), "ready") << Log("python.log");
  }
  void TearDown() override {
    // Our clients and the sender's go before their server.
    input.reset();
    if (python) python->End(std::chrono::seconds(2));
    jackd.reset();
    ::unsetenv("JACK_DEFAULT_SERVER");
    ::unsetenv("JACK_NO_START_SERVER");
    MidiInputTest::TearDown();
  }

  std::string Log(const std::string& name) const {
    std::ifstream in(dir.File(name));
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // One command to the sender, answered with "ok ...".
  void Tell(const std::string& command) {
    ASSERT_TRUE(python->WriteLine(command));
    const std::string answer = python->ReadLine(seconds(3));
    ASSERT_EQ(answer.rfind("ok", 0), 0u) << command << " -> " << answer << Log("python.log");
  }

  bool Until(const std::function<bool()>& done) { return dispatcher.RunUntil(done, seconds(3)); }

  std::string server;
  std::string sender;
  std::unique_ptr<test::PipedProcess> jackd;
  std::unique_ptr<test::PipedProcess> python;
};

TEST_F(MidiJackTest, ASenderPlaysDimsGoesAndBlacksOutThroughBothPorts) {
  WriteShow("a.ild", 3);
  WriteShow("b.ild", 5);
  std::ofstream(dir.File("evening.m3u")) << "a.ild\nb.ild\n";
  ASSERT_TRUE(registry->OpenSetList(dir.File("evening.m3u"), CommandSource::kWidget).ok);

  // Our input connects to the sender's virtual port by a part of its name, and the sender
  // connects a second port to our virtual one.
  MidiInputOptions options;
  options.portNamePart = "SENDER-" + std::to_string(::getpid());  // in any case
  std::string error;
  ASSERT_TRUE(input->Start(*registry, dispatcher, options, error)) << error;
  EXPECT_EQ(input->Api(), MidiApi::kJack) << "JACK runs, so it is the default";
  EXPECT_EQ(input->ConnectedPorts(), std::vector<std::string>{sender + ":out"});
  Tell(std::string("connect ") + MidiInput::kPortName + ":" + MidiInput::kPortName);

  Tell("virtual 90 3c 64");  // note 60
  ASSERT_TRUE(Until([&] { return registry->Playing(); }));
  EXPECT_EQ(registry->ShowName(), "a.ild");

  Tell("direct b0 07 40");  // CC 7 = 64: the power's middle of 4..10
  ASSERT_TRUE(Until([&] { return registry->Value(kPowerControl) == 7; }));

  Tell("virtual c0 01");  // program change 1
  ASSERT_TRUE(Until([&] { return registry->SetListEntry() == 2; }));
  EXPECT_TRUE(registry->Playing());
  EXPECT_EQ(registry->ShowName(), "b.ild");

  Tell("direct b0 14 7f");  // CC 20: not in the map
  Tell("direct 90 3e 7f");  // note 62
  ASSERT_TRUE(Until([&] { return !registry->Playing(); }));
  EXPECT_EQ(commands.back().command, "Blackout");
  EXPECT_EQ(commands.back().source, CommandSource::kMidi);

  // Each message came once, over the port it was sent on.
  ASSERT_TRUE(Until([&] { return input->Counters().handled + input->Counters().ignored == 5; }));
  dispatcher.RunFor(milliseconds(100));
  EXPECT_EQ(input->Counters().received, 5u);
  EXPECT_EQ(input->Counters().handled, 4u);
  EXPECT_EQ(input->Counters().ignored, 1u);
  EXPECT_EQ(std::vector<std::string>(input->Log().begin(), input->Log().end()),
            (std::vector<std::string>{"note 60 ch 1", "cc 7 = 64 ch 1", "program 1 ch 1",
                                      "cc 20 = 127 ch 1", "note 62 ch 1"}));

  // Learn: the key taken for a target does nothing else, then does the target.
  input->Learn().Begin(*ParseMidiTarget("Go 1"));
  Tell("virtual 90 41 7f");  // note 65
  ASSERT_TRUE(Until([&] { return input->Learn().GetState() == MidiLearn::State::kLearned; }));
  EXPECT_FALSE(registry->Playing());
  Tell("virtual 90 41 7f");
  ASSERT_TRUE(Until([&] { return registry->Playing(); }));
  EXPECT_EQ(registry->SetListEntry(), 1u);

  // Saved and started again from the file, on channel 2 only.
  ASSERT_TRUE(input->Learn().Save(dir.File("learned.json"), error)) << error;
  options.mapFile = dir.File("learned.json");
  options.channel = 2;
  ASSERT_TRUE(input->Start(*registry, dispatcher, options, error)) << error;
  EXPECT_EQ(input->Map().notes[65], ParseMidiTarget("Go 1"));
  Tell("virtual 90 3e 7f");  // note 62 on channel 1: not heard
  Tell("virtual 91 3e 7f");  // on channel 2
  ASSERT_TRUE(Until([&] { return !registry->Playing(); }));
  EXPECT_EQ(input->Counters().received, 2u);
  EXPECT_EQ(input->Counters().ignored, 1u);
}

}  // namespace
}  // namespace lumarex
