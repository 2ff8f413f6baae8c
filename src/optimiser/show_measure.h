#pragma once

#include <cstdint>

#include "optimiser/frame_statistics.h"
#include "show/show_store.h"

namespace lumarex {

// The statistics of every frame of the show added up, each frame measured over all its points.
inline FrameMeasure MeasureShow(const ShowStore& store) {
  FrameMeasure total;
  for (uint32_t f = 0; f < store.FrameCount; ++f) total += MeasureUnoptimised(store, f);
  return total;
}

}  // namespace lumarex
