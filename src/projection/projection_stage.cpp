#include "projection/projection_stage.h"

#include <algorithm>
#include <cmath>

namespace lumarex {

namespace {

bool IsLit(const DacPoint& p) {
  return (p.r | p.g | p.b | p.i) != 0;
}

double Clamped(double v, double low, double high) {
  return std::min(std::max(v, low), high);
}

uint16_t FieldUnit(double v) {
  return static_cast<uint16_t>(std::lround(Clamped(v, 0, Projection::kFieldMax)));
}

uint8_t Scaled(uint8_t value, double percent) {
  return static_cast<uint8_t>(std::floor(value * percent / 100.0));
}

// Where segment a-b crosses segment c-d, as the parameter along a-b strictly inside (0, 1).
void AddCrossing(FieldPoint a, FieldPoint b, FieldPoint c, FieldPoint d, std::vector<double>& t) {
  const double rx = b.x - a.x;
  const double ry = b.y - a.y;
  const double sx = d.x - c.x;
  const double sy = d.y - c.y;
  const double denominator = rx * sy - ry * sx;
  if (denominator == 0) return;  // parallel: an edge it runs along cuts nothing
  const double qx = c.x - a.x;
  const double qy = c.y - a.y;
  const double along = (qx * sy - qy * sx) / denominator;
  const double onEdge = (qx * ry - qy * rx) / denominator;
  if (along > 0 && along < 1 && onEdge >= 0 && onEdge <= 1) t.push_back(along);
}

}  // namespace

bool InsidePolygon(const std::vector<FieldPoint>& polygon, FieldPoint p) {
  bool inside = false;
  for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const FieldPoint& a = polygon[i];
    const FieldPoint& b = polygon[j];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
      inside = !inside;
    }
  }
  return inside;
}

bool ProjectionStage::Set(std::optional<Projection> projection) {
  if (!projection) {
    projection_.reset();
    homography_.reset();
    return true;
  }
  const std::optional<Homography> map = Homography::FromCorners(projection->corners);
  if (!map) return false;
  projection_ = std::move(projection);
  homography_ = map;
  boxes_.clear();
  for (const ProjectionMask& mask : projection_->masks) {
    Box box{Projection::kFieldMax, Projection::kFieldMax, 0, 0};
    for (const FieldPoint& v : mask.polygon) {
      box = {std::min(box.x0, v.x), std::min(box.y0, v.y), std::max(box.x1, v.x),
             std::max(box.y1, v.y)};
    }
    boxes_.push_back(box);
  }
  return true;
}

FieldPoint ProjectionStage::Place(const DacPoint& p) const {
  return MapPosition({static_cast<double>(p.x), static_cast<double>(p.y)});
}

FieldPoint ProjectionStage::MapPosition(FieldPoint source) const {
  if (!projection_) return source;
  FieldPoint at = homography_->Map(source);
  if (const std::optional<WarpGrid>& grid = projection_->grid) {
    const double u = source.x / Projection::kFieldMax * (grid->cols - 1);
    const double v = source.y / Projection::kFieldMax * (grid->rows - 1);
    const uint32_t c = std::min(static_cast<uint32_t>(u), grid->cols - 2);
    const uint32_t r = std::min(static_cast<uint32_t>(v), grid->rows - 2);
    const double fu = u - c;
    const double fv = v - r;
    const auto node = [&grid](uint32_t col, uint32_t row) {
      return grid->offsets[static_cast<size_t>(row) * grid->cols + col];
    };
    const FieldPoint n00 = node(c, r), n10 = node(c + 1, r), n01 = node(c, r + 1),
                     n11 = node(c + 1, r + 1);
    at.x += (n00.x * (1 - fu) + n10.x * fu) * (1 - fv) + (n01.x * (1 - fu) + n11.x * fu) * fv;
    at.y += (n00.y * (1 - fu) + n10.y * fu) * (1 - fv) + (n01.y * (1 - fu) + n11.y * fu) * fv;
  }
  return {Clamped(at.x, 0, Projection::kFieldMax), Clamped(at.y, 0, Projection::kFieldMax)};
}

double ProjectionStage::AllowedPercent(FieldPoint p) const {
  if (const std::optional<SafeArea>& safe = projection_->safeArea;
      safe && (p.x < safe->x0 || p.x > safe->x1 || p.y < safe->y0 || p.y > safe->y1)) {
    return 0;
  }
  double percent = 100;
  for (size_t m = 0; m < boxes_.size(); ++m) {
    if (boxes_[m].Misses(p.x, p.y, p.x, p.y)) continue;
    const ProjectionMask& mask = projection_->masks[m];
    if (InsidePolygon(mask.polygon, p)) percent = std::min(percent, mask.limit.value_or(0.0));
  }
  return percent;
}

bool ProjectionStage::Clear(FieldPoint from, FieldPoint to) const {
  // One unit of margin: rounding may move a point by half a unit onto a box's edge.
  const double x0 = std::min(from.x, to.x) - 1, x1 = std::max(from.x, to.x) + 1;
  const double y0 = std::min(from.y, to.y) - 1, y1 = std::max(from.y, to.y) + 1;
  for (const Box& box : boxes_) {
    if (!box.Misses(x0, y0, x1, y1)) return false;
  }
  const std::optional<SafeArea>& safe = projection_->safeArea;
  return !safe || (x0 >= safe->x0 && x1 <= safe->x1 && y0 >= safe->y0 && y1 <= safe->y1);
}

void ProjectionStage::Crossings(FieldPoint from, FieldPoint to) {
  cuts_.clear();
  for (size_t m = 0; m < boxes_.size(); ++m) {
    if (boxes_[m].Misses(from.x, from.y, to.x, to.y)) continue;
    const std::vector<FieldPoint>& polygon = projection_->masks[m].polygon;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
      AddCrossing(from, to, polygon[j], polygon[i], cuts_);
    }
  }
  const auto inside = [](const SafeArea& a, FieldPoint p) {
    return p.x >= a.x0 && p.x <= a.x1 && p.y >= a.y0 && p.y <= a.y1;
  };
  if (const std::optional<SafeArea>& s = projection_->safeArea;
      s && !(inside(*s, from) && inside(*s, to))) {
    const FieldPoint corners[4] = {{s->x0, s->y0}, {s->x1, s->y0}, {s->x1, s->y1}, {s->x0, s->y1}};
    for (size_t k = 0; k < 4; ++k) AddCrossing(from, to, corners[k], corners[(k + 1) % 4], cuts_);
  }
  std::sort(cuts_.begin(), cuts_.end());
  cuts_.erase(std::unique(cuts_.begin(), cuts_.end()), cuts_.end());
}

void ProjectionStage::Emit(FieldPoint at, const DacPoint& colour, double percent) {
  DacPoint p = colour;
  const std::optional<SafeArea>& safe = projection_->safeArea;
  if (safe && (at.x < safe->x0 || at.x > safe->x1 || at.y < safe->y0 || at.y > safe->y1)) {
    at = {Clamped(at.x, safe->x0, safe->x1), Clamped(at.y, safe->y0, safe->y1)};
    percent = 0;
  }
  last_ = at;
  p.x = FieldUnit(at.x);
  p.y = FieldUnit(at.y);
  // Where rounding puts the point decides too: never more light than that place allows. A
  // point cut on an edge that rounding put on the wrong side goes to the whole unit beside it
  // on the right side, so the light up to the edge is not lost.
  if (IsLit(p) && percent > 0) {
    const auto allowed = [this](double x, double y) {
      return AllowedPercent({std::round(Clamped(x, 0, Projection::kFieldMax)),
                             std::round(Clamped(y, 0, Projection::kFieldMax))});
    };
    double here = allowed(p.x, p.y);
    // The unit itself, then its four neighbours, then the diagonal ones.
    constexpr int kSteps[8][2] = {{-1, 0},  {1, 0},  {0, -1}, {0, 1},
                                  {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    for (const auto& step : kSteps) {
      if (here >= percent) break;
      const double x = p.x + step[0];
      const double y = p.y + step[1];
      if (x < 0 || y < 0 || x > Projection::kFieldMax || y > Projection::kFieldMax) continue;
      if (allowed(x, y) >= percent) {
        p.x = FieldUnit(x);
        p.y = FieldUnit(y);
        here = percent;
      }
    }
    percent = std::min(percent, here);
  }
  if (percent < 100) {
    p.r = Scaled(p.r, percent);
    p.g = Scaled(p.g, percent);
    p.b = Scaled(p.b, percent);
    p.i = Scaled(p.i, percent);
  }
  out_.push_back(p);
}

std::span<const DacPoint> ProjectionStage::Apply(std::span<const DacPoint> in) {
  if (!projection_) return in;
  out_.clear();
  const bool cutting = !projection_->masks.empty() || projection_->safeArea.has_value();
  for (size_t k = 0; k < in.size(); ++k) {
    const DacPoint& point = in[k];
    const FieldPoint at = Place(point);
    // The beam comes from where the last point went (on the safe area's edge, if it was moved).
    const FieldPoint previous = last_;
    if (cutting && Clear(k > 0 ? previous : at, at)) {
      // Far from every mask and inside the safe area: nothing to cut, nothing to dim.
      last_ = at;
      DacPoint p = point;
      p.x = FieldUnit(at.x);
      p.y = FieldUnit(at.y);
      out_.push_back(p);
      continue;
    }
    if (k > 0 && cutting && IsLit(point)) {
      Crossings(previous, at);
      double begin = 0;
      for (const double cut : cuts_) {
        const FieldPoint middle{previous.x + (at.x - previous.x) * (begin + cut) / 2,
                                previous.y + (at.y - previous.y) * (begin + cut) / 2};
        const FieldPoint edge{previous.x + (at.x - previous.x) * cut,
                              previous.y + (at.y - previous.y) * cut};
        Emit(edge, point, AllowedPercent(middle));
        begin = cut;
      }
      const FieldPoint middle{previous.x + (at.x - previous.x) * (begin + 1) / 2,
                              previous.y + (at.y - previous.y) * (begin + 1) / 2};
      Emit(at, point, AllowedPercent(middle));
    } else {
      Emit(at, point, cutting ? AllowedPercent(at) : 100.0);
    }
  }
  return out_;
}

}  // namespace lumarex
