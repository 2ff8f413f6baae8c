#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace lumarex {

// The square root of s rounded to the nearest integer. The root of an integer is never
// exactly halfway between two integers, so there is no tie to break; the double root is
// exact enough to floor for any s below 2^52, and the integer correction does the rounding.
inline uint32_t RoundedSqrt(uint64_t s) {
  uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<double>(s)));
  // Guards against the double root landing one off for large s.
  while (r * r > s) --r;
  while ((r + 1) * (r + 1) <= s) ++r;
  // sqrt(s) >= r + 0.5  <=>  s >= r*r + r + 0.25  <=>  s - r*r > r for integers.
  return static_cast<uint32_t>(s - r * r > r ? r + 1 : r);
}

// The squared measure behind PathDistance, before the root.
inline uint32_t PathDistanceSquared(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
  const uint32_t dx = static_cast<uint32_t>(std::abs(ax - bx)) / 4u;
  const uint32_t dy = static_cast<uint32_t>(std::abs(ay - by)) / 4u;
  // At most 2 * 16383^2, so the sum stays within 32 bits.
  return dx * dx + dy * dy;
}

// The distance measure of the path ordering, in units of four coordinate steps: each axis
// difference is divided by 4 before squaring, so endpoints closer than 4 units in both axes
// are at distance 0. At most 23169.
inline uint16_t PathDistance(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
  return static_cast<uint16_t>(RoundedSqrt(PathDistanceSquared(ax, ay, bx, by)));
}

// The largest squared measure whose distance is still d: round(sqrt(s)) <= d  <=>
// s <= d*d + d.
constexpr uint32_t MaxSquaredForDistance(uint32_t d) {
  return d * d + d;
}

}  // namespace lumarex
