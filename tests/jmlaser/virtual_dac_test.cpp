#include "jmlaser/virtual_dac.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace lumarex::jmlaser {
namespace {

std::vector<DacPoint> Frame(size_t count, uint8_t tag = 0) {
  std::vector<DacPoint> points(count);
  for (size_t k = 0; k < count; ++k) {
    points[k].x = static_cast<uint16_t>(k * 7);
    points[k].y = static_cast<uint16_t>(65535 - k);
    points[k].r = tag;
    points[k].g = static_cast<uint8_t>(k);
    points[k].b = 3;
    points[k].i = static_cast<uint8_t>((tag + k % 256 + 3) / 3);
  }
  return points;
}

class VirtualDacTest : public ::testing::Test {
 protected:
  std::unique_ptr<DacStream> Open(const std::string& capture = "") {
    family_ = std::make_unique<VirtualDacFamily>(clock_, VirtualDacOptions{capture});
    devices_.clear();
    family_->Discover(devices_);
    return family_->Open(devices_.at(0));
  }

  ManualClock clock_;
  std::unique_ptr<VirtualDacFamily> family_;
  std::vector<DeviceInfo> devices_;
};

TEST_F(VirtualDacTest, DescribesItselfAsALocalDacOfOneHundredThousandPointsPerSecond) {
  auto stream = Open();
  ASSERT_EQ(devices_.size(), 1u);
  EXPECT_EQ(devices_[0].name, "Virtual DAC 0");
  EXPECT_FALSE(devices_[0].remote);
  EXPECT_EQ(devices_[0].maxSpeed, 100000);
}

TEST_F(VirtualDacTest, TakesFramesOnlyWhileStarted) {
  auto stream = Open();
  const auto frame = Frame(10);
  EXPECT_FALSE(stream->IsReady());
  EXPECT_EQ(stream->Write(frame, 10000, false), kJmLaserErrorNotStarted);
  stream->Start();
  EXPECT_TRUE(stream->IsReady());
  EXPECT_EQ(stream->Write(frame, 10000, false), kJmLaserOk);
  stream->Stop();
  EXPECT_FALSE(stream->IsReady());
  EXPECT_EQ(stream->Write(frame, 10000, false), kJmLaserErrorNotStarted);
}

TEST_F(VirtualDacTest, AWaitingFrameStartsWhenThePassOfTheCurrentOneEnds) {
  auto stream = Open();
  stream->Start();
  clock_.Set(1000);
  // 1000 points at 10000 per second: one pass takes 100 ms.
  ASSERT_EQ(stream->Write(Frame(1000, 1), 10000, false), kJmLaserOk);
  EXPECT_TRUE(stream->IsReady()) << "an idle DAC scans the first frame at once";
  ASSERT_EQ(stream->Write(Frame(1000, 2), 10000, false), kJmLaserOk);
  EXPECT_FALSE(stream->IsReady());
  EXPECT_EQ(stream->Write(Frame(10, 3), 10000, false), kJmLaserErrorBusy);
  clock_.Set(1099);
  EXPECT_FALSE(stream->IsReady());
  clock_.Set(1100);
  EXPECT_TRUE(stream->IsReady());

  // Frame 2 scans from 1100 and repeats every 100 ms; a frame written in the middle of a pass
  // waits for that pass to end.
  clock_.Set(1350);
  ASSERT_EQ(stream->Write(Frame(500, 4), 10000, false), kJmLaserOk);
  clock_.Set(1399);
  EXPECT_FALSE(stream->IsReady());
  clock_.Set(1400);
  EXPECT_TRUE(stream->IsReady());
  // Frame 4 (50 ms) now scans from 1400.
  ASSERT_EQ(stream->Write(Frame(10, 5), 10000, false), kJmLaserOk);
  clock_.Set(1449);
  EXPECT_FALSE(stream->IsReady());
  clock_.Set(1450);
  EXPECT_TRUE(stream->IsReady());
}

TEST_F(VirtualDacTest, ReplacingTheWaitingFrameKeepsTheNewest) {
  auto stream = Open();
  stream->Start();
  ASSERT_EQ(stream->Write(Frame(1000), 10000, false), kJmLaserOk);  // 100 ms, from 0
  ASSERT_EQ(stream->Write(Frame(1000), 10000, false), kJmLaserOk);  // would be 100 ms
  ASSERT_EQ(stream->Write(Frame(3000), 10000, true), kJmLaserOk);   // 300 ms, replaces it
  clock_.Set(100);
  ASSERT_TRUE(stream->IsReady());
  ASSERT_EQ(stream->Write(Frame(10), 10000, false), kJmLaserOk);
  clock_.Set(399);
  EXPECT_FALSE(stream->IsReady()) << "the 300 ms frame is the one scanning";
  clock_.Set(400);
  EXPECT_TRUE(stream->IsReady());
}

TEST_F(VirtualDacTest, AShowFasterThanThePointRateGetsFramesRefused) {
  auto stream = Open();
  stream->Start();
  // 50 frames per second of 1000 points need 50000 points per second; at 20000 only two
  // frames in five can be scanned.
  int accepted = 0;
  int refused = 0;
  for (uint32_t t = 0; t < 2000; t += 20) {
    clock_.Set(t);
    if (stream->IsReady() && stream->Write(Frame(1000), 20000, false) == kJmLaserOk) {
      ++accepted;
    } else {
      ++refused;
    }
  }
  EXPECT_NEAR(accepted, 40, 2);
  EXPECT_EQ(accepted + refused, 100);
}

TEST_F(VirtualDacTest, StopDropsTheFramesItHolds) {
  auto stream = Open();
  stream->Start();
  ASSERT_EQ(stream->Write(Frame(1000), 1000, false), kJmLaserOk);
  ASSERT_EQ(stream->Write(Frame(1000), 1000, false), kJmLaserOk);
  EXPECT_FALSE(stream->IsReady());
  stream->Stop();
  stream->Start();
  EXPECT_TRUE(stream->IsReady());
  ASSERT_EQ(stream->Write(Frame(10), 1000, false), kJmLaserOk);
  EXPECT_TRUE(stream->IsReady()) << "the new frame scans at once, nothing is left before it";
}

TEST_F(VirtualDacTest, ARateOfZeroScansAtTheMinimumInsteadOfStallingForEver) {
  auto stream = Open();
  stream->Start();
  ASSERT_EQ(stream->Write(Frame(1), 0, false), kJmLaserOk);
  ASSERT_EQ(stream->Write(Frame(1), 25000, false), kJmLaserOk);
  EXPECT_FALSE(stream->IsReady());
  clock_.Set(1);  // one point at the minimum of 1000 per second
  EXPECT_TRUE(stream->IsReady());
}

TEST_F(VirtualDacTest, KeepsTimeAcrossTheWrapOfTheMillisecondClock) {
  auto stream = Open();
  stream->Start();
  clock_.Set(0xFFFFFFF0u);
  ASSERT_EQ(stream->Write(Frame(1000), 10000, false), kJmLaserOk);
  ASSERT_EQ(stream->Write(Frame(1000), 10000, false), kJmLaserOk);
  clock_.Set(0x00000040u);  // 80 ms later
  EXPECT_FALSE(stream->IsReady());
  clock_.Set(0x00000054u);  // 100 ms later
  EXPECT_TRUE(stream->IsReady());
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(VirtualDacTest, CapturesEveryFrameItTakesAsCountRateAndTwelveBytePoints) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("lumarex_capture_" + std::to_string(::getpid()) + ".bin");
  std::filesystem::remove(path);
  {
    auto stream = Open(path.string());
    stream->Start();
    std::vector<DacPoint> first(2);
    first[0] = {0x1234, 0xABCD, 1, 2, 3, 2, {}};
    first[1] = {65535, 0, 255, 0, 0, 85, {}};
    ASSERT_EQ(stream->Write(first, 25000, false), kJmLaserOk);
    std::vector<DacPoint> second(1);
    second[0] = {32768, 32768, 0, 0, 0, 0, {}};
    ASSERT_EQ(stream->Write(second, 0, false), kJmLaserOk);
    // Refused while the second frame waits, so not part of what the DAC took.
    ASSERT_EQ(stream->Write(second, 30000, false), kJmLaserErrorBusy);
  }
  const std::vector<uint8_t> expected = {
      2,    0,    0,    0,    0xA8, 0x61, 0, 0,               // 2 points, 25000
      0x34, 0x12, 0xCD, 0xAB, 1,    2,    3, 2,  0, 0, 0, 0,  //
      0xFF, 0xFF, 0x00, 0x00, 255,  0,    0, 85, 0, 0, 0, 0,  //
      1,    0,    0,    0,    0,    0,    0, 0,               // 1 point, rate as given
      0x00, 0x80, 0x00, 0x80, 0,    0,    0, 0,  0, 0, 0, 0,  //
  };
  EXPECT_EQ(ReadAll(path), expected);

  // A later run appends.
  {
    auto stream = Open(path.string());
    stream->Start();
    std::vector<DacPoint> one(1);
    ASSERT_EQ(stream->Write(one, 1000, false), kJmLaserOk);
  }
  EXPECT_EQ(ReadAll(path).size(), expected.size() + 8 + 12);
  std::filesystem::remove(path);
}

// A rig's virtual DACs: N devices, each capturing to a file of its own (device 0 to the path
// itself, as a single one does).
TEST_F(VirtualDacTest, ARigOfVirtualDacsCapturesEachToItsOwnFile) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("lumarex_rig_" + std::to_string(::getpid()) + ".bin");
  family_ = std::make_unique<VirtualDacFamily>(clock_, VirtualDacOptions{path.string(), 3});
  family_->Discover(devices_);
  ASSERT_EQ(devices_.size(), 3u);
  EXPECT_EQ(devices_[0].name, "Virtual DAC 0");
  EXPECT_EQ(devices_[2].name, "Virtual DAC 2");
  for (size_t k = 0; k < 3; ++k) {
    const std::string file = k == 0 ? path.string() : path.string() + "." + std::to_string(k);
    std::filesystem::remove(file);
    {
      auto stream = family_->Open(devices_[k]);
      stream->Start();
      ASSERT_EQ(stream->Write(Frame(k + 1), 10000, false), kJmLaserOk);
    }
    EXPECT_EQ(ReadAll(file).size(), 8 + 12 * (k + 1)) << file;
    std::filesystem::remove(file);
  }
  VirtualDacFamily tooMany(clock_, VirtualDacOptions{"", 99});
  std::vector<DeviceInfo> listed;
  tooMany.Discover(listed);
  EXPECT_EQ(listed.size(), 8u);
}

}  // namespace
}  // namespace lumarex::jmlaser
