#include "preview/output_picture.h"

#include <cmath>

namespace lumarex {

namespace {

constexpr int32_t kFieldCentre = 32768;
constexpr uint8_t kWindowGrey = 72;
constexpr uint8_t kMoveGrey = 96;
constexpr uint8_t kDwellAlpha = 96;
constexpr int32_t kDwellHalfSide = 160;

inline bool IsLit(const DacPoint& p) {
  return (p.r | p.g | p.b) != 0;
}

inline int32_t PanelX(const DacPoint& p) {
  return int32_t{p.x} - kFieldCentre;
}
inline int32_t PanelY(const DacPoint& p) {
  return int32_t{p.y} - kFieldCentre;
}

inline int32_t WindowEdge(int64_t value, double scale, int32_t offset) {
  // The transform's own product: extended precision, truncated toward zero.
  const auto scaled =
      static_cast<int64_t>(static_cast<long double>(value) * static_cast<long double>(scale));
  return static_cast<int32_t>(scaled + kFieldCentre + offset);
}

void AddWindowOutline(const OutputWindow& window, DrawList& out) {
  Vertex* w = out.Begin(Primitive::kLineStrip, 1.0f, false, false, 5);
  const int32_t l = window.left - kFieldCentre;
  const int32_t r = window.right - kFieldCentre;
  const int32_t b = window.bottom - kFieldCentre;
  const int32_t t = window.top - kFieldCentre;
  w = Put(w, l, b, kWindowGrey, kWindowGrey, kWindowGrey);
  w = Put(w, l, t, kWindowGrey, kWindowGrey, kWindowGrey);
  w = Put(w, r, t, kWindowGrey, kWindowGrey, kWindowGrey);
  w = Put(w, r, b, kWindowGrey, kWindowGrey, kWindowGrey);
  w = Put(w, l, b, kWindowGrey, kWindowGrey, kWindowGrey);
  out.End(w);
}

// The window's edges as corners and warp bend them, each in 16 steps.
void AddWarpedWindow(const OutputWindow& window, const ProjectionStage& projection, DrawList& out) {
  constexpr int kSteps = 16;
  const FieldPoint corners[5] = {
      {static_cast<double>(window.left), static_cast<double>(window.bottom)},
      {static_cast<double>(window.left), static_cast<double>(window.top)},
      {static_cast<double>(window.right), static_cast<double>(window.top)},
      {static_cast<double>(window.right), static_cast<double>(window.bottom)},
      {static_cast<double>(window.left), static_cast<double>(window.bottom)}};
  Vertex* w = out.Begin(Primitive::kLineStrip, 1.0f, false, false, 4 * kSteps + 1);
  for (int edge = 0; edge < 4; ++edge) {
    for (int step = edge == 0 ? 0 : 1; step <= kSteps; ++step) {
      const FieldPoint a = corners[edge];
      const FieldPoint b = corners[edge + 1];
      const FieldPoint at = projection.MapPosition(
          {a.x + (b.x - a.x) * step / kSteps, a.y + (b.y - a.y) * step / kSteps});
      w = Put(w, static_cast<int32_t>(std::lround(at.x)) - kFieldCentre,
              static_cast<int32_t>(std::lround(at.y)) - kFieldCentre, kWindowGrey, kWindowGrey,
              kWindowGrey);
    }
  }
  out.End(w);
}

void AddOutline(const std::vector<FieldPoint>& polygon, uint8_t r, uint8_t g, uint8_t b,
                DrawList& out) {
  Vertex* w = out.Begin(Primitive::kLineStrip, 1.0f, false, false,
                        static_cast<uint32_t>(polygon.size()) + 1);
  for (size_t k = 0; k <= polygon.size(); ++k) {
    const FieldPoint& v = polygon[k % polygon.size()];
    w = Put(w, static_cast<int32_t>(std::lround(v.x)) - kFieldCentre,
            static_cast<int32_t>(std::lround(v.y)) - kFieldCentre, r, g, b);
  }
  out.End(w);
}

void AddProjectionOutlines(const Projection& projection, DrawList& out) {
  for (const ProjectionMask& mask : projection.masks) {
    if (mask.limit) {
      AddOutline(mask.polygon, 200, 150, 0, out);
    } else {
      AddOutline(mask.polygon, 200, 40, 40, out);
    }
  }
  if (const std::optional<SafeArea>& s = projection.safeArea) {
    AddOutline({{s->x0, s->y0}, {s->x0, s->y1}, {s->x1, s->y1}, {s->x1, s->y0}}, 40, 160, 40, out);
  }
}

}  // namespace

OutputWindow OutputWindowOf(double scaleX, int32_t offsetX, double scaleY, int32_t offsetY) {
  return {WindowEdge(-32768, scaleX, offsetX), WindowEdge(32767, scaleX, offsetX),
          WindowEdge(-32768, scaleY, offsetY), WindowEdge(32767, scaleY, offsetY)};
}

void AddOutputOutlines(const std::optional<OutputWindow>& window, const ProjectionStage* projection,
                       DrawList& out) {
  const bool projected = projection != nullptr && projection->Get().has_value();
  if (window && projected) {
    AddWarpedWindow(*window, *projection, out);
  } else if (window) {
    AddWindowOutline(*window, out);
  }
  if (projected) AddProjectionOutlines(*projection->Get(), out);
}

OutputPictureCounts BuildOutputPicture(std::span<const DacPoint> points,
                                       const std::optional<OutputWindow>& window, DrawList& out,
                                       const ProjectionStage* projection) {
  OutputPictureCounts counts;
  out.Reset(true);
  out.Reserve(static_cast<uint32_t>(points.size()) * 6 + 8, 4);
  AddOutputOutlines(window, projection, out);

  Vertex* w =
      out.Begin(Primitive::kLines, 1.0f, false, false, static_cast<uint32_t>(points.size()) * 2);
  for (size_t k = 1; k < points.size(); ++k) {
    const DacPoint& p = points[k];
    const DacPoint& from = points[k - 1];
    if (IsLit(p) || (p.x == from.x && p.y == from.y)) continue;
    w = Put(w, PanelX(from), PanelY(from), kMoveGrey, kMoveGrey, kMoveGrey);
    w = Put(w, PanelX(p), PanelY(p), kMoveGrey, kMoveGrey, kMoveGrey);
    ++counts.blankedMoves;
  }
  out.End(w);

  w = out.Begin(Primitive::kLines, 1.0f, false, false, static_cast<uint32_t>(points.size()) * 2);
  for (size_t k = 1; k < points.size(); ++k) {
    const DacPoint& p = points[k];
    if (!IsLit(p)) continue;
    const DacPoint& from = points[k - 1];
    w = Put(w, PanelX(from), PanelY(from), p.r, p.g, p.b);
    w = Put(w, PanelX(p), PanelY(p), p.r, p.g, p.b);
    ++counts.litSegments;
  }
  out.End(w);

  // One faint square for each run of points at one place, in the colour of its first lit
  // point (grey when the beam waits dark), so that the dwell the transform adds shows.
  w = out.Begin(Primitive::kQuads, 1.0f, true, false, static_cast<uint32_t>(points.size()) * 4);
  for (size_t k = 0; k < points.size();) {
    size_t end = k + 1;
    const DacPoint* colour = IsLit(points[k]) ? &points[k] : nullptr;
    while (end < points.size() && points[end].x == points[k].x && points[end].y == points[k].y) {
      if (colour == nullptr && IsLit(points[end])) colour = &points[end];
      ++end;
    }
    if (end - k > 1) {
      const int32_t x = PanelX(points[k]);
      const int32_t y = PanelY(points[k]);
      const uint8_t r = colour != nullptr ? colour->r : kMoveGrey;
      const uint8_t g = colour != nullptr ? colour->g : kMoveGrey;
      const uint8_t b = colour != nullptr ? colour->b : kMoveGrey;
      w = Put(w, x - kDwellHalfSide, y - kDwellHalfSide, r, g, b, kDwellAlpha);
      w = Put(w, x - kDwellHalfSide, y + kDwellHalfSide, r, g, b, kDwellAlpha);
      w = Put(w, x + kDwellHalfSide, y + kDwellHalfSide, r, g, b, kDwellAlpha);
      w = Put(w, x + kDwellHalfSide, y - kDwellHalfSide, r, g, b, kDwellAlpha);
      ++counts.dwellPoints;
    }
    k = end;
  }
  out.End(w);
  return counts;
}

}  // namespace lumarex
