#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jmlaser/jmlaser.h"
#include "output/dac_point.h"
#include "platform/desktop_services.h"
#include "platform/dynamic_library.h"

namespace lumarex {

// The binding of the laser DAC driver library (libjmlaser.so beside the executable). Every
// device call of the program goes through the wrappers below; each answers kNotLoaded (-999)
// without calling when the library is missing or too old, so the show still plays in the
// preview. User-interface thread only.
class JMLaser {
 public:
  static constexpr int32_t kNotLoaded = -999;
  static constexpr int32_t kMinimumVersion = 272;  // 0x110
  static constexpr const char* kLibraryFileName = "libjmlaser.so";
  static constexpr int kEntryPointCount = 39;
  // The names the library must export, all of them, or it is not taken.
  static const char* const kEntryPointNames[kEntryPointCount];

  JMLaser() = default;
  JMLaser(const JMLaser&) = delete;
  JMLaser& operator=(const JMLaser&) = delete;
  ~JMLaser() { Release(); }

  // Program start: loads the library from the executable's folder (or, installed, from
  // <prefix>/lib/lumarex/), resolves every name and checks the version; each failure is
  // reported through desktop.ShowMessage.
  void Bind(DesktopServices& desktop);
  // The same from another folder (ending in '/'), for tests and tools.
  void BindFrom(const std::string& folder, DesktopServices& desktop);
  // Program end: closes the library's session and unloads it.
  void Release();

  bool DacLibraryLoaded() const { return loaded_; }

  // The handle of the one open device, -1 when none; the device selection sets it.
  int32_t DeviceHandle = -1;
  // Further open devices (the other projectors of a rig) whose output starts and stops with
  // the open device's: every start or stop of DeviceHandle is one of theirs too.
  std::vector<int32_t> Companions;

  int32_t jmLaserOpenDll();
  int32_t jmLaserCloseDll();
  int32_t jmLaserEnumerateDevices();
  int32_t jmLaserGetDeviceListEntry(int32_t index, char* buffer, int32_t length);
  int32_t jmLaserGetFriendlyName(const char* deviceName, char* buffer, int32_t length);
  int32_t jmLaserOpenDevice(const char* deviceName);
  int32_t jmLaserCloseDevice(int32_t handle);
  int32_t jmLaserGetMaxSpeed(int32_t handle);
  int32_t jmLaserStartOutput(int32_t handle);
  int32_t jmLaserStopOutput(int32_t handle);
  int32_t jmLaserIsDeviceReady(int32_t handle);
  int32_t jmLaserWriteFrameNL(int32_t handle, const DacPoint* points, int32_t count, int32_t speed,
                              int32_t repetitions);

 private:
  using NoArgument = int32_t (*)();
  using HandleCall = int32_t (*)(int32_t);
  using ListEntryCall = int32_t (*)(int32_t, char*, int32_t);
  using NameTextCall = int32_t (*)(const char*, char*, int32_t);
  using NameCall = int32_t (*)(const char*);
  // Typed with the library's own record so that the call matches the exported function
  // exactly; ours has the same layout (checked in jm_laser.cpp).
  using WriteCall = int32_t (*)(int32_t, const jmlaser::DacPoint*, int32_t, int32_t, int32_t);

  bool ResolveAll();
  void Unload();

  DynamicLibrary library_;
  bool loaded_ = false;
  NoArgument openDll_ = nullptr;
  NoArgument closeDll_ = nullptr;
  NoArgument enumerateDevices_ = nullptr;
  ListEntryCall getDeviceListEntry_ = nullptr;
  NameTextCall getFriendlyName_ = nullptr;
  NameCall openDevice_ = nullptr;
  HandleCall closeDevice_ = nullptr;
  HandleCall getMaxSpeed_ = nullptr;
  HandleCall startOutput_ = nullptr;
  HandleCall stopOutput_ = nullptr;
  HandleCall isDeviceReady_ = nullptr;
  WriteCall writeFrameNL_ = nullptr;
};

}  // namespace lumarex
