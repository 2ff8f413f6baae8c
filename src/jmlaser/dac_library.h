#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jmlaser/dac_driver.h"

namespace lumarex::jmlaser {

// What stands behind the C entry points: the device list of the last search and the open
// devices. Not thread-safe; the entry points serialise calls. Its destruction closes every
// device and returns once every thread of its families has ended: the families outlive their
// streams and join the workers that a closed stream could not wait for.
class DacLibrary {
 public:
  explicit DacLibrary(std::vector<std::unique_ptr<DacFamily>> families);
  DacLibrary(const DacLibrary&) = delete;
  DacLibrary& operator=(const DacLibrary&) = delete;
  ~DacLibrary();

  // Searches every family anew; answers the number of devices. Open devices stay open. A
  // family that listens for answers (see DacFamily::SearchListens) is waited for at the first
  // search only; later searches take what its background search found last, at most a
  // second and its listening window old.
  int32_t Enumerate();
  int32_t DeviceCount() const { return static_cast<int32_t>(devices_.size()); }
  // Null when out of range / unknown.
  const DeviceInfo* DeviceAt(int32_t index) const;
  const DeviceInfo* FindDevice(const char* name) const;

  // The friendly name, as renamed for this run.
  std::string FriendlyName(const DeviceInfo& device) const;
  void SetFriendlyName(const DeviceInfo& device, const std::string& friendlyName);
  bool IsInUse(const DeviceInfo& device) const;

  int32_t Open(const char* name);
  int32_t Close(int32_t handle);
  void CloseAll();

  // The open device behind a handle, or null.
  struct OpenDevice {
    DeviceInfo info;
    std::unique_ptr<DacStream> stream;
    int32_t usedChannels = 4;
  };
  OpenDevice* Find(int32_t handle);

  // Checks and clamps a frame, then hands it to the device.
  int32_t Write(int32_t handle, const DacPoint* points, int32_t count, int32_t speed,
                bool replaceWaiting);

 private:
  std::vector<std::unique_ptr<DacFamily>> families_;
  std::vector<DeviceInfo> devices_;
  std::map<std::string, std::string> renamed_;
  std::map<int32_t, OpenDevice> open_;
  int32_t nextHandle_ = 1;
  class BackgroundSearch;
  std::unique_ptr<BackgroundSearch> background_;  // last: it searches the families above
};

}  // namespace lumarex::jmlaser
