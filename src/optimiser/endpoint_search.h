#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "optimiser/path_tables.h"

namespace lumarex {

// The answer to "which unplaced path is nearest": the lowest (distance, path number, entering
// at the end) of all unplaced endpoints, which is exactly the choice of trying every unplaced
// path in ascending order, its start before its end, and keeping only strictly smaller ones.
struct NearestPath {
  uint16_t path = 0;  // 0 when no path is left
  uint8_t reversed = 0;
  uint16_t distance = 0;
};

// A bucket grid over the endpoints of the unplaced paths. A query looks at the cells in rings
// of growing size around the query point and stops when no cell further out can hold an
// endpoint at the best distance found; when the rings would visit more cells than there are
// paths left, it tries the paths left one by one instead. Either way the answer is the same
// as the plain search's, ties included. All storage is reserved once.
class EndpointSearch {
 public:
  EndpointSearch();

  // Takes paths 1..pathCount (slot 0 unused) as unplaced.
  void Reset(std::span<const PathEntry> paths, uint16_t pathCount);
  // Marks a path as placed.
  void Remove(uint16_t path);
  NearestPath Nearest(int32_t x, int32_t y) const;

  uint16_t Remaining() const { return remaining_; }

 private:
  struct Endpoint {
    int16_t x;
    int16_t y;
    uint16_t path;
    uint8_t isEnd;
  };
  struct Best;

  static constexpr uint32_t kMaxCells = 4096;
  static constexpr uint32_t kEndpoints = 2 * kPathSlots;
  // Below this many paths trying them all is as quick as any grid.
  static constexpr uint16_t kGridFrom = 48;

  void Consider(const Endpoint& e, int32_t x, int32_t y, Best& best) const;
  void ConsiderCell(uint32_t cell, int32_t x, int32_t y, Best& best) const;
  void ConsiderAll(int32_t x, int32_t y, Best& best) const;
  uint32_t CellIndexX(int32_t x) const;
  uint32_t CellIndexY(int32_t y) const;

  std::array<Endpoint, kEndpoints> endpoints_{};  // endpoint 2k: start of k, 2k+1: its end
  // Per cell, its live endpoints are cellEntries_[cellStart_[c] .. cellStart_[c]+cellCount_[c]).
  std::array<uint32_t, kMaxCells + 1> cellStart_{};
  std::array<uint16_t, kMaxCells> cellCount_{};
  std::array<uint16_t, kEndpoints> cellEntries_{};
  std::array<uint16_t, kEndpoints> entrySlot_{};  // where each endpoint stands in cellEntries_
  std::array<uint16_t, kEndpoints> endpointCell_{};
  // The unplaced paths in no particular order, for the plain search.
  std::array<uint16_t, kPathSlots> alive_{};
  std::array<uint16_t, kPathSlots> aliveSlot_{};
  uint16_t remaining_ = 0;
  bool useGrid_ = false;
  int32_t minX_ = 0;
  int32_t minY_ = 0;
  uint32_t shift_ = 0;
  uint32_t columns_ = 1;
  uint32_t rows_ = 1;
};

}  // namespace lumarex
