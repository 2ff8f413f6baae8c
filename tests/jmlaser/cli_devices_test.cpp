// `lumarex-cli devices` and `send` as an operator runs them, with the network DACs named in
// the environment and a fake Helios in place of the USB bus. Nothing is broadcast.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "jmlaser/lasercube_protocol.h"
#include "tests/jmlaser/dac_test_support.h"
#include "tests/jmlaser/etherdream_stand_in.h"
#include "tests/jmlaser/idn_stand_in.h"
#include "tests/jmlaser/lasercube_stand_in.h"
#include "tests/support/virtual_dac_capture.h"

namespace lumarex::jmlaser::testing {
namespace {

constexpr const char* kQuiet =
    "LUMAREX_ETHERDREAM_LISTEN_MS=0 LUMAREX_DAC_BROADCAST=none LUMAREX_IDN= LUMAREX_LASERCUBE= "
    "LUMAREX_USB_BACKEND= ";

std::string RunCli(const std::string& environment, const std::string& arguments) {
  const std::string command =
      std::string(kQuiet) + environment + " '" LUMAREX_BIN_DIR "/lumarex-cli' " + arguments;
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> chunk{};
  for (size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
    out.append(chunk.data(), got);
  EXPECT_EQ(pclose(pipe), 0) << command << "\n" << out;
  return out;
}

TEST(CliDevices, ListsTheVirtualDacAndANamedEtherDream) {
  EtherDreamStandIn dac(EtherDreamStandIn::Options{});
  ASSERT_TRUE(dac.Listening());
  const std::string listed = RunCli("LUMAREX_ETHERDREAM=" + dac.Locator(), "devices");
  EXPECT_NE(listed.find("0\tVirtual DAC 0\t"), std::string::npos) << listed;
  // The device texts pass the program's name filter, which keeps letters, digits and blanks.
  const std::string port = std::to_string(dac.Port());
  EXPECT_NE(listed.find("1\tEtherDream 127001" + port + "\t"), std::string::npos) << listed;
  EXPECT_NE(listed.find("Ether Dream 127-0-0-1-" + port), std::string::npos) << listed;

  const std::string alone = RunCli("LUMAREX_ETHERDREAM=", "devices");
  EXPECT_EQ(alone.find("EtherDream"), std::string::npos) << alone;
}

// The virtual DAC's capture format, which the fake Helios writes too.
using Captured = test::CapturedFrame<DacPoint>;
std::vector<Captured> ReadCapture(const std::filesystem::path& path) {
  return test::ReadCapture<DacPoint>(path);
}

// Every family in one list, and `send` puts the output transform's exact points on each
// device's wire, as far as the device's resolution goes: the virtual DAC's capture of the
// same send is the reference.
TEST(CliDevices, ListsEveryFamilyAndSendsAndPlaysTheTransformsPointsToThem) {
  FixedPortLock lock("lasercube");
  IdnStandIn idn(IdnStandIn::Options{});
  LaserCubeStandIn cube(LaserCubeStandIn::Options{});
  ASSERT_TRUE(idn.Listening());
  ASSERT_TRUE(cube.Listening()) << "the LaserCube ports on 127.0.0.2 are taken";
  const auto dir = std::filesystem::temp_directory_path() /
                   ("lumarex_cli_families_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string environment = "LUMAREX_IDN=" + idn.Locator() +
                                  " LUMAREX_LASERCUBE=127.0.0.2 LUMAREX_USB_BACKEND='" +
                                  LUMAREX_FAKE_USB_MODULE + "' LUMAREX_FAKE_HELIOS_CAPTURE='" +
                                  (dir / "helios.bin").string() + "'";

  const std::string listed = RunCli(environment, "devices");
  std::map<std::string, std::string> indexOf;
  std::istringstream lines(listed);
  for (std::string line; std::getline(lines, line);) {
    const auto tab = line.find('\t');
    const auto second = line.find('\t', tab + 1);
    if (tab != std::string::npos)
      indexOf[line.substr(tab + 1, second - tab - 1)] = line.substr(0, tab);
  }
  EXPECT_NE(listed.find("\tIDN StandIn Laser\tStandIn Laser\t100000\n"), std::string::npos)
      << listed;
  EXPECT_NE(listed.find("\tLaserCube 70B3D5112233\tLaserCube 2W 112233\t40000\n"),
            std::string::npos)
      << listed;
  EXPECT_NE(listed.find("\tHelios 1-4\tHelios Bench fw 6\t65535\n"), std::string::npos) << listed;
  ASSERT_EQ(indexOf.size(), 5u) << listed;  // the heading, the virtual DAC and three

  const std::string show = LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild";
  // Two frames: the second waits until the device has taken the first, so that stopping the
  // output at the end cannot drop the first before it went out.
  const std::string send = "send '" + show + "' --frame 7 --count 2 --device ";
  RunCli(environment + " LUMAREX_VIRTUAL_DAC_CAPTURE='" + (dir / "virtual.bin").string() + "'",
         send + "0");
  const auto reference = ReadCapture(dir / "virtual.bin");
  ASSERT_EQ(reference.size(), 2u);
  const std::vector<DacPoint>& sent = reference[0].points;
  ASSERT_GT(sent.size(), 50u);

  RunCli(environment, send + indexOf["IDN StandIn Laser"]);
  ASSERT_TRUE(WaitUntil([&] { return !idn.Frames().empty(); }, std::chrono::milliseconds(500)));
  const auto idnFrames = idn.Frames();
  const auto& samples = idnFrames.front().frame.samples;
  ASSERT_EQ(samples.size(), sent.size() + 1);
  for (size_t k = 0; k < sent.size(); ++k) ASSERT_EQ(samples[k + 1], sent[k]) << k;
  EXPECT_GE(idn.Snapshot().sessionCloses, 1) << "closing ends the session";

  RunCli(environment, send + indexOf["Helios 1-4"]);
  const auto helios = ReadCapture(dir / "helios.bin");
  ASSERT_GE(helios.size(), 1u);
  ASSERT_EQ(helios[0].points.size(), sent.size());
  EXPECT_EQ(helios[0].rate, reference[0].rate);
  for (size_t k = 0; k < sent.size(); ++k) {
    DacPoint twelveBit = sent[k];
    twelveBit.x &= 0xFFF0;
    twelveBit.y &= 0xFFF0;
    ASSERT_EQ(helios[0].points[k], twelveBit) << k;
  }

  RunCli(environment, send + indexOf["LaserCube 70B3D5112233"]);
  const auto received = cube.Received();
  ASSERT_GE(received.size(), sent.size());
  for (size_t k = 0; k < received.size(); ++k) {
    ASSERT_EQ(received[k], lasercube::ToSample(sent[k % sent.size()], 3)) << k;
  }
  EXPECT_EQ(cube.Snapshot().rate, reference[0].rate);
  EXPECT_FALSE(cube.Snapshot().outputOn) << "closing switches the output off";

  // `play`: whichever frames each device took in the first 0.6 s of the show, each is one the
  // virtual DAC took when it played the first 1.2 s, point for point. 5 frames a second leave
  // a busy machine no reason to skip one.
  const std::string play = "play '" + show + "' --rate 5 --no-music --device ";
  RunCli(environment + " LUMAREX_VIRTUAL_DAC_CAPTURE='" + (dir / "played.bin").string() + "'",
         play + "0 --seconds 1.2");
  const auto played = ReadCapture(dir / "played.bin");
  ASSERT_GE(played.size(), 5u);
  auto playedOne = [&](const std::vector<DacPoint>& got, uint16_t mask) {
    return std::any_of(played.begin(), played.end(), [&](const Captured& f) {
      return f.points.size() == got.size() && std::equal(got.begin(), got.end(), f.points.begin(),
                                                         [&](const DacPoint& a, DacPoint b) {
                                                           b.x &= mask;
                                                           b.y &= mask;
                                                           return a == b;
                                                         });
    });
  };
  const size_t idnBefore = idn.Frames().size();
  RunCli(environment, play + indexOf["IDN StandIn Laser"] + " --seconds 0.6");
  const auto idnPlayed = idn.Frames();
  ASSERT_GE(idnPlayed.size(), idnBefore + 2);
  for (size_t k = idnBefore; k < idnPlayed.size(); ++k) {
    const auto& s = idnPlayed[k].frame.samples;
    EXPECT_TRUE(playedOne(std::vector<DacPoint>(s.begin() + 1, s.end()), 0xFFFF)) << k;
  }
  const size_t heliosBefore = ReadCapture(dir / "helios.bin").size();
  RunCli(environment, play + indexOf["Helios 1-4"] + " --seconds 0.6");
  const auto heliosPlayed = ReadCapture(dir / "helios.bin");
  ASSERT_GE(heliosPlayed.size(), heliosBefore + 2);
  for (size_t k = heliosBefore; k < heliosPlayed.size(); ++k) {
    EXPECT_TRUE(playedOne(heliosPlayed[k].points, 0xFFF0)) << k;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace lumarex::jmlaser::testing
