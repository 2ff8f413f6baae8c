#pragma once

#include <algorithm>
#include <cmath>
#include <span>
#include <string>

#include "projection/projection_stage.h"

namespace lumarex::test {

inline bool Lit(const DacPoint& p) {
  return (p.r | p.g | p.b | p.i) != 0;
}

inline FieldPoint At(const DacPoint& p) {
  return {static_cast<double>(p.x), static_cast<double>(p.y)};
}

// How far `p` is from the nearest edge of `polygon`.
inline double DistanceToEdge(const std::vector<FieldPoint>& polygon, FieldPoint p) {
  double best = 1e18;
  for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const FieldPoint a = polygon[j];
    const FieldPoint b = polygon[i];
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length = dx * dx + dy * dy;
    double t = length > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length : 0;
    t = std::clamp(t, 0.0, 1.0);
    best = std::min(best, std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy)));
  }
  return best;
}

// Inside and more than `margin` units from the edge: where light may not be.
inline bool DeepInside(const std::vector<FieldPoint>& polygon, FieldPoint p, double margin) {
  return InsidePolygon(polygon, p) && DistanceToEdge(polygon, p) > margin;
}

// What the stage promises of a projected list, the first fault as text (empty: none): no lit
// point inside a blank mask, no lit segment through one (sampled along it), no light in a
// limit zone above its percent of the brightest input, nothing outside the safe area.
inline std::string ProjectionFault(const Projection& projection, std::span<const DacPoint> in,
                                   std::span<const DacPoint> out) {
  uint8_t brightest = 0;
  for (const DacPoint& p : in) brightest = std::max({brightest, p.r, p.g, p.b, p.i});
  for (size_t k = 0; k < out.size(); ++k) {
    const DacPoint& p = out[k];
    if (const auto& s = projection.safeArea;
        s && (p.x < s->x0 - 1 || p.x > s->x1 + 1 || p.y < s->y0 - 1 || p.y > s->y1 + 1)) {
      return "point " + std::to_string(k) + " outside the safe area";
    }
    if (!Lit(p)) continue;
    for (const ProjectionMask& mask : projection.masks) {
      if (!InsidePolygon(mask.polygon, At(p))) continue;
      if (!mask.limit) return "lit point " + std::to_string(k) + " inside a blank mask";
      const double cap = std::floor(brightest * *mask.limit / 100.0);
      if (std::max({p.r, p.g, p.b, p.i}) > cap) {
        return "point " + std::to_string(k) + " above its zone's limit";
      }
    }
    if (k == 0) continue;
    const FieldPoint from = At(out[k - 1]);
    const FieldPoint to = At(p);
    for (int step = 1; step < 16; ++step) {
      const FieldPoint on{from.x + (to.x - from.x) * step / 16,
                          from.y + (to.y - from.y) * step / 16};
      for (const ProjectionMask& mask : projection.masks) {
        if (!mask.limit && DeepInside(mask.polygon, on, 1.5)) {
          return "lit segment " + std::to_string(k) + " through a blank mask";
        }
      }
    }
  }
  return {};
}

}  // namespace lumarex::test
