// The C entry points of libjmlaser.so. A C interface loaded with dlopen has nowhere to keep its
// state but the library itself, so this file holds the one DacLibrary (created by
// jmLaserOpenDll, destroyed by jmLaserCloseDll) behind a mutex; everything below it is plain
// objects that tests build as often as they like.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "jmlaser/dac_families.h"
#include "jmlaser/dac_library.h"
#include "jmlaser/jmlaser.h"
#include "platform/clock.h"

namespace {

using lumarex::jmlaser::DacLibrary;
using lumarex::jmlaser::DeviceInfo;

// The longest a waiting call waits.
constexpr auto kMaxWait = std::chrono::milliseconds(1000);
constexpr auto kWaitPoll = std::chrono::microseconds(500);

struct LibraryState {
  std::mutex mutex;
  lumarex::SteadyClock clock;
  std::unique_ptr<DacLibrary> library;
};

LibraryState& State() {
  static LibraryState state;
  return state;
}

// Runs `call` on the open library under the lock; kJmLaserErrorNotOpen before jmLaserOpenDll.
template <typename Call>
int32_t WithLibrary(Call call) {
  LibraryState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.library) return kJmLaserErrorNotOpen;
  return call(*state.library);
}

template <typename Call>
int32_t WithDevice(const char* name, Call call) {
  return WithLibrary([&](DacLibrary& library) -> int32_t {
    const DeviceInfo* device = library.FindDevice(name);
    if (device == nullptr) return kJmLaserErrorUnknownDevice;
    return call(library, *device);
  });
}

template <typename Call>
int32_t WithHandle(int32_t handle, Call call) {
  return WithLibrary([&](DacLibrary& library) -> int32_t {
    DacLibrary::OpenDevice* device = library.Find(handle);
    if (device == nullptr) return kJmLaserErrorInvalidHandle;
    return call(*device);
  });
}

int32_t CopyText(const std::string& text, char* buffer, int32_t length) {
  if (buffer == nullptr || length <= 0) return kJmLaserErrorArgument;
  const size_t room = static_cast<size_t>(length) - 1;
  const size_t copied = std::min(room, text.size());
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return copied < text.size() ? kJmLaserErrorBufferTooSmall : kJmLaserOk;
}

int32_t TextLength(const std::string& text) {
  return static_cast<int32_t>(text.size() + 1);
}

// Polls readiness without holding the lock between polls, so that other calls get through.
int32_t WaitUntilReady(int32_t handle) {
  const auto deadline = std::chrono::steady_clock::now() + kMaxWait;
  for (;;) {
    const int32_t ready = WithHandle(
        handle, [](DacLibrary::OpenDevice& device) { return device.stream->IsReady() ? 1 : 0; });
    if (ready != 0) return ready;
    if (std::chrono::steady_clock::now() >= deadline) return kJmLaserErrorTimeout;
    std::this_thread::sleep_for(kWaitPoll);
  }
}

int32_t NoUniverse(int32_t handle) {
  return WithHandle(handle, [](DacLibrary::OpenDevice&) { return kJmLaserErrorNoUniverse; });
}

}  // namespace

JMLASER_API int32_t jmLaserOpenDll() {
  LibraryState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.library) {
    state.library = std::make_unique<DacLibrary>(
        lumarex::jmlaser::MakeDacFamilies(state.clock, &lumarex::jmlaser::ReadProcessEnvironment));
  }
  return kJmLaserVersion;
}

JMLASER_API int32_t jmLaserCloseDll() {
  LibraryState& state = State();
  std::unique_ptr<DacLibrary> closing;
  {
    std::lock_guard lock(state.mutex);
    closing = std::move(state.library);
  }
  return closing ? kJmLaserOk : kJmLaserErrorNotOpen;
}

JMLASER_API int32_t jmLaserEnumerateDevices() {
  return WithLibrary([](DacLibrary& library) { return library.Enumerate(); });
}

JMLASER_API int32_t jmLaserGetDeviceListLength() {
  return WithLibrary([](DacLibrary& library) { return library.DeviceCount(); });
}

JMLASER_API int32_t jmLaserGetDeviceListEntryLength(int32_t index) {
  return WithLibrary([&](DacLibrary& library) {
    const DeviceInfo* device = library.DeviceAt(index);
    return device != nullptr ? TextLength(device->name) : kJmLaserErrorArgument;
  });
}

JMLASER_API int32_t jmLaserGetDeviceListEntry(int32_t index, char* buffer, int32_t length) {
  return WithLibrary([&](DacLibrary& library) {
    const DeviceInfo* device = library.DeviceAt(index);
    if (device == nullptr) {
      // The program reads the buffer whatever we answer; leave it an empty name.
      if (buffer != nullptr && length > 0) buffer[0] = '\0';
      return kJmLaserErrorArgument;
    }
    return CopyText(device->name, buffer, length);
  });
}

JMLASER_API int32_t jmLaserGetDeviceFamilyName(const char* deviceName, char* buffer,
                                               int32_t length) {
  return WithDevice(deviceName, [&](DacLibrary&, const DeviceInfo& device) {
    return CopyText(device.family->FamilyName(), buffer, length);
  });
}

JMLASER_API int32_t jmLaserGetDeviceFamilyNameLength(const char* deviceName) {
  return WithDevice(deviceName, [](DacLibrary&, const DeviceInfo& device) {
    return TextLength(device.family->FamilyName());
  });
}

JMLASER_API int32_t jmLaserDeviceIsRemote(const char* deviceName) {
  return WithDevice(deviceName,
                    [](DacLibrary&, const DeviceInfo& device) { return device.remote ? 1 : 0; });
}

JMLASER_API int32_t jmLaserDeviceIsInUse(const char* deviceName) {
  return WithDevice(deviceName, [](DacLibrary& library, const DeviceInfo& device) {
    return library.IsInUse(device) ? 1 : 0;
  });
}

JMLASER_API int32_t jmLaserGetFriendlyName(const char* deviceName, char* buffer, int32_t length) {
  const int32_t result = WithDevice(deviceName, [&](DacLibrary& library, const DeviceInfo& device) {
    return CopyText(library.FriendlyName(device), buffer, length);
  });
  if (result < 0 && result != kJmLaserErrorBufferTooSmall && buffer != nullptr && length > 0) {
    buffer[0] = '\0';
  }
  return result;
}

JMLASER_API int32_t jmLaserGetFriendlyNameLength(const char* deviceName) {
  return WithDevice(deviceName, [](DacLibrary& library, const DeviceInfo& device) {
    return TextLength(library.FriendlyName(device));
  });
}

JMLASER_API int32_t jmLaserSetFriendlyName(const char* deviceName, const char* friendlyName) {
  if (friendlyName == nullptr) return kJmLaserErrorArgument;
  return WithDevice(deviceName, [&](DacLibrary& library, const DeviceInfo& device) {
    library.SetFriendlyName(device, friendlyName);
    return kJmLaserOk;
  });
}

JMLASER_API int32_t jmLaserOpenDevice(const char* deviceName) {
  return WithLibrary([&](DacLibrary& library) { return library.Open(deviceName); });
}

JMLASER_API int32_t jmLaserCloseDevice(int32_t handle) {
  return WithLibrary([&](DacLibrary& library) { return library.Close(handle); });
}

JMLASER_API int32_t jmLaserGetDeviceName(int32_t handle, char* buffer, int32_t length) {
  return WithHandle(handle, [&](DacLibrary::OpenDevice& device) {
    return CopyText(device.info.name, buffer, length);
  });
}

JMLASER_API int32_t jmLaserGetDeviceNameLength(int32_t handle) {
  return WithHandle(handle,
                    [](DacLibrary::OpenDevice& device) { return TextLength(device.info.name); });
}

JMLASER_API int32_t jmLaserStartOutput(int32_t handle) {
  return WithHandle(handle, [](DacLibrary::OpenDevice& device) {
    device.stream->Start();
    return kJmLaserOk;
  });
}

JMLASER_API int32_t jmLaserStopOutput(int32_t handle) {
  return WithHandle(handle, [](DacLibrary::OpenDevice& device) {
    device.stream->Stop();
    return kJmLaserOk;
  });
}

JMLASER_API int32_t jmLaserGetMinSpeed(int32_t handle) {
  return WithHandle(handle, [](DacLibrary::OpenDevice& device) { return device.info.minSpeed; });
}

JMLASER_API int32_t jmLaserGetMaxSpeed(int32_t handle) {
  return WithHandle(handle, [](DacLibrary::OpenDevice& device) { return device.info.maxSpeed; });
}

JMLASER_API int32_t jmLaserGetSpeedStep(int32_t handle) {
  return WithHandle(handle, [](DacLibrary::OpenDevice& device) { return device.info.speedStep; });
}

JMLASER_API int32_t jmLaserGetMaxFrameSize(int32_t handle) {
  return WithHandle(handle,
                    [](DacLibrary::OpenDevice& device) { return device.info.maxFrameSize; });
}

JMLASER_API int32_t jmLaserGetNumColorChannels(int32_t handle) {
  return WithHandle(handle,
                    [](DacLibrary::OpenDevice& device) { return device.info.colourChannels; });
}

JMLASER_API int32_t jmLaserSetNumUsedColorChannels(int32_t handle, int32_t count) {
  return WithHandle(handle, [&](DacLibrary::OpenDevice& device) {
    if (count != 1 && count != 3 && count != 4) return kJmLaserErrorArgument;
    if (count > device.info.colourChannels) return kJmLaserErrorArgument;
    device.usedChannels = count;
    device.stream->SetUsedColourChannels(count);
    return kJmLaserOk;
  });
}

JMLASER_API int32_t jmLaserGetNumUsedColorChannels(int32_t handle) {
  return WithHandle(handle, [](DacLibrary::OpenDevice& device) { return device.usedChannels; });
}

JMLASER_API int32_t jmLaserIsDeviceReady(int32_t handle) {
  return WithHandle(
      handle, [](DacLibrary::OpenDevice& device) { return device.stream->IsReady() ? 1 : 0; });
}

JMLASER_API int32_t jmLaserWaitForDeviceReady(int32_t handle) {
  return WaitUntilReady(handle);
}

JMLASER_API int32_t jmLaserWriteFrameNL(int32_t handle, const JmPoint* points, int32_t count,
                                        int32_t speed, int32_t /*repetitions*/) {
  return WithLibrary(
      [&](DacLibrary& library) { return library.Write(handle, points, count, speed, false); });
}

JMLASER_API int32_t jmLaserWriteFrame(int32_t handle, const JmPoint* points, int32_t count,
                                      int32_t speed, int32_t repetitions) {
  const int32_t ready = WaitUntilReady(handle);
  if (ready < 0) return ready;
  return jmLaserWriteFrameNL(handle, points, count, speed, repetitions);
}

JMLASER_API int32_t jmLaserWriteFrameEL(int32_t handle, const JmPoint* points, int32_t count,
                                        int32_t speed, int32_t /*repetitions*/) {
  return WithLibrary(
      [&](DacLibrary& library) { return library.Write(handle, points, count, speed, true); });
}

JMLASER_API int32_t jmLaserGetNumUniverses(int32_t handle) {
  return WithHandle(handle, [](DacLibrary::OpenDevice&) { return 0; });
}

JMLASER_API int32_t jmLaserGetUniverseNameLength(int32_t handle, int32_t) {
  return NoUniverse(handle);
}

JMLASER_API int32_t jmLaserGetUniverseName(int32_t handle, int32_t, char* buffer, int32_t length) {
  if (buffer != nullptr && length > 0) buffer[0] = '\0';
  return NoUniverse(handle);
}

JMLASER_API int32_t jmLaserGetUniverseResolution(int32_t handle, int32_t) {
  return NoUniverse(handle);
}

JMLASER_API int32_t jmLaserGetUniverseNumChannels(int32_t handle, int32_t) {
  return NoUniverse(handle);
}

JMLASER_API int32_t jmLaserUniverseUpdate(int32_t handle, int32_t) {
  return NoUniverse(handle);
}

JMLASER_API int32_t jmLaserUniverseRead(int32_t handle, int32_t, int32_t, uint8_t*, int32_t) {
  return NoUniverse(handle);
}

JMLASER_API int32_t jmLaserUniverseWrite(int32_t handle, int32_t, int32_t, const uint8_t*,
                                         int32_t) {
  return NoUniverse(handle);
}
