#pragma once

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "output/dac_point.h"
#include "projection/homography.h"
#include "projection/projection.h"

namespace lumarex {

// Applies a projection to the DacPoint list of one output, after its calibration:
// 1. every point is moved by the corner pinning and the warp grid (and kept in the field);
// 2. every lit segment (a point and the one before it, lit when its end is lit) is cut where it
//    crosses an edge of a mask, a zone or the safe area, points inserted on the edge, so that
//    each piece lies wholly inside or outside each of them: pieces inside a blank mask are
//    blanked, pieces in limit zones are scaled to the lowest limit among them, pieces outside
//    the safe area end on its edge, blanked;
// 3. a lit point that rounding put inside a mask or zone is blanked or scaled by where it is.
// A point inside a blank mask stays where it is, blanked. Without a projection set, the list
// is left as it is. The output buffer keeps its size between frames, so a steady show
// allocates nothing. Any thread, one stage per output.
class ProjectionStage {
 public:
  // None: no projection (the list passes unchanged). False, with the stage as it was, when
  // the corners do not form a convex quadrilateral.
  bool Set(std::optional<Projection> projection);
  const std::optional<Projection>& Get() const { return projection_; }

  // The projected list of `in`; `in` itself when no projection is set.
  std::span<const DacPoint> Apply(std::span<const DacPoint> in);
  // Where corner pinning and warp put a position of the field (the identity without a
  // projection), before any mask or the safe area.
  FieldPoint MapPosition(FieldPoint source) const;

 private:
  // The colour a piece of light at `p` may have: none inside a blank mask or outside the
  // safe area, else the lowest limit of the zones it is in (100 outside all).
  double AllowedPercent(FieldPoint p) const;
  // Where corner pinning and warp put each point of `in`, into `at`, and the whole units it
  // is written at, into `units`.
  struct Unit {
    uint16_t x, y;
  };
  void Place(std::span<const DacPoint> in, FieldPoint* at, Unit* units) const;
  void Emit(FieldPoint at, const DacPoint& colour, double percent);
  void Crossings(FieldPoint from, FieldPoint to);
  // Emits lit segment from-to cut at the edges, with room made for `later` points after it.
  void Cut(FieldPoint from, FieldPoint to, const DacPoint& colour, size_t later);
  // The segment (with a unit's margin) misses every mask's box and lies in the safe area.
  bool Clear(FieldPoint from, FieldPoint to) const;
  // Classifies the cells of the field against the masks, zones and safe area.
  void ClassifyCells();
  // The level all cells from (col0, row0) to (col1, row1) are at, else kMixed.
  uint8_t UniformLevel(uint32_t col0, uint32_t row0, uint32_t col1, uint32_t row1) const {
    const uint8_t level = cellLevel_[row0 * kCells + col0];
    if (level == kMixed) return kMixed;
    const uint16_t* sums = levelSums_.data() + level * kWide * kWide;
    const uint32_t count = static_cast<uint32_t>(sums[(row1 + 1) * kWide + col1 + 1]) -
                           sums[row0 * kWide + col1 + 1] - sums[(row1 + 1) * kWide + col0] +
                           sums[row0 * kWide + col0];
    return count == (col1 + 1 - col0) * (row1 + 1 - row0) ? level : kMixed;
  }
  // Makes room for `more` points after the `count_` written.
  void Reserve(size_t more);

  struct Box {
    double x0, y0, x1, y1;
    bool Misses(double ax, double ay, double bx, double by) const {
      return std::max(ax, bx) < x0 || std::min(ax, bx) > x1 || std::max(ay, by) < y0 ||
             std::min(ay, by) > y1;
    }
  };

  std::optional<Projection> projection_;
  std::optional<Homography> homography_;
  std::vector<Box> boxes_;  // each mask's bounding box: most points miss every mask

  // The field in square cells. A cell no edge of a mask, zone or the safe area comes near
  // (within a margin) has one allowed percent all over it, the one AllowedPercent gives. A
  // segment within cells of one percent, in the safe area, needs no cutting.
  static constexpr int kCellShift = 9;
  static constexpr size_t kCells = 65536 >> kCellShift;
  static constexpr size_t kWide = kCells + 1;
  static constexpr uint8_t kMixed = 255;
  // The cells (kCells x kCells, row by row) in the safe area by their percent: its index in
  // levels_, or kMixed near an edge or outside; and for each level, a summed-area table (kWide x
  // kWide) of the cells at it.
  std::vector<uint8_t> cellLevel_;
  std::vector<double> levels_;
  // For each cell at a level, the half side of the square of cells around it all at that
  // level: a segment from it to a cell within that square needs no further look.
  std::vector<uint8_t> cellReach_;
  std::vector<uint16_t> levelSums_;
  std::vector<uint8_t> levelScales_;  // each level's 256 colour values, dimmed to it
  uint8_t clearLevel_ = kMixed;       // the level at 100 %

  std::vector<DacPoint> out_;  // never shrinks; the first count_ are the list
  size_t count_ = 0;
  std::vector<double> cuts_;
  FieldPoint last_;  // where the last point emitted went, before rounding
};

// Whether `p` lies inside `polygon` (even-odd rule; on an edge counts as either).
bool InsidePolygon(const std::vector<FieldPoint>& polygon, FieldPoint p);

}  // namespace lumarex
