#include "optimiser/greedy_reference.h"

#include <cmath>
#include <cstdlib>

namespace lumarex {

uint16_t ReferencePathDistance(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
  const uint32_t dx = static_cast<uint32_t>(std::abs(ax - bx) / 4);
  const uint32_t dy = static_cast<uint32_t>(std::abs(ay - by) / 4);
  const uint32_t s = dx * dx + dy * dy;
  if (s == 0) return 0;
  // The default rounding mode rounds halves to even.
  return static_cast<uint16_t>(std::nearbyint(std::sqrt(static_cast<double>(s))));
}

namespace {

// Places the remaining paths one position after another, starting from (x, y).
void PlaceRemaining(std::span<PathEntry> paths, uint16_t n, std::span<OrderEntry> order,
                    uint32_t firstPosition, int32_t x, int32_t y) {
  for (uint32_t position = firstPosition; position <= n; ++position) {
    uint32_t best = 65535;
    uint16_t chosen = 0;
    uint8_t reversed = 0;
    for (uint16_t k = 1; k <= n; ++k) {
      const PathEntry& p = paths[k];
      if (p.Used != 0) continue;
      const uint32_t toStart = ReferencePathDistance(x, y, p.StartX, p.StartY);
      if (toStart < best) {
        best = toStart;
        chosen = k;
        reversed = 0;
      }
      const uint32_t toEnd = ReferencePathDistance(x, y, p.EndX, p.EndY);
      if (toEnd < best) {
        best = toEnd;
        chosen = k;
        reversed = 1;
      }
    }
    if (chosen == 0) return;  // unreachable: every distance is below 65535
    PathEntry& c = paths[chosen];
    c.Used = 1;
    order[position] = {chosen, reversed};
    x = reversed != 0 ? c.StartX : c.EndX;
    y = reversed != 0 ? c.StartY : c.EndY;
  }
}

}  // namespace

void ReferenceOrderFromFrameStart(std::span<PathEntry> paths, uint16_t n,
                                  std::span<OrderEntry> order) {
  if (n == 0) return;
  for (uint16_t k = 1; k <= n; ++k) paths[k].Used = 0;
  PathEntry& first = paths[1];
  first.Used = 1;
  uint8_t reversed = 0;
  if (n >= 2) {
    uint32_t best = 65535;
    for (uint16_t k = 2; k <= n; ++k) {
      const PathEntry& p = paths[k];
      const uint32_t d[4] = {ReferencePathDistance(first.StartX, first.StartY, p.StartX, p.StartY),
                             ReferencePathDistance(first.StartX, first.StartY, p.EndX, p.EndY),
                             ReferencePathDistance(first.EndX, first.EndY, p.StartX, p.StartY),
                             ReferencePathDistance(first.EndX, first.EndY, p.EndX, p.EndY)};
      for (int i = 0; i < 4; ++i) {
        if (d[i] < best) {
          best = d[i];
          reversed = i < 2 ? 1 : 0;
        }
      }
    }
  }
  order[1] = {1, reversed};
  const int32_t x = reversed != 0 ? first.StartX : first.EndX;
  const int32_t y = reversed != 0 ? first.StartY : first.EndY;
  PlaceRemaining(paths, n, order, 2, x, y);
}

void ReferenceOrderFromCenter(std::span<PathEntry> paths, uint16_t n, std::span<OrderEntry> order) {
  for (uint16_t k = 1; k <= n; ++k) paths[k].Used = 0;
  PlaceRemaining(paths, n, order, 1, 0, 0);
}

}  // namespace lumarex
