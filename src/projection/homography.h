#pragma once

#include <array>
#include <optional>

#include "projection/projection.h"

namespace lumarex {

// The projective map of the DAC field onto a quadrilateral: the field's corners (0,0),
// (65535,0), (65535,65535), (0,65535) go exactly to the four given points, straight lines stay
// straight. The identity corners give the identity, exactly.
class Homography {
 public:
  // None when the corners do not form a convex quadrilateral in that order (either turning).
  static std::optional<Homography> FromCorners(const std::array<FieldPoint, 4>& corners);

  FieldPoint Map(FieldPoint p) const {
    return MapFraction(p.x / Projection::kFieldMax, p.y / Projection::kFieldMax);
  }
  // The same for u, v the position in the field as 0..1.
  FieldPoint MapFraction(double u, double v) const {
    // x and y divided at once, in the two lanes of one instruction.
    using Pair = double __attribute__((vector_size(16)));
    const double w = g_ * u + h_ * v + 1;
    const Pair at = Pair{a_ * u + b_ * v + c_, d_ * u + e_ * v + f_} / w;
    return {at[0], at[1]};
  }

 private:
  // x = (a u + b v + c) / (g u + h v + 1), y = (d u + e v + f) / (g u + h v + 1), with u, v the
  // position in the field as 0..1.
  double a_ = 1, b_ = 0, c_ = 0, d_ = 0, e_ = 1, f_ = 0, g_ = 0, h_ = 0;
};

}  // namespace lumarex
