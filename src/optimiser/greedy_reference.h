#pragma once

#include <cstdint>
#include <span>

#include "optimiser/path_tables.h"

namespace lumarex {

// The greedy nearest-endpoint search written out plainly: every unplaced path is tried in turn
// for every drawing position, with the distance taken by a floating-point root. Quadratic in
// the number of paths; the tests and benchmarks hold the fast search in Optiframe to it.
// `paths` and `order` are indexed 1..pathCount (slot 0 unused); Used flags are overwritten.
void ReferenceOrderFromFrameStart(std::span<PathEntry> paths, uint16_t pathCount,
                                  std::span<OrderEntry> order);
void ReferenceOrderFromCenter(std::span<PathEntry> paths, uint16_t pathCount,
                              std::span<OrderEntry> order);

// The distance measure computed the plain way, for holding PathDistance to.
uint16_t ReferencePathDistance(int32_t ax, int32_t ay, int32_t bx, int32_t by);

}  // namespace lumarex
