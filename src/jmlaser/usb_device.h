#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// The little of USB that our USB DAC drivers use, so that they run against libusb on a real
// machine and against a fake device in the tests.
namespace lumarex::jmlaser {

enum class UsbResult { kOk, kTimeout, kStall, kGone, kAccessDenied, kBusy, kError };

const char* UsbResultText(UsbResult result);

// One opened device with its interface claimed. Every transfer waits at most timeoutMs.
class UsbDeviceHandle {
 public:
  virtual ~UsbDeviceHandle() = default;
  virtual UsbResult BulkOut(uint8_t endpoint, std::span<const uint8_t> data,
                            unsigned timeoutMs) = 0;
  virtual UsbResult InterruptOut(uint8_t endpoint, std::span<const uint8_t> data,
                                 unsigned timeoutMs) = 0;
  virtual UsbResult InterruptIn(uint8_t endpoint, std::span<uint8_t> buffer, size_t& received,
                                unsigned timeoutMs) = 0;
  // Clears a stalled endpoint so that transfers go through again.
  virtual UsbResult ClearHalt(uint8_t endpoint) = 0;
};

class UsbBackend {
 public:
  virtual ~UsbBackend() = default;
  // Where the devices of that vendor and product sit ("bus-port.port..."), in a stable order.
  virtual std::vector<std::string> List(uint16_t vendor, uint16_t product) = 0;
  // Opens the device at `location` and claims the interface with its alternate setting;
  // null, with the reason in `result`, when that fails.
  virtual std::unique_ptr<UsbDeviceHandle> Open(const std::string& location, int interface,
                                                int alternate, UsbResult& result) = 0;
};

// libusb-1.0; a backend that finds nothing when the library was built without it.
std::shared_ptr<UsbBackend> MakeLibusbBackend();

// The test hook: LUMAREX_USB_BACKEND names a shared object that exports
// `lumarex::jmlaser::UsbBackend* LumarexCreateUsbBackend()`; it replaces libusb, so that a
// fake device can be found and driven through the whole program. Null when it cannot be
// loaded.
std::shared_ptr<UsbBackend> LoadUsbBackend(const std::string& path);

}  // namespace lumarex::jmlaser
