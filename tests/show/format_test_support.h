#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/desktop_services.h"
#include "show/show_store.h"
#include "tests/show/format_samples.h"
#include "tests/support/store_checks.h"
#include "tests/support/test_files.h"

namespace lumarex::testing {

// A folder of its own for each test, removed afterwards.
class ScratchDir : public test::TempDir {
 public:
  using TempDir::Write;
  std::string Write(const std::string& name, const samples::Bytes& bytes) const {
    return TempDir::Write(name, bytes.data);
  }
};

using RecordingDesktop = test::RecordingDesktop;

inline ShowPoint Point(int x, int y, int z, int r, int g, int b, int visible, int index = 0) {
  return {static_cast<int16_t>(x),       static_cast<int16_t>(y),    static_cast<int16_t>(z),
          static_cast<uint8_t>(r),       static_cast<uint8_t>(g),    static_cast<uint8_t>(b),
          static_cast<uint8_t>(visible), static_cast<uint8_t>(index)};
}

// The points a writer stores for frame n.
inline std::vector<ShowPoint> RealPoints(const ShowStore& store, uint32_t n) {
  const uint32_t count = store.RealPointCount(n);
  return {store.FramePoints[n].begin(), store.FramePoints[n].begin() + count};
}

// What a point becomes in the ILDA and RGB writers' files: blanked points black, no index.
inline ShowPoint AsWritten(ShowPoint p) {
  if (p.Visible == 0) p.R = p.G = p.B = 0;
  p.ColourIndex = 0;
  return p;
}

inline std::vector<ShowPoint> AsWritten(std::vector<ShowPoint> points) {
  for (ShowPoint& p : points) p = AsWritten(p);
  return points;
}

// The store's promises to every consumer, and these readers' own: a frame of one point
// counts as empty and is written as none.
inline void ExpectConsistent(const ShowStore& store) {
  test::ExpectConsistent(store);
  for (uint32_t n = 0; n < store.FrameCount; ++n) {
    if (store.LastPointIndex[n] == 0) {
      ASSERT_EQ(store.RealPointCount(n), 0u) << "frame " << n;
    }
  }
}

}  // namespace lumarex::testing
