#include "optimiser/optiframe.h"

#include <algorithm>
#include <utility>

#include "optimiser/frame_statistics.h"
#include "optimiser/path_distance.h"
#include "optimiser/step_subdivision.h"

namespace lumarex {

namespace {

// Writes points into OptiBuffer. The count runs on in 32 bits past the buffer's end so that
// an overflowing frame is recognised instead of wrapping round onto its own start.
class PointWriter {
 public:
  explicit PointWriter(std::span<ShowPoint> buffer) : buffer_(buffer) {}

  void Blanked(int32_t x, int32_t y) { Put(x, y, 0, 0, 0, 0); }
  void Lit(int32_t x, int32_t y, const PathVertex& colour) {
    Put(x, y, colour.R, colour.G, colour.B, 1);
  }
  // The intermediate points of a move, k = first..plan.count.
  void BlankedSteps(int32_t ax, int32_t ay, const StepPlan& plan, uint32_t first) {
    for (uint32_t k = first; k <= plan.count; ++k) {
      const auto ki = static_cast<int32_t>(k);
      Blanked(ax + ki * plan.stepX, ay + ki * plan.stepY);
    }
  }

  uint32_t Count() const { return count_; }
  bool Overflowed() const { return count_ > buffer_.size(); }
  const ShowPoint& Last() const { return buffer_[std::min<size_t>(count_, buffer_.size()) - 1]; }

 private:
  void Put(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b, uint8_t visible) {
    if (count_ < buffer_.size()) {
      ShowPoint& p = buffer_[count_];
      // Every position written lies on a segment between two 16-bit points.
      p.X = static_cast<int16_t>(x);
      p.Y = static_cast<int16_t>(y);
      p.Z = 0;
      p.R = r;
      p.G = g;
      p.B = b;
      p.Visible = visible;
    }
    ++count_;
  }

  std::span<ShowPoint> buffer_;
  uint32_t count_ = 0;
};

}  // namespace

Optiframe::Optiframe()
    : vertices_(kMaxVertices),
      vertexStart_(kPathSlots + 1),
      paths_(kPathSlots),
      order_(kPathSlots),
      greedyOrder_(kPathSlots),
      orderedVertices_(kMaxVertices),
      orderedStart_(kPathSlots + 1),
      optiBuffer_(kBufferPoints),
      search_(std::make_unique<EndpointSearch>()) {}

uint16_t Optiframe::ExtractPaths(const ShowStore& store, uint32_t frame) {
  return ExtractPaths(store.Frame(frame));
}

uint16_t Optiframe::ExtractPaths(std::span<const ShowPoint> points) {
  pathCount_ = 0;
  outcome_ = FrameOutcome::kNoPaths;
  if (points.size() <= 1) return 0;
  const size_t last = std::min<size_t>(points.size() - 1, kBufferPoints - 1);

  // First pass: count the paths and their lit points, so that each list gets its place once
  // and a frame with too many paths is refused before anything is written.
  uint32_t count = 0;
  bool carried = false;
  for (size_t i = 1; i <= last; ++i) {
    const bool lit = points[i].Visible != 0;
    if (lit && !carried) ++count;
    carried = lit;
  }
  if (count > kMaxPaths) {
    outcome_ = FrameOutcome::kTooManyPaths;
    return 0;
  }

  // Second pass: a path starts where the beam is switched on, at the blanked point before its
  // first lit point, in that lit point's colour.
  uint32_t next = 0;
  uint16_t path = 0;
  carried = false;
  for (size_t i = 1; i <= last; ++i) {
    const ShowPoint& p = points[i];
    const bool lit = p.Visible != 0;
    if (lit && !carried) {
      if (path > 0) paths_[path].LastVertex = static_cast<uint16_t>(next - vertexStart_[path] - 1);
      ++path;
      vertexStart_[path] = next;
      const ShowPoint& on = points[i - 1];
      vertices_[next++] = {on.X, on.Y, p.R, p.G, p.B, 1};
    }
    if (lit) vertices_[next++] = {p.X, p.Y, p.R, p.G, p.B, 1};
    carried = lit;
  }
  if (path > 0) paths_[path].LastVertex = static_cast<uint16_t>(next - vertexStart_[path] - 1);
  vertexStart_[path + 1u] = next;
  for (uint16_t k = 1; k <= path; ++k) {
    PathEntry& e = paths_[k];
    const PathVertex& first = vertices_[vertexStart_[k]];
    const PathVertex& end = vertices_[vertexStart_[k] + e.LastVertex];
    e.Used = 0;
    e.StartX = first.X;
    e.StartY = first.Y;
    e.EndX = end.X;
    e.EndY = end.Y;
  }
  pathCount_ = path;
  outcome_ = path > 0 ? FrameOutcome::kOptimised : FrameOutcome::kNoPaths;
  return path;
}

std::span<const PathVertex> Optiframe::PathVertices(uint16_t path) const {
  if (path == 0 || path > pathCount_) return {};
  return {vertices_.data() + vertexStart_[path], paths_[path].LastVertex + 1u};
}

std::span<const PathVertex> Optiframe::OrderedPath(uint16_t position) const {
  if (position == 0 || position > pathCount_) return {};
  return {orderedVertices_.data() + orderedStart_[position],
          orderedStart_[position + 1u] - orderedStart_[position]};
}

void Optiframe::Place(uint32_t position, uint16_t path, uint8_t reversed) {
  paths_[path].Used = 1;
  order_[position] = {path, reversed};
  search_->Remove(path);
}

void Optiframe::OrderFromFrameStart(uint16_t n) {
  n = std::min(n, pathCount_);
  if (n == 0) return;
  for (uint16_t k = 1; k <= n; ++k) paths_[k].Used = 0;
  search_->Reset(paths_, n);

  // Path 1 leaves from whichever of its endpoints lies nearest to an endpoint of another path;
  // the first of equal distances wins, the start's before the end's.
  const PathEntry& first = paths_[1];
  uint8_t reversed = 0;
  uint32_t best = 65535;
  for (uint16_t k = 2; k <= n; ++k) {
    const PathEntry& p = paths_[k];
    const uint32_t d[4] = {PathDistance(first.StartX, first.StartY, p.StartX, p.StartY),
                           PathDistance(first.StartX, first.StartY, p.EndX, p.EndY),
                           PathDistance(first.EndX, first.EndY, p.StartX, p.StartY),
                           PathDistance(first.EndX, first.EndY, p.EndX, p.EndY)};
    for (int i = 0; i < 4; ++i) {
      if (d[i] < best) {
        best = d[i];
        reversed = i < 2 ? 1 : 0;
      }
    }
  }
  Place(1, 1, reversed);
  int32_t x = reversed != 0 ? first.StartX : first.EndX;
  int32_t y = reversed != 0 ? first.StartY : first.EndY;
  for (uint32_t position = 2; position <= n; ++position) {
    const NearestPath next = search_->Nearest(x, y);
    Place(position, next.path, next.reversed);
    const PathEntry& p = paths_[next.path];
    x = next.reversed != 0 ? p.StartX : p.EndX;
    y = next.reversed != 0 ? p.StartY : p.EndY;
  }
  CopyOrderedPaths(n);
}

void Optiframe::OrderFromCenter(uint16_t n) {
  n = std::min(n, pathCount_);
  if (n == 0) return;
  for (uint16_t k = 1; k <= n; ++k) paths_[k].Used = 0;
  search_->Reset(paths_, n);
  int32_t x = 0;
  int32_t y = 0;
  for (uint32_t position = 1; position <= n; ++position) {
    const NearestPath next = search_->Nearest(x, y);
    Place(position, next.path, next.reversed);
    const PathEntry& p = paths_[next.path];
    x = next.reversed != 0 ? p.StartX : p.EndX;
    y = next.reversed != 0 ? p.StartY : p.EndY;
  }
  CopyOrderedPaths(n);
}

void Optiframe::CopyOrderedPaths(uint16_t n) {
  uint32_t next = 0;
  for (uint16_t position = 1; position <= n; ++position) {
    const OrderEntry& entry = order_[position];
    const std::span<const PathVertex> source = PathVertices(entry.Path);
    orderedStart_[position] = next;
    if (entry.Reversed != 0) {
      // A vertex carries the colour of the segment that ends at it. Drawn backwards, that
      // segment ends at the vertex before, so each colour moves one vertex on; turning the
      // vertices round with their own colours would shift every colour of a many-coloured
      // path onto its neighbouring segment.
      const size_t last = source.size() - 1;
      for (size_t j = 0; j <= last; ++j) {
        PathVertex v = source[last - j];
        const PathVertex& colour = source[j == 0 ? last : last - j + 1];
        v.R = colour.R;
        v.G = colour.G;
        v.B = colour.B;
        orderedVertices_[next + j] = v;
      }
    } else {
      std::copy(source.begin(), source.end(), orderedVertices_.begin() + next);
    }
    next += static_cast<uint32_t>(source.size());
  }
  orderedStart_[n + 1u] = next;
}

uint16_t Optiframe::BuildOptimisedFrame(uint16_t n, const OptimiserParameters& params) {
  optiLastIndex_ = 0;
  n = std::min(n, pathCount_);
  if (n == 0) {
    if (outcome_ == FrameOutcome::kOptimised) outcome_ = FrameOutcome::kNoPaths;
    return 0;
  }
  PointWriter out(optiBuffer_);

  const std::span<const PathVertex> firstPath = OrderedPath(1);
  if (params.CenterStep != 0) {
    const PathVertex& to = firstPath.front();
    out.Blanked(0, 0);
    out.BlankedSteps(0, 0, PlanSteps(0, 0, to.X, to.Y, params.CenterStep), 1);
    out.Blanked(to.X, to.Y);
  }

  const bool subdivideLit =
      params.VisibleStep > 0 && params.VisibleStep < OptimiserParameters::kVisibleStepAsIs;
  for (uint16_t i = 1; i <= n && !out.Overflowed(); ++i) {
    const std::span<const PathVertex> v = OrderedPath(i);
    const PathVertex& first = v.front();
    const PathVertex& last = v.back();
    for (uint32_t d = 0; d < params.SeekStartCount; ++d) out.Lit(first.X, first.Y, first);
    for (size_t j = 0; j < v.size(); ++j) {
      out.Lit(v[j].X, v[j].Y, v[j]);
      if (!subdivideLit || j + 1 == v.size()) continue;
      const PathVertex& to = v[j + 1];
      const StepPlan plan = PlanSteps(v[j].X, v[j].Y, to.X, to.Y, params.VisibleStep);
      for (uint32_t k = 1; k <= plan.count; ++k) {
        const auto ki = static_cast<int32_t>(k);
        out.Lit(v[j].X + ki * plan.stepX, v[j].Y + ki * plan.stepY, to);
      }
    }
    for (uint32_t d = 0; d < params.SeekEndCount; ++d) out.Lit(last.X, last.Y, last);
    for (uint32_t d = 0; d < params.BlankStartCount; ++d) out.Blanked(last.X, last.Y);
    if (i < n) {
      const PathVertex& to = OrderedPath(static_cast<uint16_t>(i + 1)).front();
      const StepPlan plan = PlanSteps(last.X, last.Y, to.X, to.Y, params.BlankStep);
      if (plan.count > 0) out.BlankedSteps(last.X, last.Y, plan, 0);
      out.Blanked(to.X, to.Y);
      for (uint32_t d = 0; d < params.BlankEndCount; ++d) out.Blanked(to.X, to.Y);
    }
  }

  if (params.CenterStep != 0) {
    const PathVertex& from = OrderedPath(n).back();
    const StepPlan plan = PlanSteps(from.X, from.Y, 0, 0, params.CenterStep);
    if (plan.count > 0) out.BlankedSteps(from.X, from.Y, plan, 0);
    out.Blanked(0, 0);
  }

  if (params.MinPoints > out.Count() && !out.Overflowed()) {
    const ShowPoint at = out.Last();
    const uint32_t extra = params.MinPoints - out.Count() + 1u;
    for (uint32_t k = 0; k < extra; ++k) out.Blanked(at.X, at.Y);
  }

  if (out.Overflowed()) {
    outcome_ = FrameOutcome::kTooManyPoints;
    return 0;
  }
  outcome_ = FrameOutcome::kOptimised;
  optiLastIndex_ = out.Count() > 1 ? static_cast<uint16_t>(out.Count() - 1) : 0;
  return optiLastIndex_;
}

std::span<const ShowPoint> Optiframe::Optimised() const {
  if (outcome_ != FrameOutcome::kOptimised || optiLastIndex_ == 0) return {};
  return {optiBuffer_.data(), optiLastIndex_ + 1u};
}

namespace {

// The measured length of a blanked move cut into steps as BuildOptimisedFrame cuts it.
uint64_t MeasuredSteps(int32_t ax, int32_t ay, int32_t bx, int32_t by, uint16_t width) {
  const StepPlan plan = PlanSteps(ax, ay, bx, by, width);
  uint64_t length = 0;
  int32_t x = ax;
  int32_t y = ay;
  for (int32_t k = 1; k <= plan.count; ++k) {
    const int32_t nx = ax + k * plan.stepX;
    const int32_t ny = ay + k * plan.stepY;
    length += MeasuredMove(x, y, nx, ny);
    x = nx;
    y = ny;
  }
  return length + MeasuredMove(x, y, bx, by);
}

}  // namespace

uint64_t Optiframe::BlankedTravel(uint16_t n, const OptimiserParameters& params) const {
  n = std::min(n, pathCount_);
  if (n == 0) return 0;
  const auto entry = [this](const OrderEntry& e) {
    const PathEntry& p = paths_[e.Path];
    return e.Reversed != 0 ? std::pair<int32_t, int32_t>{p.EndX, p.EndY}
                           : std::pair<int32_t, int32_t>{p.StartX, p.StartY};
  };
  const auto exit = [this](const OrderEntry& e) {
    const PathEntry& p = paths_[e.Path];
    return e.Reversed != 0 ? std::pair<int32_t, int32_t>{p.StartX, p.StartY}
                           : std::pair<int32_t, int32_t>{p.EndX, p.EndY};
  };
  uint64_t travel = 0;
  if (params.CenterStep != 0) {
    const auto [x, y] = entry(order_[1]);
    travel += MeasuredSteps(0, 0, x, y, params.CenterStep);
    const auto [ex, ey] = exit(order_[n]);
    travel += MeasuredSteps(ex, ey, 0, 0, params.CenterStep);
  }
  for (uint16_t i = 1; i < n; ++i) {
    const auto [ax, ay] = exit(order_[i]);
    const auto [bx, by] = entry(order_[i + 1u]);
    travel += MeasuredSteps(ax, ay, bx, by, params.BlankStep);
  }
  return travel;
}

FrameOutcome Optiframe::OptimiseFrame(const ShowStore& store, uint32_t frame,
                                      const OptimiserParameters& parameters) {
  return OptimiseFrame(store.Frame(frame), parameters);
}

FrameOutcome Optiframe::OptimiseFrame(std::span<const ShowPoint> points,
                                      const OptimiserParameters& parameters) {
  const uint16_t n = ExtractPaths(points);
  if (parameters.SearchMode == 1 || parameters.SearchMode == 3) {
    OrderFromCenter(n);
  } else {
    OrderFromFrameStart(n);
  }
  keptFrameOrder_ = false;
  if (parameters.KeepShorterFrameOrder && n > 1) {
    const uint64_t greedy = BlankedTravel(n, parameters);
    std::copy_n(order_.begin() + 1, n, greedyOrder_.begin() + 1);
    for (uint16_t k = 1; k <= n; ++k) order_[k] = {k, 0};
    if (BlankedTravel(n, parameters) < greedy) {
      keptFrameOrder_ = true;
      CopyOrderedPaths(n);
    } else {
      // OrderedPaths still holds the greedy order's copies.
      std::copy_n(greedyOrder_.begin() + 1, n, order_.begin() + 1);
    }
  }
  BuildOptimisedFrame(n, parameters);
  return outcome_;
}

}  // namespace lumarex
