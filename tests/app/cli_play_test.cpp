#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "cli_runner.h"
#include "tests/support/test_files.h"
#include "tests/support/virtual_dac_capture.h"

namespace lumarex {
namespace {

using test::Quoted;
using test::RunCli;
using test::RunCliWith;

constexpr const char* kQuietDevices =
    "LUMAREX_ETHERDREAM= LUMAREX_ETHERDREAM_LISTEN_MS=0 LUMAREX_DAC_BROADCAST=none LUMAREX_IDN= "
    "LUMAREX_LASERCUBE= LUMAREX_USB_BACKEND= ";

// The demo show with its music plays to the virtual DAC on time: every handled frame at or
// after its due time, in order and at most once, the ones sent arriving in that order.
TEST(CliPlay, PlaysTheDemoWithItsMusicToTheVirtualDacOnTime) {
  test::TempDir dir;
  const std::string show = dir.File("demo.ild");
  ASSERT_EQ(RunCli("demo " + Quoted(show)).exitCode, 0);
  const std::string capture = dir.File("capture.bin");
  const auto result =
      RunCliWith(std::string(kQuietDevices) +
                     "SDL_AUDIODRIVER=dummy LUMAREX_VIRTUAL_DAC_CAPTURE=" + Quoted(capture),
                 "play " + Quoted(show) + " --seconds 4 --rate 25 --json");
  ASSERT_EQ(result.exitCode, 0);
  const auto json = nlohmann::json::parse(result.output);
  EXPECT_EQ(json["ended"], "stopped");
  const uint32_t requests = json["TimerRequests"];
  const uint32_t unsync = json["UnsyncTicks"];
  const uint32_t accepted = json["FramesAccepted"];
  const uint32_t refused = json["RefusedFrames"];
  EXPECT_EQ(requests, unsync + accepted + refused);
  EXPECT_GT(requests, 700u);
  EXPECT_LE(requests, 801u);
  EXPECT_GT(unsync, 600u) << "about 700 of 800 ticks find no new frame";

  int previous = -1;
  uint32_t sent = 0;
  std::vector<uint64_t> late;
  for (const auto& h : json["handled"]) {
    const int frame = h[0];
    const uint64_t ms = h[1];
    EXPECT_GT(frame, previous) << "every run starts with frame 0";
    EXPECT_GE(ms, 40u * static_cast<uint64_t>(frame));
    late.push_back(ms - 40u * static_cast<uint64_t>(frame));
    previous = frame;
    sent += h[2] == "sent" ? 1 : 0;
  }
  // The summary, kept without a list for long runs, tells what the list tells.
  std::sort(late.begin(), late.end());
  ASSERT_FALSE(late.empty());
  EXPECT_EQ(json["lateness"]["p50"], late[late.size() / 2]);
  EXPECT_EQ(json["lateness"]["p99"], late[std::min(late.size() - 1, late.size() * 99 / 100)]);
  EXPECT_EQ(json["lateness"]["worst"], late.back());
  EXPECT_GE(previous, 95);
  EXPECT_EQ(sent, accepted);
  EXPECT_GT(accepted, 90u);
  EXPECT_EQ(test::ReadCapture(capture).size(), accepted);
}

TEST(CliPlay, AShortShowPlaysToItsEnd) {
  test::TempDir dir;
  const std::string show = dir.File("short.ild");
  ASSERT_EQ(RunCli("convert '" LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild' " +
                   Quoted(show) + " --first 0 --last 9")
                .exitCode,
            0);
  const auto result = RunCliWith(kQuietDevices, "play " + Quoted(show) + " --rate 50 --json");
  ASSERT_EQ(result.exitCode, 0);
  const auto json = nlohmann::json::parse(result.output);
  EXPECT_EQ(json["ended"], "end of show");
  EXPECT_EQ(json["LastPlayedFrame"], 10);
  EXPECT_EQ(json["handled"].back()[0], 9);
  const auto listless = nlohmann::json::parse(
      RunCliWith(kQuietDevices, "play " + Quoted(show) + " --rate 50 --json --no-frame-list")
          .output);
  EXPECT_FALSE(listless.contains("handled"));
  EXPECT_EQ(listless["ended"], "end of show");
  EXPECT_TRUE(listless["lateness"].contains("worst"));
}

// A signal ends a playing program: the audio library must not take SIGTERM for itself.
TEST(CliPlay, SigtermEndsAPlayWithMusic) {
  test::TempDir dir;
  const std::string show = dir.File("demo.ild");
  ASSERT_EQ(RunCli("demo " + Quoted(show)).exitCode, 0);
  const auto start = std::chrono::steady_clock::now();
  RunCliWith(std::string(kQuietDevices) + "SDL_AUDIODRIVER=dummy timeout -s TERM 1.5",
             "play " + Quoted(show) + " --rate 5 --seconds 60");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

// A projector file written by `params save` loads back as it was saved, and the show file
// loading honours the protection.
TEST(CliParams, SavedProjectorFilesLoadBackAndProtectionHolds) {
  test::TempDir dir;
  const auto saved = RunCli("params save " + Quoted(dir.File("Beamer1")) +
                            " --scan-speed 40 --size-x 10:30 --orientation 6 --red 20:70 "
                            "--power 7 --rate 33 --preview-mode 3 --frame-change direct");
  ASSERT_EQ(saved.exitCode, 0);
  EXPECT_EQ(saved.output, dir.File("Beamer1") + ".PRO\n");
  const auto bytes = test::ReadBytes(dir.File("Beamer1.PRO"));
  ASSERT_EQ(bytes.size(), 51u);
  EXPECT_EQ(bytes[1], 40);
  EXPECT_EQ(bytes[2], 1);
  EXPECT_EQ(bytes[15], 1);
  EXPECT_EQ(bytes[16], 1);
  EXPECT_EQ(bytes[17], 0);
  EXPECT_EQ(bytes[20], 30);
  EXPECT_EQ(bytes[21], 10);
  EXPECT_EQ(bytes[46], 33);
  EXPECT_EQ(bytes[47], 3);

  const auto shown = nlohmann::json::parse(
      RunCli("params show " + Quoted(dir.File("Beamer1.PRO")) + " --json").output);
  EXPECT_TRUE(shown["messages"].empty());
  EXPECT_EQ(shown["Scanspeed"], 40);
  EXPECT_EQ(shown["FrameChangeMode"], 1);
  EXPECT_EQ(shown["Orientation"], 6);
  EXPECT_EQ(shown["Achse_X"], nlohmann::json({10, 30}));
  EXPECT_EQ(shown["Rot_to_Laser"], nlohmann::json({20, 70}));
  EXPECT_EQ(shown["Dimmen_RGB"], 7);
  EXPECT_EQ(shown["Irq_Speed"], 33);
  EXPECT_EQ(shown["OGL_Effekt"], 3);

  const auto locked =
      nlohmann::json::parse(RunCli("params show " + Quoted(dir.File("Beamer1.PRO")) +
                                   " --show-file --protect --power-lock --json")
                                .output);
  EXPECT_EQ(locked["Achse_X"], nlohmann::json({25, 75})) << "protected from a show's file";
  EXPECT_EQ(locked["Dimmen_RGB"], 10) << "power locked";
  EXPECT_EQ(locked["Scanspeed"], 40);

  const std::string bad = dir.Write("projector.dat", std::vector<uint8_t>(52, 0));
  const auto refused =
      nlohmann::json::parse(RunCli("params show " + Quoted(bad) + " --json 2>/dev/null").output);
  EXPECT_EQ(refused["messages"], nlohmann::json({"Ungültige Dateilänge"}));
}

}  // namespace
}  // namespace lumarex
