// What a script sees of lumarex-cli: 0 when a command did what it was asked, 1 when it ran and
// failed, 2 for bad usage, with the same output either way; and projector files given with
// --params calibrate what is sent exactly as the options do.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>

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
    "LUMAREX_LASERCUBE= LUMAREX_USB_BACKEND= SDL_AUDIODRIVER=dummy ";
constexpr const char* kCube = "'" LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild'";

TEST(CliExitStatus, FailuresExitOneAndLeaveNothingBehind) {
  test::TempDir dir;
  const std::string missing = Quoted(dir.File("missing.ild"));

  // A show that is not there: the status line as before, and the failure in the exit code.
  auto info = RunCli("info " + missing);
  EXPECT_EQ(info.exitCode, 1);
  EXPECT_NE(info.output.find("Datei nicht vorhanden"), std::string::npos) << info.output;
  info = RunCli("info --json " + missing);
  EXPECT_EQ(info.exitCode, 1);
  EXPECT_EQ(nlohmann::json::parse(info.output)["IoStatus"], "Datei nicht vorhanden");
  EXPECT_EQ(RunCli(std::string("info ") + kCube).exitCode, 0);
  // An ILDA file with palette sections reports "Ildafile IO": read whole, a success.
  info = RunCli("info --json '" LUMAREX_SHARED_DIR "/testdata/ilda/laserboy__formatt.ild'");
  EXPECT_EQ(info.exitCode, 0);
  EXPECT_EQ(nlohmann::json::parse(info.output)["IoStatus"].get<std::string>().rfind("Ildafile IO"),
            0u);

  // convert of a file that cannot be read writes nothing: no empty show in its place, and an
  // existing OUT stays as it was.
  const std::string out = dir.File("out.ild");
  auto convert = RunCli("convert " + missing + " " + Quoted(out));
  EXPECT_EQ(convert.exitCode, 1);
  EXPECT_EQ(convert.output, "Datei nicht vorhanden\n");
  EXPECT_FALSE(std::filesystem::exists(out));
  test::WriteBytes(out, {'k', 'e', 'e', 'p'});
  const std::vector<uint8_t> whole =
      test::ReadBytes(LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild");
  const std::string cut = dir.File("cut.ild");
  test::WriteBytes(cut, std::vector<uint8_t>(whole.begin(), whole.begin() + 5000));
  convert = RunCli("convert " + Quoted(cut) + " " + Quoted(out));
  EXPECT_EQ(convert.exitCode, 1) << convert.output;
  EXPECT_EQ(test::ReadBytes(out), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  // The same for optimise, which writes its IN anew as OUT.
  EXPECT_EQ(RunCli("optimise " + Quoted(cut) + " " + Quoted(out)).exitCode, 1);
  EXPECT_EQ(test::ReadBytes(out), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));

  // A write into a folder that does not exist: the writer's message, and exit 1.
  convert = RunCli(std::string("convert ") + kCube + " " + Quoted(dir.File("no/such/x.ild")));
  EXPECT_EQ(convert.exitCode, 1);
  EXPECT_EQ(convert.output, "Konnte Ilda Format 4/5 n.,icht schreiben\n");
  EXPECT_EQ(RunCli("demo " + Quoted(dir.File("no/such/demo.ild")) + " 2>/dev/null").exitCode, 1);
  EXPECT_EQ(RunCli(std::string("convert ") + kCube + " " + Quoted(out)).exitCode, 0);

  // A projector file that is not there; one that is.
  EXPECT_EQ(RunCli("params show " + Quoted(dir.File("none.PRO")) + " 2>/dev/null").exitCode, 1);
  ASSERT_EQ(RunCli("params save " + Quoted(dir.File("p1"))).exitCode, 0);
  EXPECT_EQ(RunCli("params show " + Quoted(dir.File("p1.PRO"))).exitCode, 0);

  // A show that does not load does not play; music beside a show that cannot be opened is a
  // failure too, although the show plays on without it.
  EXPECT_EQ(RunCliWith(kQuietDevices, "play " + missing + " 2>/dev/null").exitCode, 1);
  const std::string show = dir.File("tune.ild");
  ASSERT_EQ(RunCli(std::string("convert ") + kCube + " " + Quoted(show) + " --last 4").exitCode, 0);
  test::WriteBytes(dir.File("tune.wav"), {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v'});
  const auto tune =
      RunCliWith(kQuietDevices, "play " + Quoted(show) + " --rate 50 --json 2>/dev/null");
  EXPECT_EQ(tune.exitCode, 1);
  // Late ticks on a busy machine skip frames; of those handled, each went to the device.
  auto sentOfHandled = [](const std::string& json) {
    const nlohmann::json parsed = nlohmann::json::parse(json);
    int sent = 0;
    for (const auto& h : parsed["handled"]) sent += h[2] == "sent";
    return std::pair<int, int>(sent, static_cast<int>(parsed["handled"].size()));
  };
  const auto [tuneSent, tuneHandled] = sentOfHandled(tune.output);
  EXPECT_GT(tuneSent, 0);
  EXPECT_EQ(tuneSent, tuneHandled);
  EXPECT_EQ(RunCliWith(kQuietDevices, "play " + Quoted(show) + " --rate 50 --no-music").exitCode,
            0);

  // A device that is listed but never answers: an Ether Dream where nothing listens.
  const std::string deaf = std::string(kQuietDevices) + "LUMAREX_ETHERDREAM=127.0.0.1:9 ";
  EXPECT_EQ(
      RunCliWith(deaf, std::string("send ") + kCube + " --frame 3 --device 1 2>/dev/null").exitCode,
      1);
  const auto dark = RunCliWith(
      deaf, "play " + Quoted(show) + " --rate 50 --no-music --device 1 --json 2>/dev/null");
  EXPECT_EQ(dark.exitCode, 1);
  const auto [darkSent, darkHandled] = sentOfHandled(dark.output);
  EXPECT_EQ(darkSent, 0);
  EXPECT_GT(darkHandled, 0);
  EXPECT_EQ(nlohmann::json::parse(dark.output)["RefusedFrames"], darkHandled);

  // Bad usage stays 2: a device beyond the list, a file type without a reader or writer.
  EXPECT_EQ(RunCliWith(kQuietDevices, std::string("send ") + kCube + " --frame 3 --device 9 2>&1")
                .exitCode,
            2);
  EXPECT_EQ(RunCli("info " + Quoted(dir.File("x.txt")) + " 2>/dev/null").exitCode, 2);
  EXPECT_EQ(
      RunCli(std::string("convert ") + kCube + " " + Quoted(dir.File("x.txt")) + " 2>/dev/null")
          .exitCode,
      2);
}

// A projector file written by `params save` and loaded with --params sends what the same
// settings given as options send, in `send` and in `play`.
TEST(CliExitStatus, ProjectorFilesCalibrateSendAndPlayAsTheOptionsDo) {
  test::TempDir dir;
  const std::string settings = " --scan-speed 40 --size-x 10:90 --orientation 5 --power 8";
  ASSERT_EQ(RunCli("params save " + Quoted(dir.File("p1")) + settings).exitCode, 0);
  const std::string params = " --params " + Quoted(dir.File("p1.PRO"));

  auto captured = [&](const std::string& name, const std::string& command) {
    const std::string path = dir.File(name);
    const auto run = RunCliWith(
        std::string(kQuietDevices) + "LUMAREX_VIRTUAL_DAC_CAPTURE=" + Quoted(path), command);
    EXPECT_EQ(run.exitCode, 0) << command << "\n" << run.output;
    return test::ReadCapture(path);
  };
  const std::string send = std::string("send ") + kCube + " --frame 2";
  const auto byOptions = captured("options.bin", send + settings);
  const auto byFile = captured("file.bin", send + params);
  ASSERT_EQ(byFile.size(), 1u) << "the projector file's send reached the device";
  ASSERT_EQ(byOptions.size(), 1u);
  EXPECT_EQ(byFile[0].rate, 40000u);
  EXPECT_EQ(byFile[0].points, byOptions[0].points);

  const std::string play = std::string("play ") + kCube + " --rate 50 --no-music --seconds 0.3";
  const auto playedByOptions = captured("play-options.bin", play + settings);
  const auto playedByFile = captured("play-file.bin", play + params);
  ASSERT_GE(playedByFile.size(), 3u);
  ASSERT_GE(playedByOptions.size(), 3u);
  // Frame 0 comes first in both runs; what follows depends on the ticks' timing.
  EXPECT_EQ(playedByFile[0].rate, 40000u);
  EXPECT_EQ(playedByFile[0].points, playedByOptions[0].points);
}

}  // namespace
}  // namespace lumarex
