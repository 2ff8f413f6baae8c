#include "jmlaser/usb_device.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#ifdef LUMAREX_HAVE_LIBUSB
#include <libusb.h>
#endif

namespace lumarex::jmlaser {

const char* UsbResultText(UsbResult result) {
  switch (result) {
    case UsbResult::kOk:
      return "ok";
    case UsbResult::kTimeout:
      return "timed out";
    case UsbResult::kStall:
      return "endpoint stalled";
    case UsbResult::kGone:
      return "device gone";
    case UsbResult::kAccessDenied:
      return "permission denied";
    case UsbResult::kBusy:
      return "in use by another program";
    case UsbResult::kError:
      return "USB error";
  }
  return "USB error";
}

std::shared_ptr<UsbBackend> LoadUsbBackend(const std::string& path) {
  // Kept loaded for the rest of the run: the backend's code lives in it.
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "libjmlaser: cannot load the USB backend %s: %s\n", path.c_str(),
                 ::dlerror());
    return nullptr;
  }
  using Create = UsbBackend* (*)();
  const auto create = reinterpret_cast<Create>(::dlsym(module, "LumarexCreateUsbBackend"));
  if (create == nullptr) return nullptr;
  return std::shared_ptr<UsbBackend>(create());
}

#ifdef LUMAREX_HAVE_LIBUSB

namespace {

UsbResult FromLibusb(int rc) {
  switch (rc) {
    case LIBUSB_SUCCESS:
      return UsbResult::kOk;
    case LIBUSB_ERROR_TIMEOUT:
      return UsbResult::kTimeout;
    case LIBUSB_ERROR_PIPE:
      return UsbResult::kStall;
    case LIBUSB_ERROR_NO_DEVICE:
      return UsbResult::kGone;
    case LIBUSB_ERROR_ACCESS:
      return UsbResult::kAccessDenied;
    case LIBUSB_ERROR_BUSY:
      return UsbResult::kBusy;
    default:
      return UsbResult::kError;
  }
}

std::string Location(libusb_device* device) {
  uint8_t ports[8] = {};
  const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
  std::string out = std::to_string(libusb_get_bus_number(device));
  for (int k = 0; k < depth; ++k) out += (k == 0 ? "-" : ".") + std::to_string(ports[k]);
  if (depth <= 0) out += ":" + std::to_string(libusb_get_device_address(device));
  return out;
}

class LibusbHandle final : public UsbDeviceHandle {
 public:
  LibusbHandle(libusb_device_handle* handle, int interface)
      : handle_(handle), interface_(interface) {}
  ~LibusbHandle() override {
    libusb_release_interface(handle_, interface_);
    libusb_close(handle_);
  }
  LibusbHandle(const LibusbHandle&) = delete;
  LibusbHandle& operator=(const LibusbHandle&) = delete;

  UsbResult BulkOut(uint8_t endpoint, std::span<const uint8_t> data, unsigned timeoutMs) override {
    int sent = 0;
    const int rc = libusb_bulk_transfer(handle_, endpoint, const_cast<uint8_t*>(data.data()),
                                        static_cast<int>(data.size()), &sent, timeoutMs);
    if (rc == LIBUSB_SUCCESS && static_cast<size_t>(sent) != data.size())
      return UsbResult::kTimeout;
    return FromLibusb(rc);
  }
  UsbResult InterruptOut(uint8_t endpoint, std::span<const uint8_t> data,
                         unsigned timeoutMs) override {
    int sent = 0;
    return FromLibusb(libusb_interrupt_transfer(handle_, endpoint,
                                                const_cast<uint8_t*>(data.data()),
                                                static_cast<int>(data.size()), &sent, timeoutMs));
  }
  UsbResult InterruptIn(uint8_t endpoint, std::span<uint8_t> buffer, size_t& received,
                        unsigned timeoutMs) override {
    int got = 0;
    const int rc = libusb_interrupt_transfer(handle_, endpoint, buffer.data(),
                                             static_cast<int>(buffer.size()), &got, timeoutMs);
    received = got > 0 ? static_cast<size_t>(got) : 0;
    return FromLibusb(rc);
  }
  UsbResult ClearHalt(uint8_t endpoint) override {
    return FromLibusb(libusb_clear_halt(handle_, endpoint));
  }

 private:
  libusb_device_handle* handle_;
  int interface_;
};

class LibusbBackend final : public UsbBackend {
 public:
  LibusbBackend() { ok_ = libusb_init(&context_) == LIBUSB_SUCCESS; }
  ~LibusbBackend() override {
    if (ok_) libusb_exit(context_);
  }
  LibusbBackend(const LibusbBackend&) = delete;
  LibusbBackend& operator=(const LibusbBackend&) = delete;

  std::vector<std::string> List(uint16_t vendor, uint16_t product) override {
    std::vector<std::string> out;
    ForEach(vendor, product, [&](libusb_device* d) { out.push_back(Location(d)); });
    std::sort(out.begin(), out.end());
    return out;
  }

  std::unique_ptr<UsbDeviceHandle> Open(const std::string& location, int interface, int alternate,
                                        UsbResult& result) override {
    result = UsbResult::kGone;
    std::unique_ptr<UsbDeviceHandle> opened;
    ForEach(0, 0, [&](libusb_device* d) {
      if (opened || Location(d) != location) return;
      libusb_device_handle* handle = nullptr;
      int rc = libusb_open(d, &handle);
      if (rc != LIBUSB_SUCCESS) {
        result = FromLibusb(rc);
        return;
      }
      rc = libusb_claim_interface(handle, interface);
      if (rc == LIBUSB_SUCCESS) rc = libusb_set_interface_alt_setting(handle, interface, alternate);
      if (rc != LIBUSB_SUCCESS) {
        result = FromLibusb(rc);
        libusb_close(handle);
        return;
      }
      result = UsbResult::kOk;
      opened = std::make_unique<LibusbHandle>(handle, interface);
    });
    return opened;
  }

 private:
  // vendor 0 lists every device.
  template <typename Visit>
  void ForEach(uint16_t vendor, uint16_t product, Visit visit) {
    if (!ok_) return;
    std::lock_guard lock(mutex_);
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t k = 0; k < count; ++k) {
      libusb_device_descriptor descriptor{};
      if (libusb_get_device_descriptor(list[k], &descriptor) != LIBUSB_SUCCESS) continue;
      if (vendor != 0 && (descriptor.idVendor != vendor || descriptor.idProduct != product))
        continue;
      visit(list[k]);
    }
    if (count >= 0) libusb_free_device_list(list, 1);
  }

  libusb_context* context_ = nullptr;
  bool ok_ = false;
  std::mutex mutex_;
};

}  // namespace

std::shared_ptr<UsbBackend> MakeLibusbBackend() {
  return std::make_shared<LibusbBackend>();
}

#else

namespace {
class NoUsb final : public UsbBackend {
 public:
  std::vector<std::string> List(uint16_t, uint16_t) override { return {}; }
  std::unique_ptr<UsbDeviceHandle> Open(const std::string&, int, int, UsbResult& result) override {
    result = UsbResult::kGone;
    return nullptr;
  }
};
}  // namespace

std::shared_ptr<UsbBackend> MakeLibusbBackend() {
  return std::make_shared<NoUsb>();
}

#endif

}  // namespace lumarex::jmlaser
