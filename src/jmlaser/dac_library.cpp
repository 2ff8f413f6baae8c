#include "jmlaser/dac_library.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace lumarex::jmlaser {

DacLibrary::DacLibrary(std::vector<std::unique_ptr<DacFamily>> families)
    : families_(std::move(families)) {
  // Until the first search the list holds what needs no listening: the virtual DAC.
  if (!families_.empty()) families_.front()->Discover(devices_);
}

DacLibrary::~DacLibrary() {
  CloseAll();
}

int32_t DacLibrary::Enumerate() {
  // The network families each listen for a while; side by side, a search takes as long as
  // the slowest of them instead of the sum. The list keeps the families' order.
  std::vector<std::vector<DeviceInfo>> found(families_.size());
  std::vector<std::thread> searches;
  for (size_t k = 1; k < families_.size(); ++k) {
    searches.emplace_back([this, k, &found] { families_[k]->Discover(found[k]); });
  }
  if (!families_.empty()) families_.front()->Discover(found.front());
  for (std::thread& t : searches) t.join();
  devices_.clear();
  for (auto& list : found) {
    for (DeviceInfo& d : list) devices_.push_back(std::move(d));
  }
  return DeviceCount();
}

const DeviceInfo* DacLibrary::DeviceAt(int32_t index) const {
  if (index < 0 || index >= DeviceCount()) return nullptr;
  return &devices_[static_cast<size_t>(index)];
}

const DeviceInfo* DacLibrary::FindDevice(const char* name) const {
  if (name == nullptr) return nullptr;
  for (const DeviceInfo& d : devices_) {
    if (d.name == name) return &d;
  }
  return nullptr;
}

std::string DacLibrary::FriendlyName(const DeviceInfo& device) const {
  const auto renamed = renamed_.find(device.name);
  return renamed != renamed_.end() ? renamed->second : device.friendlyName;
}

void DacLibrary::SetFriendlyName(const DeviceInfo& device, const std::string& friendlyName) {
  renamed_[device.name] = friendlyName;
}

bool DacLibrary::IsInUse(const DeviceInfo& device) const {
  return std::any_of(open_.begin(), open_.end(),
                     [&](const auto& entry) { return entry.second.info.name == device.name; });
}

int32_t DacLibrary::Open(const char* name) {
  const DeviceInfo* device = FindDevice(name);
  if (device == nullptr) return kJmLaserErrorUnknownDevice;
  // Network DACs take one client at a time; a second open of ours would only fight the first.
  if (IsInUse(*device)) return kJmLaserErrorInUse;
  std::unique_ptr<DacStream> stream = device->family->Open(*device);
  if (!stream) return kJmLaserErrorUnknownDevice;
  const int32_t handle = nextHandle_;
  nextHandle_ = nextHandle_ == INT32_MAX ? 1 : nextHandle_ + 1;
  open_[handle] = OpenDevice{*device, std::move(stream), device->colourChannels};
  return handle;
}

int32_t DacLibrary::Close(int32_t handle) {
  const auto found = open_.find(handle);
  if (found == open_.end()) return kJmLaserErrorInvalidHandle;
  open_.erase(found);
  return kJmLaserOk;
}

void DacLibrary::CloseAll() {
  open_.clear();
}

DacLibrary::OpenDevice* DacLibrary::Find(int32_t handle) {
  const auto found = open_.find(handle);
  return found != open_.end() ? &found->second : nullptr;
}

int32_t DacLibrary::Write(int32_t handle, const DacPoint* points, int32_t count, int32_t speed,
                          bool replaceWaiting) {
  OpenDevice* device = Find(handle);
  if (device == nullptr) return kJmLaserErrorInvalidHandle;
  if (points == nullptr || count <= 0 || count > device->info.maxFrameSize) {
    return kJmLaserErrorFrameSize;
  }
  return device->stream->Write(std::span<const DacPoint>(points, static_cast<size_t>(count)), speed,
                               replaceWaiting);
}

}  // namespace lumarex::jmlaser
