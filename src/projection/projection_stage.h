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
  FieldPoint Place(const DacPoint& p) const;
  // The colour a piece of light at `p` may have: none inside a blank mask or outside the
  // safe area, else the lowest limit of the zones it is in (100 outside all).
  double AllowedPercent(FieldPoint p) const;
  void Emit(FieldPoint at, const DacPoint& colour, double percent);
  void Crossings(FieldPoint from, FieldPoint to);
  // The segment (with a unit's margin) misses every mask's box and lies in the safe area.
  bool Clear(FieldPoint from, FieldPoint to) const;

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
  std::vector<DacPoint> out_;
  std::vector<double> cuts_;
  FieldPoint last_;  // where the last point emitted went, before rounding
};

// Whether `p` lies inside `polygon` (even-odd rule; on an edge counts as either).
bool InsidePolygon(const std::vector<FieldPoint>& polygon, FieldPoint p);

}  // namespace lumarex
