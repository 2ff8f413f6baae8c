#pragma once

#include <algorithm>
#include <memory>
#include <vector>

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

}  // namespace lumarex::test
