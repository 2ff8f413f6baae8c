#pragma once

#include <cstddef>
#include <string>

namespace lumarex {

// Of a text the driver library wrote into a buffer of `capacity` bytes (ending at its first
// zero byte, or at the buffer's end), keeps only blanks, minus signs, digits and the letters
// A..Z and a..z, in their order. Device names come from network devices too, so nothing
// else reaches the lists and status texts.
std::string FilterDeviceText(const char* text, size_t capacity);

}  // namespace lumarex
