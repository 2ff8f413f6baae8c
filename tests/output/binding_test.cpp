#include <gtest/gtest.h>

#include "fake_driver.h"
#include "output/jm_laser.h"
#include "platform/dynamic_library.h"

namespace lumarex {
namespace {

using testing::FakeDriver;
using testing::RecordingDesktop;

TEST(Binding, MissingLibraryReportsAndEveryCallAnswersMinus999) {
  RecordingDesktop desktop;
  JMLaser dac;
  dac.BindFrom(::testing::TempDir() + "no-such-folder/", desktop);
  EXPECT_FALSE(dac.DacLibraryLoaded());
  EXPECT_EQ(desktop.messages, (std::vector<std::string>{"Error loading jmlaser.dll.",
                                                        "Keine Jmlaser.dll gefunden >0x581< "}));
  char buffer[100] = {};
  const DacPoint point{};
  EXPECT_EQ(dac.jmLaserOpenDll(), -999);
  EXPECT_EQ(dac.jmLaserCloseDll(), -999);
  EXPECT_EQ(dac.jmLaserEnumerateDevices(), -999);
  EXPECT_EQ(dac.jmLaserGetDeviceListEntry(0, buffer, 100), -999);
  EXPECT_EQ(dac.jmLaserGetFriendlyName(buffer, buffer, 100), -999);
  EXPECT_EQ(dac.jmLaserOpenDevice(buffer), -999);
  EXPECT_EQ(dac.jmLaserCloseDevice(1), -999);
  EXPECT_EQ(dac.jmLaserGetMaxSpeed(1), -999);
  EXPECT_EQ(dac.jmLaserStartOutput(-1), -999);
  EXPECT_EQ(dac.jmLaserStopOutput(-1), -999);
  EXPECT_EQ(dac.jmLaserIsDeviceReady(1), -999);
  EXPECT_EQ(dac.jmLaserWriteFrameNL(1, &point, 1, 25000, 0), -999);
}

TEST(Binding, LibraryLackingANameIsNotTaken) {
  RecordingDesktop desktop;
  JMLaser dac;
  dac.BindFrom(FAKE_JMLASER_INCOMPLETE_DIR, desktop);
  EXPECT_FALSE(dac.DacLibraryLoaded());
  EXPECT_EQ(desktop.messages, (std::vector<std::string>{"Keine Jmlaser.dll gefunden >0x581< "}));
  EXPECT_EQ(dac.jmLaserEnumerateDevices(), -999);
}

TEST(Binding, VersionIsCheckedAndTheLibraryClosedAtTheEnd) {
  FakeDriver fake;
  {
    fake.Reset(0x10F);
    RecordingDesktop desktop;
    JMLaser dac;
    dac.BindFrom(FAKE_JMLASER_DIR, desktop);
    EXPECT_FALSE(dac.DacLibraryLoaded());
    EXPECT_EQ(desktop.messages, (std::vector<std::string>{"Zu alte jmlaser.dll ? >0x582< "}));
    EXPECT_EQ(dac.jmLaserEnumerateDevices(), -999);
  }
  EXPECT_EQ(fake.Log(), "OpenDll;");  // a refused library is not closed as a session

  fake.Reset(0x110);
  fake.AddDevice("A", "Alpha", 30000);
  RecordingDesktop desktop;
  {
    JMLaser dac;
    dac.BindFrom(FAKE_JMLASER_DIR, desktop);
    EXPECT_TRUE(dac.DacLibraryLoaded());
    EXPECT_EQ(dac.jmLaserEnumerateDevices(), 1);
    DacPoint points[2] = {DacPoint{1, 2, 3, 4, 5, 4, {}}, DacPoint{65535, 0, 255, 0, 0, 85, {}}};
    EXPECT_EQ(dac.jmLaserWriteFrameNL(100, points, 2, 25000, 0), 0);
    EXPECT_EQ(fake.LastFrame(), (std::vector<DacPoint>{points[0], points[1]}));
  }
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_EQ(fake.Log(), "OpenDll;Enumerate;Write 100 2;CloseDll;");
}

TEST(Binding, ExecutableFolderIsThisTestsFolder) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(folder, std::string(LUMAREX_BIN_DIR) + "/");
}

}  // namespace
}  // namespace lumarex
