// The shared object as the program sees it: loaded with dlopen, every entry point by name.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "jmlaser/jmlaser.h"
#include "tests/jmlaser/dac_test_support.h"
#include "tests/jmlaser/etherdream_stand_in.h"

namespace lumarex::jmlaser {
namespace {

constexpr std::array<const char*, 39> kEntryPoints = {
    "jmLaserOpenDll",
    "jmLaserCloseDll",
    "jmLaserEnumerateDevices",
    "jmLaserGetDeviceListLength",
    "jmLaserGetDeviceListEntryLength",
    "jmLaserGetDeviceListEntry",
    "jmLaserGetDeviceFamilyName",
    "jmLaserGetDeviceFamilyNameLength",
    "jmLaserDeviceIsRemote",
    "jmLaserDeviceIsInUse",
    "jmLaserGetFriendlyName",
    "jmLaserGetFriendlyNameLength",
    "jmLaserSetFriendlyName",
    "jmLaserOpenDevice",
    "jmLaserCloseDevice",
    "jmLaserGetDeviceName",
    "jmLaserGetDeviceNameLength",
    "jmLaserStartOutput",
    "jmLaserStopOutput",
    "jmLaserGetMinSpeed",
    "jmLaserGetMaxSpeed",
    "jmLaserGetSpeedStep",
    "jmLaserGetMaxFrameSize",
    "jmLaserGetNumColorChannels",
    "jmLaserSetNumUsedColorChannels",
    "jmLaserGetNumUsedColorChannels",
    "jmLaserIsDeviceReady",
    "jmLaserWaitForDeviceReady",
    "jmLaserWriteFrame",
    "jmLaserWriteFrameEL",
    "jmLaserWriteFrameNL",
    "jmLaserGetNumUniverses",
    "jmLaserGetUniverseNameLength",
    "jmLaserGetUniverseName",
    "jmLaserGetUniverseResolution",
    "jmLaserGetUniverseNumChannels",
    "jmLaserUniverseUpdate",
    "jmLaserUniverseRead",
    "jmLaserUniverseWrite",
};

using NoArgs = int32_t (*)();
using ByIndex = int32_t (*)(int32_t);
using Text = int32_t (*)(int32_t, char*, int32_t);
using ByName = int32_t (*)(const char*);
using NameText = int32_t (*)(const char*, char*, int32_t);
using Rename = int32_t (*)(const char*, const char*);
using Handle2 = int32_t (*)(int32_t, int32_t);
using Write = int32_t (*)(int32_t, const DacPoint*, int32_t, int32_t, int32_t);

class EntryPointsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("LUMAREX_ETHERDREAM");
    ::setenv("LUMAREX_ETHERDREAM_LISTEN_MS", "0", 1);
    // Nothing leaves this machine: no search broadcasts, no network DACs named, no USB.
    ::setenv("LUMAREX_DAC_BROADCAST", "none", 1);
    ::unsetenv("LUMAREX_IDN");
    ::unsetenv("LUMAREX_LASERCUBE");
    ::unsetenv("LUMAREX_USB_BACKEND");
    ::unsetenv("LUMAREX_FAKE_HELIOS_CONTROL");
    ::unsetenv("LUMAREX_FAKE_HELIOS_LOG");
    capture_ = std::filesystem::temp_directory_path() /
               ("lumarex_entry_capture_" + std::to_string(::getpid()) + ".bin");
    std::filesystem::remove(capture_);
    ::setenv("LUMAREX_VIRTUAL_DAC_CAPTURE", capture_.c_str(), 1);
    library_ = ::dlopen(LUMAREX_BIN_DIR "/libjmlaser.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << ::dlerror();
  }

  void TearDown() override {
    if (library_ != nullptr) {
      if (auto close = Fn<NoArgs>("jmLaserCloseDll")) close();
      ::dlclose(library_);
    }
    std::filesystem::remove(capture_);
  }

  template <typename F>
  F Fn(const char* name) {
    return reinterpret_cast<F>(::dlsym(library_, name));
  }

  std::string Text(const char* entry, int32_t handleOrIndex, int32_t length = 100) {
    std::vector<char> buffer(static_cast<size_t>(length) + 8, 'X');
    lastResult_ = Fn<jmlaser::Text>(entry)(handleOrIndex, buffer.data(), length);
    return buffer.data();
  }

  std::string NameTextOf(const char* entry, const char* name) {
    std::array<char, 100> buffer{};
    lastResult_ = Fn<NameText>(entry)(name, buffer.data(), 100);
    return buffer.data();
  }

  void* library_ = nullptr;
  std::filesystem::path capture_;
  int32_t lastResult_ = 0;
};

TEST_F(EntryPointsTest, ExportsAllThirtyNineNamesAndAnswersNotOpenBeforeOpenDll) {
  for (const char* name : kEntryPoints) EXPECT_NE(::dlsym(library_, name), nullptr) << name;
  EXPECT_EQ(Fn<NoArgs>("jmLaserEnumerateDevices")(), kJmLaserErrorNotOpen);
  EXPECT_EQ(Fn<ByName>("jmLaserOpenDevice")("Virtual DAC 0"), kJmLaserErrorNotOpen);
  EXPECT_EQ(Fn<NoArgs>("jmLaserCloseDll")(), kJmLaserErrorNotOpen);
  // Nothing else leaks out of the library for a host to trip over.
  EXPECT_EQ(::dlsym(library_, "_ZN7lumarex7jmlaser10DacLibrary9EnumerateEv"), nullptr);
}

TEST_F(EntryPointsTest, ListsTheVirtualDacAsDeviceZeroWithItsNamesAndLimits) {
  ASSERT_GE(Fn<NoArgs>("jmLaserOpenDll")(), 272);
  ASSERT_EQ(Fn<NoArgs>("jmLaserEnumerateDevices")(), 1);
  EXPECT_EQ(Fn<NoArgs>("jmLaserGetDeviceListLength")(), 1);
  EXPECT_EQ(Text("jmLaserGetDeviceListEntry", 0), "Virtual DAC 0");
  EXPECT_EQ(lastResult_, kJmLaserOk);
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetDeviceListEntryLength")(0), 14);
  // An index beyond the list leaves an empty name rather than the buffer's old contents.
  EXPECT_EQ(Text("jmLaserGetDeviceListEntry", 1), "");
  EXPECT_EQ(lastResult_, kJmLaserErrorArgument);
  EXPECT_EQ(Text("jmLaserGetDeviceListEntry", -1), "");
  // A short buffer gets a cut, terminated name.
  EXPECT_EQ(Text("jmLaserGetDeviceListEntry", 0, 5), "Virt");
  EXPECT_EQ(lastResult_, kJmLaserErrorBufferTooSmall);

  EXPECT_EQ(NameTextOf("jmLaserGetFriendlyName", "Virtual DAC 0"), "Lumarex Virtual DAC");
  EXPECT_EQ(NameTextOf("jmLaserGetFriendlyName", "No such DAC"), "");
  EXPECT_EQ(lastResult_, kJmLaserErrorUnknownDevice);
  EXPECT_EQ(NameTextOf("jmLaserGetDeviceFamilyName", "Virtual DAC 0"), "Virtual");
  EXPECT_EQ(Fn<ByName>("jmLaserGetDeviceFamilyNameLength")("Virtual DAC 0"), 8);
  EXPECT_EQ(Fn<ByName>("jmLaserDeviceIsRemote")("Virtual DAC 0"), 0);
  EXPECT_EQ(Fn<Rename>("jmLaserSetFriendlyName")("Virtual DAC 0", "Bench"), kJmLaserOk);
  EXPECT_EQ(NameTextOf("jmLaserGetFriendlyName", "Virtual DAC 0"), "Bench");
  EXPECT_EQ(Fn<ByName>("jmLaserGetFriendlyNameLength")("Virtual DAC 0"), 6);

  const int32_t handle = Fn<ByName>("jmLaserOpenDevice")("Virtual DAC 0");
  ASSERT_GE(handle, 1);
  EXPECT_EQ(Fn<ByName>("jmLaserDeviceIsInUse")("Virtual DAC 0"), 1);
  EXPECT_EQ(Fn<ByName>("jmLaserOpenDevice")("Virtual DAC 0"), kJmLaserErrorInUse);
  EXPECT_EQ(Text("jmLaserGetDeviceName", handle), "Virtual DAC 0");
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetDeviceNameLength")(handle), 14);
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetMaxSpeed")(handle), 100000);
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetMinSpeed")(handle), 1000);
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetSpeedStep")(handle), 1);
  EXPECT_GE(Fn<ByIndex>("jmLaserGetMaxFrameSize")(handle), 65536 * 11);
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetNumColorChannels")(handle), 4);
  EXPECT_EQ(Fn<Handle2>("jmLaserSetNumUsedColorChannels")(handle, 3), kJmLaserOk);
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetNumUsedColorChannels")(handle), 3);
  EXPECT_EQ(Fn<Handle2>("jmLaserSetNumUsedColorChannels")(handle, 7), kJmLaserErrorArgument);
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetNumUniverses")(handle), 0);
  EXPECT_EQ(Fn<Handle2>("jmLaserGetUniverseResolution")(handle, 0), kJmLaserErrorNoUniverse);
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetMaxSpeed")(handle + 1), kJmLaserErrorInvalidHandle);
  EXPECT_EQ(Fn<ByIndex>("jmLaserIsDeviceReady")(-1), kJmLaserErrorInvalidHandle);

  EXPECT_EQ(Fn<ByIndex>("jmLaserCloseDevice")(handle), kJmLaserOk);
  EXPECT_EQ(Fn<ByName>("jmLaserDeviceIsInUse")("Virtual DAC 0"), 0);
  EXPECT_EQ(Fn<ByIndex>("jmLaserCloseDevice")(handle), kJmLaserErrorInvalidHandle);
}

TEST_F(EntryPointsTest, PlaysFramesAsAFrameDacAndCapturesWhatItTook) {
  ASSERT_GE(Fn<NoArgs>("jmLaserOpenDll")(), 272);
  ASSERT_EQ(Fn<NoArgs>("jmLaserEnumerateDevices")(), 1);
  const int32_t handle = Fn<ByName>("jmLaserOpenDevice")("Virtual DAC 0");
  ASSERT_GE(handle, 1);
  const auto writeNL = Fn<Write>("jmLaserWriteFrameNL");
  const auto ready = Fn<ByIndex>("jmLaserIsDeviceReady");
  // 500 points at 10000 per second: 50 ms a pass.
  std::vector<DacPoint> frame(500, DacPoint{32768, 32768, 10, 20, 30, 20, {}});

  EXPECT_EQ(ready(handle), 0);
  EXPECT_EQ(writeNL(handle, frame.data(), 500, 10000, 0), kJmLaserErrorNotStarted);
  ASSERT_EQ(Fn<ByIndex>("jmLaserStartOutput")(handle), kJmLaserOk);
  EXPECT_EQ(ready(handle), 1);
  EXPECT_EQ(writeNL(handle, frame.data(), 500, 10000, 0), kJmLaserOk);
  EXPECT_EQ(writeNL(handle, frame.data(), 500, 10000, 0), kJmLaserOk);
  EXPECT_EQ(ready(handle), 0);
  EXPECT_EQ(writeNL(handle, frame.data(), 500, 10000, 0), kJmLaserErrorBusy);
  EXPECT_EQ(writeNL(handle, frame.data(), 0, 10000, 0), kJmLaserErrorFrameSize);
  EXPECT_EQ(writeNL(handle, nullptr, 5, 10000, 0), kJmLaserErrorFrameSize);

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fn<ByIndex>("jmLaserWaitForDeviceReady")(handle), 1);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GT(waited, std::chrono::milliseconds(30));
  EXPECT_LT(waited, std::chrono::milliseconds(500));
  // The waiting write takes its frame once the pass ends; EL replaces a waiting frame.
  EXPECT_EQ(Fn<Write>("jmLaserWriteFrame")(handle, frame.data(), 500, 10000, 0), kJmLaserOk);
  EXPECT_EQ(Fn<Write>("jmLaserWriteFrame")(handle, frame.data(), 1, 10000, 0), kJmLaserOk);
  EXPECT_EQ(Fn<Write>("jmLaserWriteFrameEL")(handle, frame.data(), 2, 10000, 0), kJmLaserOk);

  EXPECT_EQ(Fn<ByIndex>("jmLaserStopOutput")(handle), kJmLaserOk);
  EXPECT_EQ(ready(handle), 0);
  EXPECT_EQ(Fn<NoArgs>("jmLaserCloseDll")(), kJmLaserOk);

  std::ifstream in(capture_, std::ios::binary);
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  // Frames of 500, 500, 500, 1 and 2 points.
  ASSERT_EQ(bytes.size(), 5 * 8 + (500 * 3 + 1 + 2) * 12u);
  size_t offset = 0;
  for (uint32_t count : {500u, 500u, 500u, 1u, 2u}) {
    EXPECT_EQ(bytes[offset] | bytes[offset + 1] << 8, static_cast<int>(count));
    EXPECT_EQ(bytes[offset + 4] | bytes[offset + 5] << 8, 10000);
    EXPECT_EQ(bytes[offset + 8 + 4], 10);
    EXPECT_EQ(bytes[offset + 8 + 7], 20);
    offset += 8 + count * 12;
  }
}

TEST_F(EntryPointsTest, ListsANamedEtherDreamAfterTheVirtualDacAndStreamsToIt) {
  testing::EtherDreamStandIn dac{testing::EtherDreamStandIn::Options{}};
  ASSERT_TRUE(dac.Listening());
  ::setenv("LUMAREX_ETHERDREAM", dac.Locator().c_str(), 1);
  ASSERT_GE(Fn<NoArgs>("jmLaserOpenDll")(), 272);
  ASSERT_EQ(Fn<NoArgs>("jmLaserEnumerateDevices")(), 2);
  const std::string name = Text("jmLaserGetDeviceListEntry", 1);
  EXPECT_EQ(name, "EtherDream " + dac.Locator());
  EXPECT_EQ(Fn<ByName>("jmLaserDeviceIsRemote")(name.c_str()), 1);
  const int32_t handle = Fn<ByName>("jmLaserOpenDevice")(name.c_str());
  ASSERT_GE(handle, 1);
  EXPECT_EQ(Fn<ByIndex>("jmLaserGetMaxSpeed")(handle), 100000);
  ASSERT_EQ(Fn<ByIndex>("jmLaserStartOutput")(handle), kJmLaserOk);
  ASSERT_EQ(Fn<ByIndex>("jmLaserWaitForDeviceReady")(handle), 1);
  std::vector<DacPoint> frame(100, DacPoint{40000, 20000, 255, 255, 255, 255, {}});
  ASSERT_EQ(Fn<Write>("jmLaserWriteFrameNL")(handle, frame.data(), 100, 25000, 0), kJmLaserOk);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (dac.Snapshot().begins == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(dac.Snapshot().rate, 25000u);
  const auto points = dac.ReceivedPoints();
  ASSERT_FALSE(points.empty());
  EXPECT_EQ(points[0].x, 40000 - 32768);
  EXPECT_EQ(points[0].y, 20000 - 32768);
  EXPECT_EQ(Fn<ByIndex>("jmLaserCloseDevice")(handle), kJmLaserOk);
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A Helios whose frame transfer hangs: closing it returns within a frame period all the same,
// and closing the library waits until the worker has come out of the transfer and let go of
// the DAC, so that unloading the library leaves no thread to return into its code (a detached
// one would crash this test program once the library is gone).
TEST_F(EntryPointsTest, ADacHungInATransferClosesPromptlyAndItsWorkerEndsBeforeTheLibrary) {
  const auto control = capture_.string() + ".control";
  const auto log = capture_.string() + ".log";
  std::filesystem::remove(log);
  ::setenv("LUMAREX_USB_BACKEND", LUMAREX_FAKE_USB_MODULE, 1);
  ::setenv("LUMAREX_FAKE_HELIOS_CONTROL", control.c_str(), 1);
  ::setenv("LUMAREX_FAKE_HELIOS_LOG", log.c_str(), 1);
  ASSERT_GE(Fn<NoArgs>("jmLaserOpenDll")(), 272);
  ASSERT_EQ(Fn<NoArgs>("jmLaserEnumerateDevices")(), 2);
  ASSERT_EQ(Text("jmLaserGetDeviceListEntry", 1), "Helios 1-4");
  const int32_t handle = Fn<ByName>("jmLaserOpenDevice")("Helios 1-4");
  ASSERT_GE(handle, 1);
  ASSERT_EQ(Fn<ByIndex>("jmLaserStartOutput")(handle), kJmLaserOk);
  ASSERT_EQ(Fn<ByIndex>("jmLaserWaitForDeviceReady")(handle), 1);

  std::ofstream(control) << "hang 700";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // ten looks at the control file
  std::vector<DacPoint> frame(1000, DacPoint{40000, 20000, 255, 255, 255, 255, {}});
  ASSERT_EQ(Fn<Write>("jmLaserWriteFrameNL")(handle, frame.data(), 1000, 20000, 0), kJmLaserOk);
  ASSERT_TRUE(testing::WaitUntil([&] { return ReadText(log).ends_with("hang\n"); },
                                 std::chrono::milliseconds(1000)));
  EXPECT_EQ(testing::Prompt([&] { return Fn<ByIndex>("jmLaserCloseDevice")(handle); }), kJmLaserOk);
  EXPECT_TRUE(ReadText(log).ends_with("hang\n")) << "the transfer still hangs";

  ASSERT_EQ(Fn<NoArgs>("jmLaserCloseDll")(), kJmLaserOk);
  EXPECT_TRUE(ReadText(log).ends_with("hang\nhang over\nclose\n")) << ReadText(log);
  ASSERT_EQ(::dlclose(library_), 0);
  library_ = nullptr;
  EXPECT_EQ(::dlopen(LUMAREX_BIN_DIR "/libjmlaser.so", RTLD_NOW | RTLD_NOLOAD), nullptr)
      << "the library stays loaded, so this test shows nothing";
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::filesystem::remove(control);
  std::filesystem::remove(log);
}

}  // namespace
}  // namespace lumarex::jmlaser
