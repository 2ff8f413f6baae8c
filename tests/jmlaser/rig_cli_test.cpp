// Several projectors from one rig file, as `lumarex-cli send` and `play` drive them: each
// device gets the frame through its own calibration and projection, which is exactly what a
// send to that device alone with the same calibration and projection puts on the wire.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "jmlaser/etherdream_protocol.h"
#include "tests/jmlaser/dac_test_support.h"
#include "tests/jmlaser/etherdream_stand_in.h"
#include "tests/jmlaser/idn_stand_in.h"
#include "tests/support/virtual_dac_capture.h"

namespace lumarex::jmlaser::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kQuiet =
    "LUMAREX_ETHERDREAM_LISTEN_MS=0 LUMAREX_DAC_BROADCAST=none LUMAREX_LASERCUBE= "
    "LUMAREX_USB_BACKEND= ";

// Runs lumarex-cli; answers its output, and its exit status through `status`.
std::string RunCli(const std::string& environment, const std::string& arguments,
                   int* status = nullptr) {
  const std::string command = std::string(kQuiet) + environment +
                              " '" LUMAREX_BIN_DIR "/lumarex-cli' " + arguments + " 2>&1";
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> chunk{};
  for (size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
    out.append(chunk.data(), got);
  const int result = pclose(pipe);
  if (status != nullptr) {
    *status = result;
  } else {
    EXPECT_EQ(result, 0) << command << "\n" << out;
  }
  return out;
}

using Captured = test::CapturedFrame<DacPoint>;

// The second projector's calibration, as options.
constexpr const char* kSecondCalibration = "--size-x 10:60 --orientation 2 --power 7";

class RigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("lumarex_rig_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    // Two calibrations and a projection with an audience mask, for the second projector.
    RunCli("", "params save '" + File("a.PRO") + "' --size-x 20:80 --scan-speed 30");
    RunCli("", "params save '" + File("b.PRO") + "' " + kSecondCalibration);
    std::ofstream(File("b.projection.json"))
        << R"({"corners": [[3000, 1000], [62000, 4000], [60000, 64000], [5000, 62000]],
        "masks": [{"polygon": [[20000, 30000], [45000, 30000], [45000, 65535], [20000, 65535]]}]})";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  // The frame a send of frame 7 to the virtual DAC alone puts on the wire with these options.
  std::vector<DacPoint> Alone(const std::string& options) {
    fs::remove(File("alone.bin"));
    RunCli("LUMAREX_VIRTUAL_DAC_CAPTURE='" + File("alone.bin") + "'",
           "send '" + show_ + "' --frame 7 " + options);
    const auto frames = test::ReadCapture<DacPoint>(File("alone.bin"));
    EXPECT_EQ(frames.size(), 1u);
    return frames.empty() ? std::vector<DacPoint>{} : frames[0].points;
  }

  fs::path dir_;
  const std::string show_ = LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild";
};

TEST_F(RigTest, TwoVirtualDacsEachGetTheFrameThroughTheirOwnCalibrationAndProjection) {
  std::ofstream(File("venue.rig.json")) << R"({"outputs": [
      {"device": 0, "params": "a.PRO"},
      {"device": "Virtual DAC 1", "params": "b.PRO", "projection": "b.projection.json"}]})";
  const std::string environment =
      "LUMAREX_VIRTUAL_DACS=2 LUMAREX_VIRTUAL_DAC_CAPTURE='" + File("rig.bin") + "'";
  const std::string sent = RunCli(environment, "send '" + show_ + "' --frame 7 --count 2 --rig '" +
                                                   File("venue.rig.json") + "'");
  EXPECT_NE(sent.find("Output 2 (Virtual DAC 1): 2 frames taken, 0 refused"), std::string::npos)
      << sent;

  const std::vector<DacPoint> first = Alone("--params '" + File("a.PRO") + "'");
  const std::vector<DacPoint> second =
      Alone("--params '" + File("b.PRO") + "' --projection '" + File("b.projection.json") + "'");
  ASSERT_GT(first.size(), 50u);
  ASSERT_NE(first, second);
  const auto one = test::ReadCapture<DacPoint>(File("rig.bin"));
  const auto two = test::ReadCapture<DacPoint>(File("rig.bin.1"));
  ASSERT_EQ(one.size(), 2u);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(one[0].points, first);
  EXPECT_EQ(two[0].points, second);

  // The start animation's pictures go to both, each through its own calibration too.
  fs::remove(File("rig.bin"));
  fs::remove(File("rig.bin.1"));
  const std::string pictures = "animation --device 0 --pictures 2 ";
  RunCli(environment, pictures + "--rig '" + File("venue.rig.json") + "'");
  const auto ball = test::ReadCapture<DacPoint>(File("rig.bin.1"));
  fs::remove(File("alone.bin"));
  RunCli("LUMAREX_VIRTUAL_DAC_CAPTURE='" + File("alone.bin") + "'",
         pictures + kSecondCalibration + " --projection '" + File("b.projection.json") + "'");
  const auto alone = test::ReadCapture<DacPoint>(File("alone.bin"));
  ASSERT_EQ(ball.size(), 2u);
  ASSERT_EQ(alone.size(), 2u);
  EXPECT_EQ(ball[0].points, alone[0].points);
  EXPECT_EQ(test::ReadCapture<DacPoint>(File("rig.bin")).size(), 2u);

  // Output 2 switched off gets nothing; a rig naming a device nobody has changes nothing and
  // says which entry is at fault.
  std::ofstream(File("off.rig.json")) << R"({"outputs": [{"device": 0},
      {"device": 1, "enabled": false}]})";
  fs::remove(File("rig.bin.1"));
  RunCli(environment, "send '" + show_ + "' --frame 7 --rig '" + File("off.rig.json") + "'");
  EXPECT_TRUE(test::ReadCapture<DacPoint>(File("rig.bin.1")).empty());
  std::ofstream(File("bad.rig.json")) << R"({"outputs": [{"device": 0}, {"device": "Nirgends"}]})";
  int status = 0;
  const std::string refused = RunCli(
      environment, "send '" + show_ + "' --frame 7 --rig '" + File("bad.rig.json") + "'", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(refused.find("outputs[1].device: no device \"Nirgends\""), std::string::npos)
      << refused;

  // `play` counts each projector's frames on its own.
  const std::string played = RunCli(environment, "play '" + show_ +
                                                     "' --rate 10 --no-music --seconds 0.8 --json "
                                                     "--no-frame-list --rig '" +
                                                     File("venue.rig.json") + "'");
  const auto at = played.find("\"outputs\":[{");
  ASSERT_NE(at, std::string::npos) << played;
  EXPECT_NE(played.find("\"device\":\"Virtual DAC 1\"", at), std::string::npos) << played;
  EXPECT_EQ(played.find("\"FramesAccepted\":0,", at), std::string::npos) << played;
}

TEST_F(RigTest, AnEtherDreamAndAnIdnUnitEachTakeTheFrameAsTheirOwnProjector) {
  EtherDreamStandIn etherDream(EtherDreamStandIn::Options{});
  IdnStandIn idn(IdnStandIn::Options{});
  ASSERT_TRUE(etherDream.Listening());
  ASSERT_TRUE(idn.Listening());
  const std::string environment =
      "LUMAREX_ETHERDREAM=" + etherDream.Locator() + " LUMAREX_IDN=" + idn.Locator();
  const std::string listed = RunCli(environment, "devices");
  std::map<std::string, std::string> indexOf;
  std::istringstream lines(listed);
  for (std::string line; std::getline(lines, line);) {
    const auto tab = line.find('\t');
    if (tab != std::string::npos) {
      indexOf[line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1)] = line.substr(0, tab);
    }
  }
  const std::string etherDreamName = "EtherDream 127001" + std::to_string(etherDream.Port());
  ASSERT_EQ(indexOf.count(etherDreamName), 1u) << listed;
  ASSERT_EQ(indexOf.count("IDN StandIn Laser"), 1u) << listed;

  std::ofstream(File("two.rig.json"))
      << R"({"outputs": [{"device": ")" << etherDreamName << R"(", "params": "a.PRO"},
          {"device": "IDN StandIn Laser", "params": "b.PRO",
           "projection": "b.projection.json"}]})";
  RunCli(environment,
         "send '" + show_ + "' --frame 7 --count 2 --rig '" + File("two.rig.json") + "'");

  const std::vector<DacPoint> first = Alone("--params '" + File("a.PRO") + "'");
  const std::vector<DacPoint> second =
      Alone("--params '" + File("b.PRO") + "' --projection '" + File("b.projection.json") + "'");
  ASSERT_TRUE(WaitUntil([&] { return idn.Frames().size() >= 1; }, std::chrono::milliseconds(1000)));
  const auto idnFrames = idn.Frames();
  const auto& samples = idnFrames.front().frame.samples;
  ASSERT_EQ(samples.size(), second.size() + 1);
  for (size_t k = 0; k < second.size(); ++k) ASSERT_EQ(samples[k + 1], second[k]) << k;
  const auto written = etherDream.WrittenPoints();
  ASSERT_GE(written.size(), first.size());
  for (size_t k = 0; k < first.size(); ++k) {
    ASSERT_EQ(written[k], etherdream::ToWirePoint(first[k], 4)) << k;
  }
}

}  // namespace
}  // namespace lumarex::jmlaser::testing
