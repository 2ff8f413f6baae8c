#pragma once

#include <cstdint>

namespace lumarex {

// One vertex of an extracted lit path.
struct PathVertex {
  int16_t X = 0;
  int16_t Y = 0;
  uint8_t R = 0;  // colour of the segment that ends at this vertex
  uint8_t G = 0;
  uint8_t B = 0;
  uint8_t Lit = 1;

  friend bool operator==(const PathVertex&, const PathVertex&) = default;
};

// Bookkeeping of one path; paths are numbered from 1.
struct PathEntry {
  uint16_t LastVertex = 0;  // the path has LastVertex + 1 vertices
  uint8_t Used = 0;         // 1 once the ordering has placed the path
  int16_t StartX = 0;
  int16_t StartY = 0;
  int16_t EndX = 0;
  int16_t EndY = 0;
};

// One drawing position of the ordering.
struct OrderEntry {
  uint16_t Path = 0;
  uint8_t Reversed = 0;  // 1: drawn from its end to its start

  friend bool operator==(const OrderEntry&, const OrderEntry&) = default;
};

// Slot 0 of the path tables is no path, so 4049 slots hold 4048 paths.
inline constexpr uint32_t kPathSlots = 4049;
inline constexpr uint32_t kMaxPaths = kPathSlots - 1;

}  // namespace lumarex
