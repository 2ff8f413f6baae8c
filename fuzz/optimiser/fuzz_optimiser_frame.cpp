// Random frames and parameters through the whole optimisation: the output must stay within
// OptiBuffer, carry only flat points, light the segments the input lit, and the ordering must
// match the plain search.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

#include "optimiser/greedy_reference.h"
#include "optimiser/optiframe.h"

namespace {

using lumarex::ShowPoint;

uint16_t Read16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

using Segment = std::tuple<int, int, int, int, int, int, int>;

std::vector<Segment> LitSegments(const ShowPoint* points, size_t count) {
  std::vector<Segment> segments;
  for (size_t i = 1; i < count; ++i) {
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

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHeader = 13;
  // Enough for thousands of paths; the output bounds are reached through dwells and padding.
  constexpr size_t kMaxFramePoints = 8192;
  if (size < kHeader) return 0;
  lumarex::OptimiserParameters params;
  params.VisibleStep = Read16(data);
  params.BlankStep = Read16(data + 2);
  params.CenterStep = Read16(data + 4);
  params.SeekStartCount = data[6];
  params.SeekEndCount = data[7];
  params.BlankStartCount = data[8];
  params.BlankEndCount = data[9];
  params.MinPoints = Read16(data + 10);
  params.SearchMode = static_cast<uint8_t>(data[12] % 4);
  params.KeepShorterFrameOrder = (data[12] & 4) != 0;

  std::vector<ShowPoint> frame;
  for (size_t at = kHeader; at + 8 <= size && frame.size() < kMaxFramePoints; at += 8) {
    ShowPoint p;
    p.X = static_cast<int16_t>(Read16(data + at));
    p.Y = static_cast<int16_t>(Read16(data + at + 2));
    p.R = data[at + 4];
    p.G = data[at + 5];
    p.B = data[at + 6];
    p.Visible = data[at + 7] & 1;
    p.Z = static_cast<int16_t>(data[at + 7] >> 1);
    frame.push_back(p);
  }

  static lumarex::Optiframe core;
  const lumarex::FrameOutcome outcome = core.OptimiseFrame(frame, params);
  const auto out = core.Optimised();
  Check(out.size() <= lumarex::Optiframe::kBufferPoints);
  Check(core.PathCount() <= lumarex::kMaxPaths);
  if (outcome != lumarex::FrameOutcome::kOptimised) {
    Check(out.empty() && core.OptiLastIndex() == 0);
    return 0;
  }
  Check(out.size() == core.OptiLastIndex() + 1u);
  // Padding tops a frame of fewer than MinPoints points up to MinPoints + 1; a frame of
  // exactly MinPoints points is left as it is.
  Check(out.size() >= std::min<size_t>(params.MinPoints, 65536));
  for (const ShowPoint& p : out) Check(p.Z == 0 && p.Visible <= 1);
  if (params.VisibleStep == 0 || params.VisibleStep >= 65000) {
    Check(LitSegments(out.data(), out.size()) == LitSegments(frame.data(), frame.size()));
  }

  // The plain search is quadratic; hold the fast one to it on frames of modest size.
  const uint16_t n = core.PathCount();
  if (n <= 300) {
    std::vector<lumarex::PathEntry> paths(core.Paths().begin(), core.Paths().end());
    std::vector<lumarex::OrderEntry> order(n + 1u);
    if (params.SearchMode % 2 == 1) {
      lumarex::ReferenceOrderFromCenter(paths, n, order);
    } else {
      lumarex::ReferenceOrderFromFrameStart(paths, n, order);
    }
    for (uint32_t i = 1; i <= n; ++i) {
      // A frame that keeps its own order is drawn path by path, each forward.
      const lumarex::OrderEntry own{static_cast<uint16_t>(i), 0};
      Check(core.Order()[i] == (core.KeptFrameOrder() ? own : order[i]));
    }
  }
  return 0;
}
