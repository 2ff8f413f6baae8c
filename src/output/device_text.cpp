#include "output/device_text.h"

namespace lumarex {

std::string FilterDeviceText(const char* text, size_t capacity) {
  std::string out;
  if (text == nullptr) return out;
  for (size_t k = 0; k < capacity && text[k] != '\0'; ++k) {
    const char c = text[k];
    if (c == ' ' || c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
        (c >= 'a' && c <= 'z')) {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace lumarex
