#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/desktop_services.h"
#include "show/show_point.h"
#include "show/show_store.h"
#include "tests/support/test_files.h"

namespace lumarex::test {

using ScratchDir = TempDir;

inline void AppendFrame(ShowStore& store, const std::vector<ShowPoint>& points) {
  if (points.empty()) {
    store.AppendEmptyFrame();
    return;
  }
  const auto slot = store.NewFrame(static_cast<uint32_t>(points.size()));
  std::copy(points.begin(), points.end(), slot.begin());
  store.CommitFrame(static_cast<uint16_t>(points.size() - 1), FrameTail::kAllReal);
}

// A lit segment as the scanners draw it: the two ends in a fixed order, and its colour. The
// sorted list of a frame's segments is what it lights, whatever the order it draws them in.
using Segment = std::tuple<int, int, int, int, int, int, int>;

inline std::vector<Segment> LitSegments(std::span<const ShowPoint> points) {
  std::vector<Segment> segments;
  for (size_t i = 1; i < points.size(); ++i) {
    const ShowPoint& a = points[i - 1];
    const ShowPoint& b = points[i];
    if (b.Visible == 0 || (a.X == b.X && a.Y == b.Y)) continue;
    const std::pair from{a.X, a.Y};
    const std::pair to{b.X, b.Y};
    const auto [lo, hi] = std::minmax(from, to);
    segments.emplace_back(lo.first, lo.second, hi.first, hi.second, b.R, b.G, b.B);
  }
  std::sort(segments.begin(), segments.end());
  return segments;
}

inline std::vector<ShowPoint> FramePoints(const ShowStore& store, uint32_t n) {
  const auto span = store.Frame(n);
  return {span.begin(), span.end()};
}

}  // namespace lumarex::test
