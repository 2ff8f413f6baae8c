#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumarex {

// An RGBA picture, rows top to bottom.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 4

  const uint8_t* At(int x, int y) const {
    return pixels.data() +
           (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
  }
};

}  // namespace lumarex
