#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "show/show_point.h"

namespace lumarex::test {

inline ShowPoint Blanked(int16_t x, int16_t y, int16_t z = 0) {
  ShowPoint p;
  p.X = x;
  p.Y = y;
  p.Z = z;
  return p;
}

inline ShowPoint Lit(int16_t x, int16_t y, uint8_t r, uint8_t g, uint8_t b, int16_t z = 0) {
  ShowPoint p;
  p.X = x;
  p.Y = y;
  p.Z = z;
  p.R = r;
  p.G = g;
  p.B = b;
  p.Visible = 1;
  return p;
}

// The worked example: a red segment (0,0)-(1000,0) and a green one (20000,0)-(21000,0), each
// preceded by a blanked point at its start.
inline std::vector<ShowPoint> TwoSegmentFrame() {
  return {Blanked(0, 0), Lit(1000, 0, 255, 0, 0), Blanked(20000, 0), Lit(21000, 0, 0, 255, 0)};
}

// How random frames are spread: scattered over the whole field, crowded into a small area
// (many equal distances after the division by 4), or on a coarse lattice (exact ties).
enum class Spread { kField, kCrowded, kLattice };

inline int16_t RandomCoordinate(std::mt19937& rng, Spread spread) {
  switch (spread) {
    case Spread::kField:
      return static_cast<int16_t>(std::uniform_int_distribution<int>(-32768, 32767)(rng));
    case Spread::kCrowded:
      return static_cast<int16_t>(std::uniform_int_distribution<int>(-40, 40)(rng));
    case Spread::kLattice:
      return static_cast<int16_t>(std::uniform_int_distribution<int>(-8, 8)(rng) * 4000);
  }
  return 0;
}

// A frame of `paths` lit paths of 1..maxLength points, each after a blanked point, with
// random colours (so that reversed paths show whether colours stay with their segments).
inline std::vector<ShowPoint> RandomFrame(std::mt19937& rng, int paths, int maxLength,
                                          Spread spread) {
  std::vector<ShowPoint> frame;
  frame.push_back(Blanked(RandomCoordinate(rng, spread), RandomCoordinate(rng, spread)));
  std::uniform_int_distribution<int> length(1, maxLength);
  std::uniform_int_distribution<int> colour(0, 255);
  for (int p = 0; p < paths; ++p) {
    frame.push_back(Blanked(RandomCoordinate(rng, spread), RandomCoordinate(rng, spread)));
    const int n = length(rng);
    for (int i = 0; i < n; ++i) {
      frame.push_back(Lit(RandomCoordinate(rng, spread), RandomCoordinate(rng, spread),
                          static_cast<uint8_t>(colour(rng)), static_cast<uint8_t>(colour(rng)),
                          static_cast<uint8_t>(colour(rng))));
    }
  }
  return frame;
}

}  // namespace lumarex::test
