#include "jmlaser/dac_library.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace lumarex::jmlaser {

// Searches the families that listen, one round after another with a pause between, and keeps
// each family's latest finding.
class DacLibrary::BackgroundSearch {
 public:
  BackgroundSearch(std::vector<DacFamily*> families, std::vector<std::vector<DeviceInfo>> found)
      : families_(std::move(families)), found_(std::move(found)), thread_([this] { Run(); }) {}
  ~BackgroundSearch() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_one();
    thread_.join();  // waits for a search under way: one listening window at most
  }
  BackgroundSearch(const BackgroundSearch&) = delete;
  BackgroundSearch& operator=(const BackgroundSearch&) = delete;

  std::vector<DeviceInfo> Latest(size_t k) {
    std::lock_guard lock(mutex_);
    return found_[k];
  }

 private:
  static constexpr std::chrono::milliseconds kPause{1000};

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (wake_.wait_for(lock, kPause, [this] { return quit_; })) return;
      for (size_t k = 0; k < families_.size(); ++k) {
        lock.unlock();
        std::vector<DeviceInfo> found;
        families_[k]->Discover(found);
        lock.lock();
        if (quit_) return;
        found_[k] = std::move(found);
      }
    }
  }

  const std::vector<DacFamily*> families_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::vector<DeviceInfo>> found_;
  bool quit_ = false;
  std::thread thread_;  // last: it starts searching as soon as it is made
};

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
  std::vector<size_t> listening;  // the families the background search serves, in order
  for (size_t k = 0; k < families_.size(); ++k) {
    if (families_[k]->SearchListens()) listening.push_back(k);
  }
  std::vector<std::thread> searches;
  for (size_t k = 1; k < families_.size(); ++k) {
    if (background_ && families_[k]->SearchListens()) continue;
    searches.emplace_back([this, k, &found] { families_[k]->Discover(found[k]); });
  }
  if (!families_.empty()) families_.front()->Discover(found.front());
  for (std::thread& t : searches) t.join();
  if (background_) {
    for (size_t i = 0; i < listening.size(); ++i) found[listening[i]] = background_->Latest(i);
  } else if (!listening.empty()) {
    std::vector<DacFamily*> families;
    std::vector<std::vector<DeviceInfo>> first;
    for (const size_t k : listening) {
      families.push_back(families_[k].get());
      first.push_back(found[k]);
    }
    background_ = std::make_unique<BackgroundSearch>(std::move(families), std::move(first));
  }
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
