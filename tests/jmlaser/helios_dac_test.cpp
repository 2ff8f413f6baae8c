#include "jmlaser/helios_dac.h"

#include <gtest/gtest.h>

#include <cmath>

#include "jmlaser/helios_protocol.h"
#include "tests/jmlaser/dac_test_support.h"
#include "tests/jmlaser/fake_helios_usb.h"

namespace lumarex::jmlaser {
namespace {

using std::chrono::milliseconds;
using testing::FakeHelios;
using testing::FakeHeliosUsb;
using testing::Prompt;
using testing::Ramp;
using testing::WaitUntil;

TEST(HeliosProtocol, PacksTwelveBitPointsBitExactWithTheFirmwareQuirkAndThinning) {
  const std::vector<DacPoint> two{{0xABCD, 0x1234, 10, 20, 30, 40, {}},
                                  {0xFFFF, 0x0000, 255, 0, 1, 2, {}}};
  std::vector<uint8_t> out;
  helios::EncodeFrame(two, 30000, 4, false, 0, out);
  // x 0xABC, y 0x123: AB, C1, 23; then the colours; rate 30000, 2 points, flags.
  EXPECT_EQ(out, (std::vector<uint8_t>{0xAB, 0xC1, 0x23, 10, 20, 30, 40, 0xFF, 0xF0, 0x00, 255, 0,
                                       1, 2, 0x30, 0x75, 2, 0, 0}));
  helios::EncodeFrame(two, 0, 3, true, helios::kFlagPlayOnce, out);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 3, out.begin() + 7),
            (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(out[14] | out[15] << 8, 7) << "the slowest rate the DAC takes";
  EXPECT_EQ(out[18], helios::kFlagPlayOnce);

  // (n - 45) % 64 == 0 loses the transfer: 45 and 109 points go as 44 and 108, slower.
  for (const size_t n : {45u, 109u}) {
    helios::EncodeFrame(Ramp(n, 7), 20000, 4, false, 0, out);
    const auto frame = helios::DecodeFrame(out);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->points.size(), n - 1);
    EXPECT_EQ(frame->rate, static_cast<int>(std::lround(20000.0 * static_cast<double>(n - 1) /
                                                        static_cast<double>(n))));
  }
  helios::EncodeFrame(Ramp(46, 7), 100000, 4, false, 0, out);
  EXPECT_EQ(helios::DecodeFrame(out)->points.size(), 46u);
  EXPECT_EQ(helios::DecodeFrame(out)->rate, 65535);

  // 8190 points thin to every other one, at half the rate: the frame lasts as long.
  const auto big = Ramp(8189, 9);
  helios::EncodeFrame(big, 30000, 4, false, 0, out);
  const auto thinned = helios::DecodeFrame(out);
  ASSERT_TRUE(thinned);
  ASSERT_EQ(thinned->points.size(), 4095u);
  EXPECT_EQ(thinned->rate, std::lround(30000.0 * 4095 / 8189));
  for (size_t k = 0; k < 4095; ++k) {
    ASSERT_EQ(thinned->points[k].x, big[2 * k].x & 0xFFF0) << k;
    ASSERT_EQ(thinned->points[k].g, big[2 * k].g) << k;
  }
}

class HeliosDacTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dac_ = usb_->Plug("1-2");
    options_.usb = usb_;
    options_.watchdogHold = milliseconds(200);
  }

  std::unique_ptr<DacStream> OpenStarted(HeliosFamily& family) {
    std::vector<DeviceInfo> devices;
    family.Discover(devices);
    if (devices.empty()) return nullptr;
    auto stream = family.Open(devices[0]);
    stream->Start();
    if (!WaitUntil([&] { return stream->IsReady(); }, milliseconds(500))) return nullptr;
    return stream;
  }

  std::shared_ptr<FakeHeliosUsb> usb_ = std::make_shared<FakeHeliosUsb>();
  std::shared_ptr<FakeHelios> dac_;
  HeliosOptions options_;
};

TEST_F(HeliosDacTest, FindsDacsByTheirIdsWithNameAndFirmwareAndExplainsMissingAccess) {
  usb_->Plug("1-3")->Change([](FakeHelios::State& s) { s.accessDenied = true; });
  HeliosFamily family(options_);
  std::vector<DeviceInfo> devices;
  family.Discover(devices);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].name, "Helios 1-2");
  EXPECT_EQ(devices[0].friendlyName, "Helios Bench fw 6");
  EXPECT_EQ(devices[0].minSpeed, 7);
  EXPECT_EQ(devices[0].maxSpeed, 65535);
  EXPECT_FALSE(devices[0].remote);
  EXPECT_EQ(devices[1].name, "Helios 1-3");
  EXPECT_EQ(devices[1].friendlyName, "Helios no access - udev rule");
  const std::string hint = HeliosAccessHint("1-3");
  for (const char* part : {"1-3", "idVendor}==\"1209\"", "e500", "uaccess", "plugdev"}) {
    EXPECT_NE(hint.find(part), std::string::npos) << part;
  }

  auto denied = Prompt([&] { return family.Open(devices[1]); });
  denied->Start();
  EXPECT_FALSE(denied->IsReady());
  EXPECT_EQ(denied->Write(Ramp(3, 1), 20000, false), kJmLaserErrorDisconnected);
}

TEST_F(HeliosDacTest, SendsEachFrameOnceTheStatusSaysReadyAndShutsTheShutterOnStop) {
  HeliosFamily family(options_);
  auto stream = OpenStarted(family);
  ASSERT_TRUE(stream);
  // 200 points at 10000 per second: 20 ms a pass. The DAC takes one frame behind the one it
  // plays; a third must wait until the first has played.
  const std::vector<std::vector<DacPoint>> frames{Ramp(200, 50), Ramp(120, 60), Ramp(90, 70)};
  const std::vector<int32_t> rates{10000, 12000, 9000};
  for (size_t k = 0; k < frames.size(); ++k) {
    ASSERT_TRUE(WaitUntil([&] { return stream->IsReady(); }, milliseconds(100)));
    ASSERT_EQ(Prompt([&] { return stream->Write(frames[k], rates[k], false); }), kJmLaserOk);
  }
  ASSERT_TRUE(WaitUntil([&] { return dac_->Snapshot().frames.size() == 3; }, milliseconds(500)));

  const auto state = dac_->Snapshot();
  EXPECT_GT(state.busyAnswers, 0) << "the third frame waited";
  EXPECT_TRUE(state.shutterOpen);
  for (size_t k = 0; k < frames.size(); ++k) {
    std::vector<uint8_t> expected;
    helios::EncodeFrame(frames[k], rates[k], 4, false, 0, expected);
    EXPECT_EQ(state.transfers[k], expected) << "frame " << k;
  }

  Prompt([&] {
    stream->Stop();
    return 0;
  });
  ASSERT_TRUE(WaitUntil([&] { return dac_->Snapshot().stops == 1; }, milliseconds(200)));
  EXPECT_FALSE(dac_->Snapshot().shutterOpen);
  EXPECT_FALSE(stream->IsReady());
}

TEST_F(HeliosDacTest, RecoversFromStallsDarkensAHeldSpotAndLetsAVanishedDacGo) {
  HeliosFamily family(options_);
  auto stream = OpenStarted(family);
  ASSERT_TRUE(stream);
  dac_->Change([](FakeHelios::State& s) {
    s.stallBulkOut = 1;
    s.stallControlIn = 1;
  });
  ASSERT_EQ(stream->Write(Ramp(100, 1), 20000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return dac_->Snapshot().frames.size() == 1; }, milliseconds(300)));
  EXPECT_EQ(dac_->Snapshot().clearedHalts, 2);

  // The watchdog: a spot held past its time (200 ms here) stops the DAC and shuts the
  // shutter; a new frame opens it again.
  const std::vector<DacPoint> spot{{30000, 30000, 255, 255, 255, 255, {}}};
  ASSERT_TRUE(WaitUntil([&] { return stream->IsReady(); }, milliseconds(100)));
  ASSERT_EQ(stream->Write(spot, 20000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return dac_->Snapshot().frames.size() == 2; }, milliseconds(300)));
  EXPECT_EQ(dac_->Snapshot().stops, 0);
  ASSERT_TRUE(WaitUntil([&] { return dac_->Snapshot().stops == 1; }, milliseconds(400)));
  EXPECT_FALSE(dac_->Snapshot().shutterOpen);
  ASSERT_EQ(stream->Write(Ramp(100, 2), 20000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return dac_->Snapshot().shutterOpen; }, milliseconds(300)));

  // A DAC that hangs in a frame transfer holds up nobody: closing returns at once.
  dac_->Change([](FakeHelios::State& s) { s.hangMs = 400; });
  ASSERT_EQ(stream->Write(Ramp(100, 5), 20000, false), kJmLaserOk);
  std::this_thread::sleep_for(milliseconds(50));
  Prompt([&] {
    stream.reset();
    return 0;
  });
  dac_->Change([](FakeHelios::State& s) { s.hangMs = 0; });
  stream = OpenStarted(family);
  ASSERT_TRUE(WaitUntil([&] { return stream != nullptr; }, milliseconds(600)));

  usb_->Unplug("1-2");
  ASSERT_TRUE(WaitUntil(
      [&] {
        return Prompt([&] { return stream->Write(Ramp(100, 3), 20000, false); }) ==
               kJmLaserErrorDisconnected;
      },
      milliseconds(500)));
  EXPECT_FALSE(stream->IsReady());
  Prompt([&] {
    stream.reset();
    return 0;
  });

  // Plugged in again: a new search and open reach it.
  dac_ = usb_->Plug("1-2");
  auto again = OpenStarted(family);
  ASSERT_TRUE(again);
  ASSERT_EQ(again->Write(Ramp(10, 4), 20000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return dac_->Snapshot().frames.size() == 1; }, milliseconds(300)));
}

}  // namespace
}  // namespace lumarex::jmlaser
