// lumarex-cli send with the virtual DAC's capture: what reaches the driver library is exactly
// the transform's DacPoint list, for the start-up calibration and for a changed one.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "output/laser_ausgabe.h"
#include "platform/desktop_services.h"
#include "projection/projection_file.h"
#include "show/ilda.h"
#include "show/show_files.h"
#include "tests/projection/projection_checks.h"

namespace lumarex {
namespace {

struct CapturedFrame {
  uint32_t pointsPerSecond = 0;
  std::vector<DacPoint> points;
};

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}

std::vector<CapturedFrame> ReadCapture(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<CapturedFrame> frames;
  size_t at = 0;
  while (at + 8 <= bytes.size()) {
    const uint32_t count = U32(bytes, at);
    CapturedFrame frame;
    frame.pointsPerSecond = U32(bytes, at + 4);
    at += 8;
    if (bytes.size() - at < size_t{count} * 12) {
      ADD_FAILURE() << "capture cut inside a frame";
      break;
    }
    for (uint32_t k = 0; k < count; ++k, at += 12) {
      DacPoint p;
      p.x = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
      p.y = static_cast<uint16_t>(bytes[at + 2] | bytes[at + 3] << 8);
      p.r = bytes[at + 4];
      p.g = bytes[at + 5];
      p.b = bytes[at + 6];
      p.i = bytes[at + 7];
      for (int z = 0; z < 4; ++z) p.reserved[z] = bytes[at + 8 + static_cast<size_t>(z)];
      frame.points.push_back(p);
    }
    frames.push_back(std::move(frame));
  }
  EXPECT_EQ(at, bytes.size());
  return frames;
}

class SendEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "lumarex_send_" + std::to_string(::getpid()) + "/";
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs the command with the capture switched on; returns its exit status.
  int Send(const std::string& show, const std::string& arguments) {
    const std::string command =
        "LUMAREX_ETHERDREAM= LUMAREX_ETHERDREAM_LISTEN_MS=0 LUMAREX_VIRTUAL_DAC_CAPTURE='" +
        Capture() + "' '" LUMAREX_BIN_DIR "/lumarex-cli' send '" + show + "' " + arguments +
        " > '" + dir_ + "out.txt' 2>&1";
    return std::system(command.c_str());
  }
  std::string Capture() const { return dir_ + "capture.bin"; }
  std::string Output() const {
    std::ifstream in(dir_ + "out.txt");
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::string dir_;
};

// The show's output through the same transform in this process, at the start-up calibration.
struct InProcessOutput {
  ShowStore store;
  ShowReaders readers;
  SilentDesktopServices desktop;
  JMLaser unbound;
  StatusImage scanninfo{250, 430};
  StatusImage deviceFenster{250, 243};
  LaserAusgabe output{store, unbound, scanninfo, deviceFenster};

  bool Load(const std::string& show) {
    output.ApplyStartupSettings();
    return LoadShowFile(store, readers, show, false, desktop);
  }
};

TEST_F(SendEndToEnd, OnePointFrameAtStartUpCalibration) {
  ShowStore store;
  SilentDesktopServices desktop;
  store.ClearShow();
  store.FrameCount = 0;
  // Two points: a frame whose last index is 0 counts as empty.
  const auto points = store.NewFrame(2);
  points[0] = points[1] = ShowPoint{1000, 1000, 0, 255, 255, 255, 1, 0};
  store.CommitFrame(1, FrameTail::kAllReal);
  const std::string show = dir_ + "one.ild";
  WriteIlda(store, show, 0, 0, desktop);

  ASSERT_EQ(Send(show, "--frame 0 --count 2"), 0) << Output();
  const auto frames = ReadCapture(Capture());
  ASSERT_EQ(frames.size(), 2u) << Output();
  // Scale 0.5, offset 0, tables 5..80 at full power (lit white stays 255, blanked stays 0);
  // the shift of 5 hands the first entry's darkness to the last.
  const DacPoint centre{32768, 32768, 0, 0, 0, 0, {}};
  const DacPoint dark{33268, 33268, 0, 0, 0, 0, {}};
  const DacPoint lit{33268, 33268, 255, 255, 255, 255, {}};
  for (const CapturedFrame& frame : frames) {
    EXPECT_EQ(frame.pointsPerSecond, 25000u);
    EXPECT_EQ(frame.points, (std::vector<DacPoint>{centre, dark, lit, lit, dark, centre}));
  }
  EXPECT_NE(Output().find("Sent 2 frames of 6 points"), std::string::npos) << Output();
}

TEST_F(SendEndToEnd, CalibrationOptionsGoThroughTheHandlers) {
  const std::string show = LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild";
  ASSERT_EQ(Send(show,
                 "--frame 7 --scan-speed 40 --size-x 10:95 --size-y 50:55 --orientation 5 "
                 "--colour-shift 3 --extra-points 2 --frame-change direct --red 3:60 "
                 "--green 50:30 --blue 0:80 --power 7 --count 2"),
            0)
      << Output();
  const auto frames = ReadCapture(Capture());
  ASSERT_EQ(frames.size(), 2u) << Output();

  // The same frame through the same handlers in this process.
  InProcessOutput in;
  ASSERT_TRUE(in.Load(show));
  LaserAusgabe& expected = in.output;
  expected.Scanspeed.SetPosition(40);
  expected.Achse_X.SetLeft(10);
  expected.Achse_X.SetRight(95);
  expected.Achse_Y.SetLeft(50);
  expected.Achse_Y.SetRight(55);
  expected.Scanner_Invers.SetPosition(5);
  expected.Farbverschiebung.SetPosition(3);
  expected.Extrapoints.SetPosition(2);
  expected.Framewechsel.Click();
  expected.Rot_to_Laser.SetLeft(3);
  expected.Rot_to_Laser.SetRight(60);
  expected.Gruen_to_Laser.SetLeft(50);
  expected.Gruen_to_Laser.SetRight(30);
  expected.Blau_to_Laser.SetLeft(0);
  expected.Blau_to_Laser.SetRight(80);
  expected.Dimmen_RGB.SetPosition(7);
  // The narrow Y window was widened by its handler; green's left went to 50, was held at 40,
  // then the right thumb at 30 pushed it down to 30 and was held at 45 itself.
  EXPECT_EQ(expected.Achse_Y.Left(), 49);
  EXPECT_EQ(expected.Achse_Y.Right(), 56);
  EXPECT_EQ(expected.Gruen_to_Laser.Left(), 30);
  EXPECT_EQ(expected.Gruen_to_Laser.Right(), 45);

  for (const CapturedFrame& frame : frames) {
    expected.OutputFrame(7);  // direct mode: the second frame starts where the first ended
    const auto list = expected.LastDacPoints();
    EXPECT_EQ(frame.pointsPerSecond, 40000u);
    ASSERT_EQ(frame.points.size(), list.size());
    for (size_t k = 0; k < list.size(); ++k) ASSERT_EQ(frame.points[k], list[k]) << k;
  }
}

// A projection file fits the frame to the wall: what reaches the DAC is the calibrated list
// through the same projection in this process, the audience mask stays dark, and `projection
// check` tells the file. A file with a fault sends nothing and names the field.
TEST_F(SendEndToEnd, AProjectionFitsTheFrameAndKeepsTheMaskDark) {
  const std::string show = LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild";
  const std::string file = dir_ + "venue.projection.json";
  std::ofstream(file)
      << R"({"corners": [[3000, 1000], [62000, 4000], [60000, 64000], [5000, 62000]],
    "masks": [{"polygon": [[20000, 30000], [45000, 30000], [45000, 65535], [20000, 65535]]}],
    "safeArea": [2000, 2000, 63000, 63000]})";
  ASSERT_EQ(Send(show, "--frame 7 --count 1 --projection '" + file + "'"), 0) << Output();
  const auto frames = ReadCapture(Capture());
  ASSERT_EQ(frames.size(), 1u) << Output();

  InProcessOutput in;
  ASSERT_TRUE(in.Load(show));
  LaserAusgabe& expected = in.output;
  expected.OutputFrame(7);
  const std::vector<DacPoint> calibrated(expected.LastDacPoints().begin(),
                                         expected.LastDacPoints().end());
  const ProjectionRead read = ReadProjectionFile(file);
  ASSERT_TRUE(read.ok) << read.error;
  ASSERT_TRUE(expected.OutputProjection.Set(read.projection));
  expected.OutputFrame(7);
  const auto list = expected.LastDacPoints();
  ASSERT_EQ(frames[0].points.size(), list.size());
  for (size_t k = 0; k < list.size(); ++k) ASSERT_EQ(frames[0].points[k], list[k]) << k;
  EXPECT_EQ(test::ProjectionFault(read.projection, calibrated, frames[0].points), "");
  size_t lit = 0;
  for (const DacPoint& p : frames[0].points) lit += test::Lit(p) ? 1 : 0;
  EXPECT_GT(lit, 0u) << "light outside the mask";

  const std::string check = "'" LUMAREX_BIN_DIR "/lumarex-cli' projection check '" + file +
                            "' > '" + dir_ + "out.txt' 2>&1";
  ASSERT_EQ(std::system(check.c_str()), 0) << Output();
  EXPECT_EQ(Output(),
            "Corners: (3000, 1000) (62000, 4000) (60000, 64000) (5000, 62000)\n"
            "Mask 1: 4 vertices, blank: (20000, 30000) (45000, 30000) (45000, 65535) (20000, "
            "65535)\n"
            "Safe area: (2000, 2000) to (63000, 63000)\n");

  std::ofstream(dir_ + "bad.projection.json") << R"({"safeArea": [5, 5, 1, 9]})";
  std::remove(Capture().c_str());
  EXPECT_NE(Send(show, "--frame 7 --projection '" + dir_ + "bad.projection.json'"), 0);
  EXPECT_NE(Output().find("bad.projection.json: safeArea: x0 < x1 and y0 < y1"), std::string::npos)
      << Output();
  EXPECT_TRUE(ReadCapture(Capture()).empty()) << "nothing sent";
}

TEST_F(SendEndToEnd, DevicesListsTheVirtualDacFirst) {
  const std::string command = "LUMAREX_ETHERDREAM= LUMAREX_ETHERDREAM_LISTEN_MS=0 '" LUMAREX_BIN_DIR
                              "/lumarex-cli' devices > '" +
                              dir_ + "out.txt' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << Output();
  const std::string out = Output();
  ASSERT_EQ(out.rfind("Index\tName\tFriendlyName\tMaxSpeed\n0\t", 0), 0u) << out;
  const std::string first = out.substr(0, out.find('\n', out.find('\n') + 1));
  EXPECT_EQ(first.substr(first.size() - 7), "\t100000") << out;
}

TEST_F(SendEndToEnd, RefusesWhatItCannotDo) {
  const std::string show = LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild";
  EXPECT_NE(Send(show, "--frame 60000"), 0);
  EXPECT_NE(Send(show, "--frame 0 --device 17"), 0);
  EXPECT_NE(Send(show, "--frame 0 --red 3:90"), 0);
  EXPECT_NE(Send(show, "--frame 0 --count 2 --seconds 1"), 0);
  // Nothing was sent, though the device may have been opened and its capture created.
  if (std::filesystem::exists(Capture())) {
    EXPECT_TRUE(ReadCapture(Capture()).empty());
  }
}

}  // namespace
}  // namespace lumarex
