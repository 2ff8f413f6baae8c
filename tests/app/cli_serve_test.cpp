#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "cli_runner.h"
#include "tests/support/child_process.h"
#include "tests/support/test_files.h"
#include "tests/support/virtual_dac_capture.h"
#include "tests/timecode/ltc_writer.h"

namespace lumarex {
namespace {

using namespace std::chrono_literals;
using test::Quoted;
using test::RunCli;

const std::vector<std::string> kQuietDevices = {
    "LUMAREX_ETHERDREAM=",        "LUMAREX_ETHERDREAM_LISTEN_MS=0",
    "LUMAREX_DAC_BROADCAST=none", "LUMAREX_IDN=",
    "LUMAREX_LASERCUBE=",         "LUMAREX_USB_BACKEND=",
    "SDL_AUDIODRIVER=dummy",
};

// An OSC message sent by liblo's own command-line client.
void OscSend(int port, const std::string& address, const std::vector<std::string>& arguments) {
  std::string command = "oscsend localhost " + std::to_string(port) + " " + address;
  for (const std::string& a : arguments) command += " " + a;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

bool IsEvent(const std::string& line, const char* key, const nlohmann::json& value) {
  const auto json = nlohmann::json::parse(line, nullptr, false);
  return json.is_object() && json.contains(key) && json[key] == value;
}

size_t LitPoints(const std::vector<test::CapturedFrame<>>& frames, size_t from) {
  size_t lit = 0;
  for (size_t f = from; f < frames.size(); ++f) {
    for (const DacPoint& p : frames[f].points) lit += (p.r | p.g | p.b) != 0 ? 1 : 0;
  }
  return lit;
}

// An installation as a show controller drives it: a set list served headless, played, stopped
// dark and stepped through by OSC messages from a real client, the state fed back to another.
TEST(CliServe, ASetListIsDrivenByOscAndFedBack) {
  if (std::system("command -v oscsend >/dev/null && command -v oscdump >/dev/null") != 0) {
    GTEST_SKIP() << "liblo-tools (oscsend, oscdump) are not installed";
  }
  test::TempDir dir;
  const std::string cube = LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild";
  ASSERT_EQ(
      RunCli("convert " + Quoted(cube) + " " + Quoted(dir.File("a.ild")) + " --first 0 --last 4")
          .exitCode,
      0);
  ASSERT_EQ(RunCli("convert " + Quoted(cube) + " " + Quoted(dir.File("b.ild"))).exitCode, 0);
  std::ofstream(dir.File("shows.m3u")) << "#EXTM3U\na.ild\nb.ild\n";
  const std::string capture = dir.File("capture.bin");
  const int port = test::FreeUdpPort();
  const int feedbackPort = test::FreeUdpPort();

  std::vector<std::string> environment = kQuietDevices;
  environment.push_back("LUMAREX_VIRTUAL_DAC_CAPTURE=" + capture);
  test::ChildProcess serve({std::string(LUMAREX_BIN_DIR) + "/lumarex-cli", "serve", "--setlist",
                            dir.File("shows.m3u"), "--osc", std::to_string(port), "--events"},
                           environment);
  ASSERT_TRUE(serve.Started());
  const auto cued = serve.WaitForLine([](auto& l) { return IsEvent(l, "event", "show"); }, 10s);
  ASSERT_FALSE(cued.empty()) << "the first entry is cued";
  EXPECT_EQ(nlohmann::json::parse(cued)["file"], "a.ild");
  EXPECT_EQ(nlohmann::json::parse(cued)["entry"], 1);

  test::ChildProcess feedback({"oscdump", "-L", std::to_string(feedbackPort)});
  std::this_thread::sleep_for(200ms);
  // The server may still be opening its port: subscribe until the first status comes.
  std::string playing;
  for (int tries = 0; tries < 20 && playing.empty(); ++tries) {
    OscSend(port, "/lumarex/subscribe", {"i", std::to_string(feedbackPort)});
    playing = feedback.WaitForLine(
        [](auto& l) { return l.find("/lumarex/status/playing") != std::string::npos; }, 250ms);
  }
  ASSERT_FALSE(playing.empty()) << "all four states right after subscribing";
  EXPECT_NE(playing.find(" i 0"), std::string::npos) << playing;

  OscSend(port, "/lumarex/rate", {"i", "20"});
  EXPECT_FALSE(
      serve
          .WaitForLine(
              [](auto& l) { return IsEvent(l, "argument", "20") && IsEvent(l, "done", true); }, 5s)
          .empty())
      << "the frame rate set while stopped";
  OscSend(port, "/lumarex/setlist/go", {"i", "2"});
  const auto show = serve.WaitForLine([](auto& l) { return IsEvent(l, "event", "show"); }, 5s);
  ASSERT_FALSE(show.empty());
  EXPECT_EQ(nlohmann::json::parse(show)["file"], "b.ild");
  EXPECT_EQ(nlohmann::json::parse(show)["entry"], 2);
  ASSERT_FALSE(
      serve
          .WaitForLine(
              [](auto& l) { return IsEvent(l, "event", "playing") && IsEvent(l, "value", 1); }, 5s)
          .empty());
  EXPECT_FALSE(feedback
                   .WaitForLine(
                       [](auto& l) {
                         return l.find("/lumarex/status/show s \"b.ild\"") != std::string::npos;
                       },
                       2s)
                   .empty());
  std::this_thread::sleep_for(600ms);
  const size_t litWhilePlaying = LitPoints(test::ReadCapture(capture), 0);
  EXPECT_GT(litWhilePlaying, 0u);

  OscSend(port, "/lumarex/blackout", {});
  const auto dark =
      serve.WaitForLine([](auto& l) { return IsEvent(l, "command", "Blackout"); }, 5s);
  ASSERT_FALSE(dark.empty());
  EXPECT_FALSE(
      serve
          .WaitForLine(
              [](auto& l) { return IsEvent(l, "event", "playing") && IsEvent(l, "value", 0); }, 2s)
          .empty());
  // Whatever the DAC had taken before the blackout, nothing lit comes after it.
  const size_t framesAtBlackout = test::ReadCapture(capture).size();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(LitPoints(test::ReadCapture(capture), framesAtBlackout), 0u);

  OscSend(port, "/lumarex/frame", {"i", "7"});
  EXPECT_FALSE(
      feedback
          .WaitForLine(
              [](auto& l) { return l.find("/lumarex/status/frame i 7") != std::string::npos; }, 2s)
          .empty());
  OscSend(port, "/lumarex/no/such/thing", {"i", "1"});
  OscSend(port, "/lumarex/setlist/go", {"s", "two"});

  EXPECT_EQ(serve.Stop(SIGTERM, 10s), 0);
  for (const std::string& line : serve.Lines()) {
    EXPECT_TRUE(nlohmann::json::parse(line, nullptr, false).is_object()) << line;
  }
}

// A timeline whose songs start each a new hour: the LTC of a rehearsal file runs through
// hour 1 into hour 2, and serve, chasing it with the hour selecting the entry, loads and plays
// the second show when hour 2 begins, at the position the rest of the timecode names.
TEST(CliServe, TheHourOfTheTimecodeSelectsTheSetListEntry) {
  test::TempDir dir;
  const std::string cube = LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild";
  for (const char* name : {"a.ild", "b.ild"}) {
    ASSERT_EQ(RunCli("convert " + Quoted(cube) + " " + Quoted(dir.File(name))).exitCode, 0);
  }
  std::ofstream(dir.File("timeline.m3u")) << "a.ild\n#LUMAREX-TC 00:00:00:10\nb.ild\n";
  test::LtcWriter writer(48000, TimecodeRate::k25);
  writer.AppendFrames(*ParseTimecode("01:59:59:00", TimecodeRate::k25), 75);
  ASSERT_TRUE(test::WriteMonoWav(dir.File("tc.wav"), 48000, writer.Samples()));

  test::ChildProcess serve(
      {std::string(LUMAREX_BIN_DIR) + "/lumarex-cli", "serve", "--setlist",
       dir.File("timeline.m3u"), "--timecode", "ltc-file:" + dir.File("tc.wav"),
       "--tc-hour-selects", "--play", "--events"},
      kQuietDevices);
  ASSERT_TRUE(serve.Started());
  const auto second = serve.WaitForLine(
      [](auto& l) { return IsEvent(l, "event", "show") && IsEvent(l, "file", "b.ild"); }, 15s);
  ASSERT_FALSE(second.empty()) << "hour 2 loads entry 2";
  EXPECT_EQ(nlohmann::json::parse(second)["entry"], 2);
  bool played = false;
  for (const std::string& line : serve.Lines()) {
    played = played || (IsEvent(line, "source", "timecode") && IsEvent(line, "command", "Go") &&
                        IsEvent(line, "argument", "2") && IsEvent(line, "done", true));
  }
  EXPECT_TRUE(played) << "the timecode's Go 2 loaded and played the show";
  EXPECT_EQ(serve.Stop(SIGTERM, 5s), 0);
}

}  // namespace
}  // namespace lumarex
