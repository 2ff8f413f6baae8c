#include "projection/homography.h"

namespace lumarex {

namespace {

double Cross(FieldPoint o, FieldPoint a, FieldPoint b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

}  // namespace

std::optional<Homography> Homography::FromCorners(const std::array<FieldPoint, 4>& q) {
  // Convex and not folded: every turn the same way, none straight.
  int positive = 0;
  int negative = 0;
  for (size_t k = 0; k < 4; ++k) {
    const double turn = Cross(q[k], q[(k + 1) % 4], q[(k + 2) % 4]);
    if (turn > 0) ++positive;
    if (turn < 0) ++negative;
  }
  if (positive != 4 && negative != 4) return std::nullopt;

  // The square-to-quadrilateral map (Heckbert, "Fundamentals of Texture Mapping", 1989).
  Homography m;
  const double sx = q[0].x - q[1].x + q[2].x - q[3].x;
  const double sy = q[0].y - q[1].y + q[2].y - q[3].y;
  if (sx == 0 && sy == 0) {
    m.a_ = q[1].x - q[0].x;
    m.b_ = q[2].x - q[1].x;
    m.c_ = q[0].x;
    m.d_ = q[1].y - q[0].y;
    m.e_ = q[2].y - q[1].y;
    m.f_ = q[0].y;
    return m;
  }
  const double dx1 = q[1].x - q[2].x;
  const double dx2 = q[3].x - q[2].x;
  const double dy1 = q[1].y - q[2].y;
  const double dy2 = q[3].y - q[2].y;
  const double det = dx1 * dy2 - dx2 * dy1;
  if (det == 0) return std::nullopt;
  m.g_ = (sx * dy2 - dx2 * sy) / det;
  m.h_ = (dx1 * sy - sx * dy1) / det;
  m.a_ = q[1].x - q[0].x + m.g_ * q[1].x;
  m.b_ = q[3].x - q[0].x + m.h_ * q[3].x;
  m.c_ = q[0].x;
  m.d_ = q[1].y - q[0].y + m.g_ * q[1].y;
  m.e_ = q[3].y - q[0].y + m.h_ * q[3].y;
  m.f_ = q[0].y;
  return m;
}

}  // namespace lumarex
