// Device names come from the driver library and, through it, from network devices.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "output/device_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = lumarex::FilterDeviceText(reinterpret_cast<const char*>(data), size);
  if (text.size() > size) std::abort();
  for (const char c : text) {
    const bool allowed = c == ' ' || c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                         (c >= 'a' && c <= 'z');
    if (!allowed) std::abort();
  }
  return 0;
}
