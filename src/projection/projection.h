#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumarex {

// A point in DAC units (0..65535 on both axes), as doubles for the geometry.
struct FieldPoint {
  double x = 0;
  double y = 0;
  friend bool operator==(const FieldPoint&, const FieldPoint&) = default;
};

// Offsets added after corner pinning, given at the nodes of a cols x rows grid laid over the
// DAC field (node (c, r) at c / (cols - 1), r / (rows - 1) of its width and height), row by
// row, and interpolated bilinearly between them.
struct WarpGrid {
  uint32_t cols = 2;
  uint32_t rows = 2;
  std::vector<FieldPoint> offsets;  // cols * rows of them
  friend bool operator==(const WarpGrid&, const WarpGrid&) = default;
};

// A polygon where the light lands: a blank mask (no light at all) or, with a limit, a zone
// where colour and intensity are scaled to at most `limit` percent.
struct ProjectionMask {
  std::vector<FieldPoint> polygon;  // three vertices or more
  std::optional<double> limit;      // percent, 0..100
  friend bool operator==(const ProjectionMask&, const ProjectionMask&) = default;
};

// The rectangle the beam never leaves: x0 <= x <= x1, y0 <= y <= y1.
struct SafeArea {
  double x0 = 0;
  double y0 = 0;
  double x1 = 65535;
  double y1 = 65535;
  friend bool operator==(const SafeArea&, const SafeArea&) = default;
};

// How an output's DacPoint list is fitted to its surface, after the calibration. The corners
// are where the DAC field's corners (0,0), (65535,0), (65535,65535), (0,65535) land; masks,
// zones and the safe area are given where the light lands (after corners and warp).
struct Projection {
  static constexpr double kFieldMax = 65535;
  static constexpr uint32_t kMaxGrid = 9;

  std::array<FieldPoint, 4> corners = {FieldPoint{0, 0}, FieldPoint{kFieldMax, 0},
                                       FieldPoint{kFieldMax, kFieldMax}, FieldPoint{0, kFieldMax}};
  std::optional<WarpGrid> grid;
  std::vector<ProjectionMask> masks;
  std::optional<SafeArea> safeArea;
  friend bool operator==(const Projection&, const Projection&) = default;
};

}  // namespace lumarex
