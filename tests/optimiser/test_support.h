#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
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

inline std::vector<ShowPoint> FramePoints(const ShowStore& store, uint32_t n) {
  const auto span = store.Frame(n);
  return {span.begin(), span.end()};
}

}  // namespace lumarex::test
