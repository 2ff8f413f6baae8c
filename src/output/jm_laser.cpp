#include "output/jm_laser.h"

#include <cstddef>
#include <filesystem>

namespace lumarex {

static_assert(sizeof(DacPoint) == sizeof(jmlaser::DacPoint));
static_assert(offsetof(DacPoint, x) == offsetof(jmlaser::DacPoint, x));
static_assert(offsetof(DacPoint, y) == offsetof(jmlaser::DacPoint, y));
static_assert(offsetof(DacPoint, r) == offsetof(jmlaser::DacPoint, r));
static_assert(offsetof(DacPoint, g) == offsetof(jmlaser::DacPoint, g));
static_assert(offsetof(DacPoint, b) == offsetof(jmlaser::DacPoint, b));
static_assert(offsetof(DacPoint, i) == offsetof(jmlaser::DacPoint, i));
static_assert(offsetof(DacPoint, reserved) == offsetof(jmlaser::DacPoint, reserved));

const char* const JMLaser::kEntryPointNames[kEntryPointCount] = {
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

namespace {

template <typename Function>
Function As(void* symbol) {
  return reinterpret_cast<Function>(symbol);
}

// Where the driver library is, given the executable's folder. In the build tree it sits beside
// the executables, and a library put beside an executable by hand always wins. An installation
// keeps it out of the linker's folders, in <prefix>/lib/lumarex/ next to <prefix>/bin/
// (cmake/Packaging.cmake): only we load it, by path, so it must not pose as a system library
// that ldconfig lists and other programs could link. A relative step from the executable
// rather than a fixed /usr path, so that an installation under any prefix or DESTDIR uses its
// own copy and never the one of another installation.
std::string DriverLibraryFolder(const std::string& executableFolder) {
  if (executableFolder.empty()) return executableFolder;
  std::error_code error;
  if (std::filesystem::exists(executableFolder + JMLaser::kLibraryFileName, error)) {
    return executableFolder;
  }
  const std::string installed = executableFolder + "../lib/lumarex/";
  if (std::filesystem::exists(installed + JMLaser::kLibraryFileName, error)) return installed;
  // Neither: the load fails beside the executable and says so as it always has.
  return executableFolder;
}

}  // namespace

void JMLaser::Bind(DesktopServices& desktop) {
  BindFrom(DriverLibraryFolder(ExecutableFolder()), desktop);
}

void JMLaser::BindFrom(const std::string& folder, DesktopServices& desktop) {
  Release();
  // The messages keep the library's historic file name: operators and manuals know it so.
  // Kept mapped after it is released: a driver's thread that outlived its close (a vendor
  // driver's as much as ours) must never return into unmapped code.
  if (!library_.Open(folder + kLibraryFileName, true)) {
    desktop.ShowMessage("Error loading jmlaser.dll.");
  }
  loaded_ = ResolveAll();
  if (!loaded_) {
    desktop.ShowMessage("Keine Jmlaser.dll gefunden >0x581< ");
    Unload();
    return;
  }
  if (jmLaserOpenDll() < kMinimumVersion) {
    desktop.ShowMessage("Zu alte jmlaser.dll ? >0x582< ");
    Unload();
  }
}

bool JMLaser::ResolveAll() {
  if (!library_.IsOpen()) return false;
  for (const char* name : kEntryPointNames) {
    if (library_.Symbol(name) == nullptr) return false;
  }
  openDll_ = As<NoArgument>(library_.Symbol("jmLaserOpenDll"));
  closeDll_ = As<NoArgument>(library_.Symbol("jmLaserCloseDll"));
  enumerateDevices_ = As<NoArgument>(library_.Symbol("jmLaserEnumerateDevices"));
  getDeviceListEntry_ = As<ListEntryCall>(library_.Symbol("jmLaserGetDeviceListEntry"));
  getFriendlyName_ = As<NameTextCall>(library_.Symbol("jmLaserGetFriendlyName"));
  openDevice_ = As<NameCall>(library_.Symbol("jmLaserOpenDevice"));
  closeDevice_ = As<HandleCall>(library_.Symbol("jmLaserCloseDevice"));
  getMaxSpeed_ = As<HandleCall>(library_.Symbol("jmLaserGetMaxSpeed"));
  startOutput_ = As<HandleCall>(library_.Symbol("jmLaserStartOutput"));
  stopOutput_ = As<HandleCall>(library_.Symbol("jmLaserStopOutput"));
  isDeviceReady_ = As<HandleCall>(library_.Symbol("jmLaserIsDeviceReady"));
  writeFrameNL_ = As<WriteCall>(library_.Symbol("jmLaserWriteFrameNL"));
  return true;
}

void JMLaser::Unload() {
  loaded_ = false;
  library_.Close();
}

void JMLaser::Release() {
  if (loaded_) jmLaserCloseDll();
  Unload();
}

int32_t JMLaser::jmLaserOpenDll() {
  return loaded_ ? openDll_() : kNotLoaded;
}

int32_t JMLaser::jmLaserCloseDll() {
  return loaded_ ? closeDll_() : kNotLoaded;
}

int32_t JMLaser::jmLaserEnumerateDevices() {
  return loaded_ ? enumerateDevices_() : kNotLoaded;
}

int32_t JMLaser::jmLaserGetDeviceListEntry(int32_t index, char* buffer, int32_t length) {
  return loaded_ ? getDeviceListEntry_(index, buffer, length) : kNotLoaded;
}

int32_t JMLaser::jmLaserGetFriendlyName(const char* deviceName, char* buffer, int32_t length) {
  return loaded_ ? getFriendlyName_(deviceName, buffer, length) : kNotLoaded;
}

int32_t JMLaser::jmLaserOpenDevice(const char* deviceName) {
  return loaded_ ? openDevice_(deviceName) : kNotLoaded;
}

int32_t JMLaser::jmLaserCloseDevice(int32_t handle) {
  return loaded_ ? closeDevice_(handle) : kNotLoaded;
}

int32_t JMLaser::jmLaserGetMaxSpeed(int32_t handle) {
  return loaded_ ? getMaxSpeed_(handle) : kNotLoaded;
}

int32_t JMLaser::jmLaserStartOutput(int32_t handle) {
  if (!loaded_) return kNotLoaded;
  if (handle == DeviceHandle && handle >= 0) {
    for (const int32_t companion : Companions) startOutput_(companion);
  }
  return startOutput_(handle);
}

int32_t JMLaser::jmLaserStopOutput(int32_t handle) {
  if (!loaded_) return kNotLoaded;
  if (handle == DeviceHandle && handle >= 0) {
    for (const int32_t companion : Companions) stopOutput_(companion);
  }
  return stopOutput_(handle);
}

int32_t JMLaser::jmLaserIsDeviceReady(int32_t handle) {
  return loaded_ ? isDeviceReady_(handle) : kNotLoaded;
}

int32_t JMLaser::jmLaserWriteFrameNL(int32_t handle, const DacPoint* points, int32_t count,
                                     int32_t speed, int32_t repetitions) {
  if (!loaded_) return kNotLoaded;
  // The library only reads the bytes, which the layout checks above make the same.
  return writeFrameNL_(handle, reinterpret_cast<const jmlaser::DacPoint*>(points), count, speed,
                       repetitions);
}

}  // namespace lumarex
