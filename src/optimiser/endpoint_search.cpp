#include "optimiser/endpoint_search.h"

#include <algorithm>
#include <limits>

#include "optimiser/path_distance.h"

namespace lumarex {

// The best endpoint so far, with the largest squared measure that could still tie with it, so
// that most endpoints are rejected without taking a root.
struct EndpointSearch::Best {
  uint32_t distance = std::numeric_limits<uint32_t>::max();
  uint32_t maxSquared = std::numeric_limits<uint32_t>::max();
  uint16_t path = 0;
  uint8_t isEnd = 0;
};

EndpointSearch::EndpointSearch() = default;

uint32_t EndpointSearch::CellIndexX(int32_t x) const {
  const int32_t offset = std::max(0, x - minX_);
  return std::min(columns_ - 1, static_cast<uint32_t>(offset) >> shift_);
}

uint32_t EndpointSearch::CellIndexY(int32_t y) const {
  const int32_t offset = std::max(0, y - minY_);
  return std::min(rows_ - 1, static_cast<uint32_t>(offset) >> shift_);
}

void EndpointSearch::Reset(std::span<const PathEntry> paths, uint16_t pathCount) {
  pathCount = static_cast<uint16_t>(std::min<uint32_t>(pathCount, kMaxPaths));
  remaining_ = pathCount;
  int32_t maxX = std::numeric_limits<int32_t>::min();
  int32_t maxY = maxX;
  minX_ = std::numeric_limits<int32_t>::max();
  minY_ = minX_;
  for (uint16_t k = 1; k <= pathCount; ++k) {
    const PathEntry& p = paths[k];
    endpoints_[2u * k] = {p.StartX, p.StartY, k, 0};
    endpoints_[2u * k + 1] = {p.EndX, p.EndY, k, 1};
    alive_[k - 1u] = k;
    aliveSlot_[k] = static_cast<uint16_t>(k - 1u);
    minX_ = std::min({minX_, int32_t{p.StartX}, int32_t{p.EndX}});
    minY_ = std::min({minY_, int32_t{p.StartY}, int32_t{p.EndY}});
    maxX = std::max({maxX, int32_t{p.StartX}, int32_t{p.EndX}});
    maxY = std::max({maxY, int32_t{p.StartY}, int32_t{p.EndY}});
  }
  useGrid_ = pathCount >= kGridFrom;
  if (!useGrid_) return;

  // The finest power-of-two cell size with no more cells than paths: about two endpoints a
  // cell, which measured quickest on scattered frames.
  const auto spanX = static_cast<uint32_t>(maxX - minX_) + 1u;
  const auto spanY = static_cast<uint32_t>(maxY - minY_) + 1u;
  shift_ = 0;
  for (;; ++shift_) {
    columns_ = ((spanX - 1u) >> shift_) + 1u;
    rows_ = ((spanY - 1u) >> shift_) + 1u;
    // In 64 bits: a frame that spans the whole field both ways has 65536 x 65536 cells at
    // the finest size, which wraps a 32-bit product to 0.
    if (uint64_t{columns_} * rows_ <= std::min<uint32_t>(pathCount, kMaxCells)) break;
  }

  const uint32_t cells = columns_ * rows_;
  std::fill_n(cellCount_.begin(), cells, uint16_t{0});
  const uint32_t endpointCount = 2u * pathCount + 2u;
  for (uint32_t e = 2; e < endpointCount; ++e) {
    const Endpoint& p = endpoints_[e];
    const uint32_t cell = CellIndexY(p.y) * columns_ + CellIndexX(p.x);
    endpointCell_[e] = static_cast<uint16_t>(cell);
    ++cellCount_[cell];
  }
  cellStart_[0] = 0;
  for (uint32_t c = 0; c < cells; ++c) cellStart_[c + 1] = cellStart_[c] + cellCount_[c];
  std::fill_n(cellCount_.begin(), cells, uint16_t{0});
  for (uint32_t e = 2; e < endpointCount; ++e) {
    const uint32_t cell = endpointCell_[e];
    const uint32_t slot = cellStart_[cell] + cellCount_[cell]++;
    cellEntries_[slot] = static_cast<uint16_t>(e);
    entrySlot_[e] = static_cast<uint16_t>(slot);
  }
}

void EndpointSearch::Remove(uint16_t path) {
  if (path == 0 || path > kMaxPaths) return;
  const uint16_t aliveIndex = aliveSlot_[path];
  if (aliveIndex >= remaining_ || alive_[aliveIndex] != path) return;  // already placed
  const uint16_t lastAlive = alive_[remaining_ - 1u];
  alive_[aliveIndex] = lastAlive;
  aliveSlot_[lastAlive] = aliveIndex;
  --remaining_;
  if (!useGrid_) return;
  for (uint32_t e = 2u * path; e <= 2u * path + 1u; ++e) {
    const uint32_t cell = endpointCell_[e];
    const uint32_t lastSlot = cellStart_[cell] + --cellCount_[cell];
    const uint16_t moved = cellEntries_[lastSlot];
    const uint16_t slot = entrySlot_[e];
    cellEntries_[slot] = moved;
    entrySlot_[moved] = slot;
  }
}

inline void EndpointSearch::Consider(const Endpoint& e, int32_t x, int32_t y, Best& best) const {
  const uint32_t s = PathDistanceSquared(x, y, e.x, e.y);
  if (s > best.maxSquared) return;
  const uint32_t d = RoundedSqrt(s);
  if (d < best.distance || (d == best.distance && (e.path < best.path || (e.path == best.path &&
                                                                          e.isEnd < best.isEnd)))) {
    if (d < best.distance) {
      best.distance = d;
      best.maxSquared = MaxSquaredForDistance(d);
    }
    best.path = e.path;
    best.isEnd = e.isEnd;
  }
}

void EndpointSearch::ConsiderCell(uint32_t cell, int32_t x, int32_t y, Best& best) const {
  const uint32_t begin = cellStart_[cell];
  const uint32_t end = begin + cellCount_[cell];
  for (uint32_t i = begin; i < end; ++i) Consider(endpoints_[cellEntries_[i]], x, y, best);
}

void EndpointSearch::ConsiderAll(int32_t x, int32_t y, Best& best) const {
  for (uint32_t i = 0; i < remaining_; ++i) {
    const uint32_t k = alive_[i];
    Consider(endpoints_[2u * k], x, y, best);
    Consider(endpoints_[2u * k + 1u], x, y, best);
  }
}

NearestPath EndpointSearch::Nearest(int32_t x, int32_t y) const {
  Best best;
  if (remaining_ == 0) return {};
  if (!useGrid_) {
    ConsiderAll(x, y, best);
  } else {
    const auto cx = static_cast<int32_t>(CellIndexX(x));
    const auto cy = static_cast<int32_t>(CellIndexY(y));
    const auto columns = static_cast<int32_t>(columns_);
    const auto rows = static_cast<int32_t>(rows_);
    const int32_t cellSize = int32_t{1} << shift_;
    // Past this many cells, trying the paths left one by one is cheaper.
    const uint32_t cellBudget = 2u * remaining_ + 16u;
    uint32_t visited = 0;
    for (int32_t r = 0;; ++r) {
      if (r > 0) {
        // An endpoint r cells away (in either axis) is more than (r - 1) cells away in
        // coordinates, even when the query point lies outside the grid and was clamped in.
        const auto nearest = static_cast<uint32_t>(((r - 1) * cellSize + 1) / 4);
        if (nearest > best.distance) break;
        if (cx - r < 0 && cy - r < 0 && cx + r >= columns && cy + r >= rows) break;
      }
      if (visited > cellBudget) {
        ConsiderAll(x, y, best);
        break;
      }
      const int32_t x0 = std::max(0, cx - r);
      const int32_t x1 = std::min(columns - 1, cx + r);
      for (int32_t row : {cy - r, cy + r}) {
        if (row < 0 || row >= rows) continue;
        for (int32_t col = x0; col <= x1; ++col) {
          ConsiderCell(static_cast<uint32_t>(row * columns + col), x, y, best);
        }
        visited += static_cast<uint32_t>(x1 - x0 + 1);
        if (r == 0) break;  // ring 0 is one cell, not two rows
      }
      const int32_t y0 = std::max(0, cy - r + 1);
      const int32_t y1 = std::min(rows - 1, cy + r - 1);
      for (int32_t col : {cx - r, cx + r}) {
        if (r == 0 || col < 0 || col >= columns) continue;
        for (int32_t row = y0; row <= y1; ++row) {
          ConsiderCell(static_cast<uint32_t>(row * columns + col), x, y, best);
        }
        visited += static_cast<uint32_t>(std::max(0, y1 - y0 + 1));
      }
    }
  }
  return {best.path, best.isEnd, static_cast<uint16_t>(best.distance)};
}

}  // namespace lumarex
