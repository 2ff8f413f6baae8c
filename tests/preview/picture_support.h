#pragma once

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "gl/headless_context.h"
#include "preview/draw_list.h"
#include "show/show_store.h"
#include "tests/support/frame_builder.h"

namespace lumarex::test {

// A store whose frames are exactly `frames` (an empty vector is a frame with last index 0).
inline std::unique_ptr<ShowStore> StoreWith(const std::vector<std::vector<ShowPoint>>& frames) {
  auto store = std::make_unique<ShowStore>();
  for (const auto& frame : frames) {
    if (frame.empty()) {
      store->AppendEmptyFrame();
      continue;
    }
    const auto slot = store->NewFrame(static_cast<uint32_t>(frame.size()));
    std::copy(frame.begin(), frame.end(), slot.begin());
    store->CommitFrame(static_cast<uint16_t>(frame.size() - 1), FrameTail::kAllReal);
  }
  return store;
}

inline std::vector<Vertex> VerticesOf(const DrawList& list, size_t batch) {
  const auto v = list.VerticesOf(list.Batches()[batch]);
  return {v.begin(), v.end()};
}

inline Vertex V(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return Vertex{x, y, r, g, b, a};
}

// The share of pixels whose channels all lie within `tolerance` of the golden picture's.
inline double MatchingShare(const RgbaImage& actual, const RgbaImage& golden, int tolerance) {
  if (actual.width != golden.width || actual.height != golden.height) return 0.0;
  size_t matching = 0;
  const size_t pixels = static_cast<size_t>(actual.width) * static_cast<size_t>(actual.height);
  for (size_t k = 0; k < pixels; ++k) {
    bool same = true;
    for (size_t c = 0; c < 3; ++c) {
      same &= std::abs(actual.pixels[k * 4 + c] - golden.pixels[k * 4 + c]) <= tolerance;
    }
    matching += same ? 1 : 0;
  }
  return static_cast<double>(matching) / static_cast<double>(pixels);
}

}  // namespace lumarex::test
