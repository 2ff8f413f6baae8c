#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "output/dac_point.h"

namespace lumarex::test {

// One frame as the virtual DAC's capture holds it: the rate it was written at and its points
// (the program's DacPoint, or the driver library's record of the same layout).
template <typename Point = DacPoint>
struct CapturedFrame {
  uint32_t rate = 0;
  std::vector<Point> points;
};

// Reads LUMAREX_VIRTUAL_DAC_CAPTURE's file: per frame a u32 point count, a u32 rate, then
// 12-byte points (x, y u16; r, g, b, i; 4 zero bytes), little-endian.
template <typename Point = DacPoint>
std::vector<CapturedFrame<Point>> ReadCapture(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> b{std::istreambuf_iterator<char>(in), {}};
  auto u32 = [&](size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
  };
  std::vector<CapturedFrame<Point>> frames;
  for (size_t at = 0; at + 8 <= b.size();) {
    CapturedFrame<Point> f;
    const uint32_t count = u32(at);
    f.rate = u32(at + 4);
    at += 8;
    for (uint32_t k = 0; k < count && at + 12 <= b.size(); ++k, at += 12) {
      f.points.push_back({static_cast<uint16_t>(b[at] | b[at + 1] << 8),
                          static_cast<uint16_t>(b[at + 2] | b[at + 3] << 8),
                          b[at + 4],
                          b[at + 5],
                          b[at + 6],
                          b[at + 7],
                          {}});
    }
    frames.push_back(std::move(f));
  }
  return frames;
}

}  // namespace lumarex::test
