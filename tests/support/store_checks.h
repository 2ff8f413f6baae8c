#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "show/show_store.h"

namespace lumarex::test {

// The store's promises to every consumer, whatever a reader met in its file.
inline void ExpectConsistent(const ShowStore& store) {
  for (uint32_t n = 0; n < store.FrameCount; ++n) {
    const uint32_t last = store.LastPointIndex[n];
    if (last > 0) {
      ASSERT_GE(store.FramePoints[n].size(), last + 1u) << "frame " << n;
    }
    ASSERT_LE(store.RealPointCount(n), last + 1u) << "frame " << n;
    if (last == 0) {
      ASSERT_LE(store.RealPointCount(n), 1u) << "frame " << n;
    }
  }
  for (uint32_t n = store.FrameCount; n < ShowStore::kSlotCount; ++n) {
    ASSERT_EQ(store.LastPointIndex[n], 0) << "slot " << n;
  }
}

}  // namespace lumarex::test
