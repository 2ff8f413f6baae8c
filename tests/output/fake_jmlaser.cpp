// A stand-in driver library for the binding and device-selection tests: it exports the 39
// entry points, keeps a log of the calls that matter, and is steered through the FakeJm*
// functions. Built twice: complete, and without jmLaserUniverseWrite to test a library that
// lacks a name.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "jmlaser/jmlaser.h"

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {

struct Device {
  std::string name;  // exactly as the library hands it out, filter-worthy characters included
  std::string friendly;
  int32_t maxSpeed = 0;
};

struct State {
  int32_t version = 0x120;
  std::vector<Device> devices;
  std::string log;
  std::vector<uint8_t> lastFrame;
  int32_t lastCount = 0;
  int32_t lastSpeed = 0;
  bool ready = true;
  int32_t writes = 0;
  int32_t writeResult = 0;
  int32_t openResult = 0;  // when not 0, what every open answers
};

State& S() {
  static State state;
  return state;
}

void Log(const std::string& entry) {
  S().log += entry + ";";
}

int32_t Copy(const std::string& text, char* buffer, int32_t length) {
  if (buffer == nullptr || length <= 0) return -2;
  // Writes the zero and then leaves the rest of the buffer alone, as drivers do.
  const size_t n = std::min(text.size(), static_cast<size_t>(length - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<int32_t>(n);
}

int32_t HandleOf(const char* name) {
  for (size_t k = 0; k < S().devices.size(); ++k) {
    if (name != nullptr && S().devices[k].name == name) return static_cast<int32_t>(k) + 100;
  }
  return -3;
}

const Device* DeviceOf(int32_t handle) {
  const int32_t k = handle - 100;
  if (k < 0 || k >= static_cast<int32_t>(S().devices.size())) return nullptr;
  return &S().devices[static_cast<size_t>(k)];
}

}  // namespace

FAKE_API void FakeJmReset(int32_t version) {
  S() = State{};
  S().version = version;
}
FAKE_API void FakeJmAddDevice(const char* name, const char* friendly, int32_t maxSpeed) {
  S().devices.push_back({name, friendly, maxSpeed});
}
FAKE_API const char* FakeJmLog() {
  return S().log.c_str();
}
FAKE_API void FakeJmClearLog() {
  S().log.clear();
}
FAKE_API int32_t FakeJmLastFrame(void* points, int32_t capacity) {
  const int32_t n = std::min(S().lastCount, capacity);
  if (n > 0) std::memcpy(points, S().lastFrame.data(), static_cast<size_t>(n) * 12);
  return S().lastCount;
}

FAKE_API int32_t FakeJmLastSpeed() {
  return S().lastSpeed;
}

// A device that is busy (0) or takes frames (1); counts the frames written.
FAKE_API void FakeJmSetReady(int32_t ready) {
  S().ready = ready != 0;
}
FAKE_API void FakeJmSetOpenResult(int32_t result) {
  S().openResult = result;
}
FAKE_API void FakeJmSetWriteResult(int32_t result) {
  S().writeResult = result;
}
FAKE_API int32_t FakeJmWrites() {
  return S().writes;
}

FAKE_API int32_t jmLaserOpenDll() {
  Log("OpenDll");
  return S().version;
}
FAKE_API int32_t jmLaserCloseDll() {
  Log("CloseDll");
  return 0;
}
FAKE_API int32_t jmLaserEnumerateDevices() {
  Log("Enumerate");
  return static_cast<int32_t>(S().devices.size());
}
FAKE_API int32_t jmLaserGetDeviceListLength() {
  return static_cast<int32_t>(S().devices.size());
}
FAKE_API int32_t jmLaserGetDeviceListEntryLength(int32_t) {
  return 100;
}
FAKE_API int32_t jmLaserGetDeviceListEntry(int32_t index, char* buffer, int32_t length) {
  Log("ListEntry " + std::to_string(index));
  if (index < 0 || index >= static_cast<int32_t>(S().devices.size())) return -2;
  return Copy(S().devices[static_cast<size_t>(index)].name, buffer, length);
}
FAKE_API int32_t jmLaserGetDeviceFamilyName(const char*, char* buffer, int32_t length) {
  return Copy("Fake", buffer, length);
}
FAKE_API int32_t jmLaserGetDeviceFamilyNameLength(const char*) {
  return 5;
}
FAKE_API int32_t jmLaserDeviceIsRemote(const char*) {
  return 0;
}
FAKE_API int32_t jmLaserDeviceIsInUse(const char*) {
  return 0;
}
FAKE_API int32_t jmLaserGetFriendlyName(const char* name, char* buffer, int32_t length) {
  const int32_t handle = HandleOf(name);
  const Device* device = DeviceOf(handle);
  if (device == nullptr) return -3;
  return Copy(device->friendly, buffer, length);
}
FAKE_API int32_t jmLaserGetFriendlyNameLength(const char*) {
  return 100;
}
FAKE_API int32_t jmLaserSetFriendlyName(const char*, const char*) {
  return 0;
}
FAKE_API int32_t jmLaserOpenDevice(const char* name) {
  const int32_t handle = S().openResult != 0 ? S().openResult : HandleOf(name);
  Log("Open " + std::to_string(handle));
  return handle;
}
FAKE_API int32_t jmLaserCloseDevice(int32_t handle) {
  Log("Close " + std::to_string(handle));
  return DeviceOf(handle) != nullptr ? 0 : -4;
}
FAKE_API int32_t jmLaserGetDeviceName(int32_t, char* buffer, int32_t length) {
  return Copy("", buffer, length);
}
FAKE_API int32_t jmLaserGetDeviceNameLength(int32_t) {
  return 1;
}
FAKE_API int32_t jmLaserStartOutput(int32_t handle) {
  Log("Start " + std::to_string(handle));
  return 0;
}
FAKE_API int32_t jmLaserStopOutput(int32_t handle) {
  Log("Stop " + std::to_string(handle));
  return 0;
}
FAKE_API int32_t jmLaserGetMinSpeed(int32_t) {
  return 1000;
}
FAKE_API int32_t jmLaserGetMaxSpeed(int32_t handle) {
  const Device* device = DeviceOf(handle);
  return device != nullptr ? device->maxSpeed : -4;
}
FAKE_API int32_t jmLaserGetSpeedStep(int32_t) {
  return 1;
}
FAKE_API int32_t jmLaserGetMaxFrameSize(int32_t) {
  return 1 << 20;
}
FAKE_API int32_t jmLaserGetNumColorChannels(int32_t) {
  return 4;
}
FAKE_API int32_t jmLaserSetNumUsedColorChannels(int32_t, int32_t) {
  return 0;
}
FAKE_API int32_t jmLaserGetNumUsedColorChannels(int32_t) {
  return 4;
}
FAKE_API int32_t jmLaserIsDeviceReady(int32_t handle) {
  return DeviceOf(handle) != nullptr && S().ready ? 1 : 0;
}
FAKE_API int32_t jmLaserWaitForDeviceReady(int32_t handle) {
  return DeviceOf(handle) != nullptr;
}
FAKE_API int32_t jmLaserWriteFrameNL(int32_t handle, const JmPoint* points, int32_t count,
                                     int32_t speed, int32_t) {
  Log("Write " + std::to_string(handle) + " " + std::to_string(count));
  if (count <= 0 || points == nullptr) return -10;
  const auto* bytes = reinterpret_cast<const uint8_t*>(points);
  S().lastFrame.assign(bytes, bytes + static_cast<size_t>(count) * 12);
  S().lastCount = count;
  S().lastSpeed = speed;
  ++S().writes;
  return S().writeResult;
}
FAKE_API int32_t jmLaserWriteFrame(int32_t handle, const JmPoint* points, int32_t count,
                                   int32_t speed, int32_t repetitions) {
  return jmLaserWriteFrameNL(handle, points, count, speed, repetitions);
}
FAKE_API int32_t jmLaserWriteFrameEL(int32_t handle, const JmPoint* points, int32_t count,
                                     int32_t speed, int32_t repetitions) {
  return jmLaserWriteFrameNL(handle, points, count, speed, repetitions);
}
FAKE_API int32_t jmLaserGetNumUniverses(int32_t) {
  return 0;
}
FAKE_API int32_t jmLaserGetUniverseNameLength(int32_t, int32_t) {
  return -11;
}
FAKE_API int32_t jmLaserGetUniverseName(int32_t, int32_t, char*, int32_t) {
  return -11;
}
FAKE_API int32_t jmLaserGetUniverseResolution(int32_t, int32_t) {
  return -11;
}
FAKE_API int32_t jmLaserGetUniverseNumChannels(int32_t, int32_t) {
  return -11;
}
FAKE_API int32_t jmLaserUniverseUpdate(int32_t, int32_t) {
  return -11;
}
FAKE_API int32_t jmLaserUniverseRead(int32_t, int32_t, int32_t, uint8_t*, int32_t) {
  return -11;
}
#ifndef FAKE_JM_INCOMPLETE
FAKE_API int32_t jmLaserUniverseWrite(int32_t, int32_t, int32_t, const uint8_t*, int32_t) {
  return -11;
}
#endif
