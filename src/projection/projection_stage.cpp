#include "projection/projection_stage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace lumarex {

namespace {

// v / 65535 for every whole unit v of the field, exactly as the division gives it: looked up,
// a point's position costs no division of its own.
const double* FieldFractions() {
  static const std::vector<double> fractions = [] {
    std::vector<double> table(65536);
    for (uint32_t v = 0; v <= 65535; ++v) table[v] = v / Projection::kFieldMax;
    return table;
  }();
  return fractions.data();
}

bool IsLit(const DacPoint& p) {
  return (p.r | p.g | p.b | p.i) != 0;
}

double Clamped(double v, double low, double high) {
  return std::min(std::max(v, low), high);
}

inline uint16_t FieldUnit(double v) {
  const double c = Clamped(v, 0, Projection::kFieldMax);
  if (std::isnan(c)) return static_cast<uint16_t>(std::lround(c));
  // Half away from zero, as std::lround, without the call: whole part and rest are exact.
  const auto whole = static_cast<uint32_t>(c);
  return static_cast<uint16_t>(whole + (c - whole >= 0.5 ? 1u : 0u));
}

// Whether edge a-b comes into the rectangle x0..x1, y0..y1: its box overlaps the rectangle and
// the corners do not all lie on one side of its line. Errs towards yes.
bool EdgeNear(FieldPoint a, FieldPoint b, double x0, double y0, double x1, double y1) {
  if (std::max(a.x, b.x) < x0 || std::min(a.x, b.x) > x1 || std::max(a.y, b.y) < y0 ||
      std::min(a.y, b.y) > y1) {
    return false;
  }
  const auto side = [&](double x, double y) {
    return (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
  };
  const double s[4] = {side(x0, y0), side(x1, y0), side(x1, y1), side(x0, y1)};
  const bool left = s[0] > 0 && s[1] > 0 && s[2] > 0 && s[3] > 0;
  const bool right = s[0] < 0 && s[1] < 0 && s[2] < 0 && s[3] < 0;
  return !left && !right;
}

uint8_t Scaled(uint8_t value, double percent) {
  return static_cast<uint8_t>(std::floor(value * percent / 100.0));
}

// The cell a coordinate of the field falls in, as its column or row (NaN: the first).
uint32_t CellOf(double v, int shift) {
  return static_cast<uint32_t>(v > 0 ? std::min(v, Projection::kFieldMax) : 0.0) >> shift;
}

// Where segment a-b crosses segment c-d, as the parameter along a-b strictly inside (0, 1).
void AddCrossing(FieldPoint a, FieldPoint b, FieldPoint c, FieldPoint d, std::vector<double>& t) {
  const double rx = b.x - a.x;
  const double ry = b.y - a.y;
  const double sx = d.x - c.x;
  const double sy = d.y - c.y;
  double denominator = rx * sy - ry * sx;
  if (denominator == 0) return;  // parallel: an edge it runs along cuts nothing
  const double qx = c.x - a.x;
  const double qy = c.y - a.y;
  double along = qx * sy - qy * sx;
  double onEdge = qx * ry - qy * rx;
  // With a positive denominator (negating all three changes no quotient), an edge whose line
  // does not cross a-b strictly inside it is known before dividing: most are.
  if (denominator < 0) {
    denominator = -denominator;
    along = -along;
    onEdge = -onEdge;
  }
  if (!(along > 0 && along < denominator)) return;
  along /= denominator;
  onEdge /= denominator;
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
  ClassifyCells();
  return true;
}

void ProjectionStage::ClassifyCells() {
  constexpr double kSize = 65536.0 / kCells;
  // Far enough from every edge that rounding a point, and the arithmetic of the cutting and
  // of the polygon test, cannot bring it to the other side.
  constexpr double kMargin = 2;
  const auto low = [](size_t cell) { return static_cast<double>(cell) * kSize - kMargin; };
  const auto high = [](size_t cell) { return static_cast<double>(cell + 1) * kSize + kMargin; };
  const auto cells = [](double from, double to) {
    return std::pair{size_t{CellOf(from - kMargin, kCellShift)},
                     size_t{CellOf(to + kMargin, kCellShift)}};
  };
  std::vector<uint8_t> crossed(kCells * kCells, 0);
  std::vector<uint8_t> outsideSafe(kCells * kCells, 0);
  if (const std::optional<SafeArea>& s = projection_->safeArea) {
    for (size_t row = 0; row < kCells; ++row) {
      for (size_t col = 0; col < kCells; ++col) {
        const double x0 = low(col), x1 = high(col), y0 = low(row), y1 = high(row);
        const bool inside = x0 >= s->x0 && x1 <= s->x1 && y0 >= s->y0 && y1 <= s->y1;
        const bool outside = x1 < s->x0 || x0 > s->x1 || y1 < s->y0 || y0 > s->y1;
        crossed[row * kCells + col] = !inside && !outside;
        outsideSafe[row * kCells + col] = outside;
      }
    }
  }
  for (const ProjectionMask& mask : projection_->masks) {
    const std::vector<FieldPoint>& polygon = mask.polygon;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
      const FieldPoint a = polygon[j], b = polygon[i];
      const auto [col0, col1] = cells(std::min(a.x, b.x), std::max(a.x, b.x));
      const auto [row0, row1] = cells(std::min(a.y, b.y), std::max(a.y, b.y));
      for (size_t row = row0; row <= row1; ++row) {
        for (size_t col = col0; col <= col1; ++col) {
          if (EdgeNear(a, b, low(col), low(row), high(col), high(row))) {
            crossed[row * kCells + col] = 1;
          }
        }
      }
    }
  }
  // A cell no edge comes near lies wholly inside or outside each mask: its centre tells.
  std::vector<double> cellPercent(kCells * kCells, 100.0);
  for (size_t cell = 0; cell < cellPercent.size(); ++cell) {
    if (outsideSafe[cell]) cellPercent[cell] = 0;
  }
  for (size_t m = 0; m < boxes_.size(); ++m) {
    const ProjectionMask& mask = projection_->masks[m];
    const auto [col0, col1] = cells(boxes_[m].x0, boxes_[m].x1);
    const auto [row0, row1] = cells(boxes_[m].y0, boxes_[m].y1);
    for (size_t row = row0; row <= row1; ++row) {
      for (size_t col = col0; col <= col1; ++col) {
        const size_t cell = row * kCells + col;
        const FieldPoint centre{(static_cast<double>(col) + 0.5) * kSize,
                                (static_cast<double>(row) + 0.5) * kSize};
        if (!crossed[cell] && !outsideSafe[cell] && InsidePolygon(mask.polygon, centre)) {
          cellPercent[cell] = std::min(cellPercent[cell], mask.limit.value_or(0.0));
        }
      }
    }
  }
  cellLevel_.assign(kCells * kCells, kMixed);
  levels_.clear();
  for (size_t cell = 0; cell < cellPercent.size(); ++cell) {
    if (crossed[cell]) cellPercent[cell] = std::numeric_limits<double>::quiet_NaN();
    if (crossed[cell] || outsideSafe[cell]) continue;
    const auto known = std::find(levels_.begin(), levels_.end(), cellPercent[cell]);
    if (known == levels_.end() && levels_.size() == kMixed) continue;
    cellLevel_[cell] = static_cast<uint8_t>(known - levels_.begin());
    if (known == levels_.end()) levels_.push_back(cellPercent[cell]);
  }
  // What Emit makes of each colour value at each level.
  clearLevel_ = kMixed;
  levelScales_.assign(levels_.size() * 256, 0);
  for (size_t level = 0; level < levels_.size(); ++level) {
    if (levels_[level] == 100) clearLevel_ = static_cast<uint8_t>(level);
    for (int value = 0; value < 256; ++value) {
      levelScales_[level * 256 + static_cast<size_t>(value)] =
          levels_[level] < 100 ? Scaled(static_cast<uint8_t>(value), levels_[level])
                               : static_cast<uint8_t>(value);
    }
  }
  levelSums_.assign(levels_.size() * kWide * kWide, 0);
  for (size_t level = 0; level < levels_.size(); ++level) {
    uint16_t* sums = levelSums_.data() + level * kWide * kWide;
    for (size_t row = 0; row < kCells; ++row) {
      for (size_t col = 0; col < kCells; ++col) {
        const int here = cellLevel_[row * kCells + col] == level ? 1 : 0;
        sums[(row + 1) * kWide + col + 1] =
            static_cast<uint16_t>(here + sums[row * kWide + col + 1] +
                                  sums[(row + 1) * kWide + col] - sums[row * kWide + col]);
      }
    }
  }
  // How far around each cell (in cells, as the largest square centred on it, cut at the
  // field's edge) every cell has its level; none for a mixed cell.
  cellReach_.assign(kCells * kCells, 0);
  for (size_t row = 0; row < kCells; ++row) {
    for (size_t col = 0; col < kCells; ++col) {
      const uint8_t level = cellLevel_[row * kCells + col];
      if (level == kMixed) continue;
      // The square of the cell before, less a cell, lies in this one's.
      const uint8_t before = col > 0 ? cellReach_[row * kCells + col - 1] : 0;
      uint32_t reach =
          col > 0 && cellLevel_[row * kCells + col - 1] == level && before > 0 ? before - 1u : 0u;
      while (reach + 1 < kCells) {
        const uint32_t r = reach + 1;
        const uint32_t c0 = col >= r ? static_cast<uint32_t>(col) - r : 0;
        const uint32_t r0 = row >= r ? static_cast<uint32_t>(row) - r : 0;
        const uint32_t c1 = std::min<uint32_t>(static_cast<uint32_t>(col) + r, kCells - 1);
        const uint32_t r1 = std::min<uint32_t>(static_cast<uint32_t>(row) + r, kCells - 1);
        if (UniformLevel(c0, r0, c1, r1) != level) break;
        reach = r;
      }
      cellReach_[row * kCells + col] = static_cast<uint8_t>(reach);
    }
  }
}

void ProjectionStage::Reserve(size_t more) {
  if (count_ + more > out_.size()) out_.resize(std::max(count_ + more, 2 * out_.size()));
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
  if (!std::isnan(p.x) && !std::isnan(p.y)) {
    const uint8_t level = cellLevel_[CellOf(p.y, kCellShift) * kCells + CellOf(p.x, kCellShift)];
    if (level != kMixed) return levels_[level];
  }
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
  const std::optional<SafeArea>& safe = projection_->safeArea;
  if (safe && (at.x < safe->x0 || at.x > safe->x1 || at.y < safe->y0 || at.y > safe->y1)) {
    at = {Clamped(at.x, safe->x0, safe->x1), Clamped(at.y, safe->y0, safe->y1)};
    percent = 0;
  }
  last_ = at;
  uint16_t x = FieldUnit(at.x);
  uint16_t y = FieldUnit(at.y);
  // Where rounding puts the point decides too: never more light than that place allows. A
  // point cut on an edge that rounding put on the wrong side goes to the whole unit beside it
  // on the right side, so the light up to the edge is not lost.
  if (IsLit(colour) && percent > 0) {
    const auto allowed = [this](double ax, double ay) {
      return AllowedPercent({std::round(Clamped(ax, 0, Projection::kFieldMax)),
                             std::round(Clamped(ay, 0, Projection::kFieldMax))});
    };
    double here = allowed(x, y);
    // The unit itself, then its four neighbours, then the diagonal ones.
    constexpr int kSteps[8][2] = {{-1, 0},  {1, 0},  {0, -1}, {0, 1},
                                  {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    for (const auto& step : kSteps) {
      if (here >= percent) break;
      const double nx = x + step[0];
      const double ny = y + step[1];
      if (nx < 0 || ny < 0 || nx > Projection::kFieldMax || ny > Projection::kFieldMax) continue;
      if (allowed(nx, ny) >= percent) {
        x = FieldUnit(nx);
        y = FieldUnit(ny);
        here = percent;
      }
    }
    percent = std::min(percent, here);
  }
  // Written in place: a point put together on the stack and copied costs more than the rest.
  DacPoint& p = out_.data()[count_++];
  p = colour;
  p.x = x;
  p.y = y;
  if (percent < 100) {
    p.r = Scaled(colour.r, percent);
    p.g = Scaled(colour.g, percent);
    p.b = Scaled(colour.b, percent);
    p.i = Scaled(colour.i, percent);
  }
}

void ProjectionStage::Cut(FieldPoint from, FieldPoint to, const DacPoint& colour, size_t later) {
  Crossings(from, to);
  Reserve(cuts_.size() + 1 + later);
  double begin = 0;
  for (const double cut : cuts_) {
    const FieldPoint middle{from.x + (to.x - from.x) * (begin + cut) / 2,
                            from.y + (to.y - from.y) * (begin + cut) / 2};
    const FieldPoint edge{from.x + (to.x - from.x) * cut, from.y + (to.y - from.y) * cut};
    Emit(edge, colour, AllowedPercent(middle));
    begin = cut;
  }
  const FieldPoint middle{from.x + (to.x - from.x) * (begin + 1) / 2,
                          from.y + (to.y - from.y) * (begin + 1) / 2};
  Emit(to, colour, AllowedPercent(middle));
}

void ProjectionStage::Place(std::span<const DacPoint> in, FieldPoint* at, Unit* units) const {
  if (projection_->grid) {
    for (size_t k = 0; k < in.size(); ++k) {
      at[k] = MapPosition({static_cast<double>(in[k].x), static_cast<double>(in[k].y)});
      units[k] = {FieldUnit(at[k].x), FieldUnit(at[k].y)};
    }
    return;
  }
  // MapPosition without a grid, written out: no branch, so the divisions of one point overlap
  // the arithmetic of the next.
  const Homography map = *homography_;
  const double* const fraction = FieldFractions();
  for (size_t k = 0; k < in.size(); ++k) {
    const FieldPoint p = map.MapFraction(fraction[in[k].x], fraction[in[k].y]);
    at[k] = {Clamped(p.x, 0, Projection::kFieldMax), Clamped(p.y, 0, Projection::kFieldMax)};
    // FieldUnit without its NaN case: a convex quadrilateral's map has a positive divisor all
    // over the field, so every position is a number.
    const auto wholeX = static_cast<uint32_t>(at[k].x);
    const auto wholeY = static_cast<uint32_t>(at[k].y);
    units[k] = {static_cast<uint16_t>(wholeX + (at[k].x - wholeX >= 0.5 ? 1u : 0u)),
                static_cast<uint16_t>(wholeY + (at[k].y - wholeY >= 0.5 ? 1u : 0u))};
  }
}

std::span<const DacPoint> ProjectionStage::Apply(std::span<const DacPoint> in) {
  if (!projection_) return in;
  count_ = 0;
  Reserve(in.size());  // a point each; the cutting makes room for what it adds
  const bool cutting = !projection_->masks.empty() || projection_->safeArea.has_value();
  // Positions a block at a time, into a buffer that stays in the first level of the cache.
  constexpr size_t kBlock = 256;
  FieldPoint placed[kBlock];
  Unit units[kBlock];
  if (!cutting) {
    DacPoint* const out = out_.data();
    for (size_t first = 0; first < in.size(); first += kBlock) {
      const size_t n = std::min(kBlock, in.size() - first);
      Place(in.subspan(first, n), placed, units);
      for (size_t k = 0; k < n; ++k) {
        DacPoint& p = out[first + k];
        p = in[first + k];
        p.x = units[k].x;
        p.y = units[k].y;
      }
    }
    count_ = in.size();
    if (!in.empty()) last_ = placed[(in.size() - 1) % kBlock];
    return {out_.data(), count_};
  }
  const SafeArea safe = projection_->safeArea.value_or(
      SafeArea{-Projection::kFieldMax, -Projection::kFieldMax, 2 * Projection::kFieldMax,
               2 * Projection::kFieldMax});
  // In locals: the compiler cannot tell the colour bytes written from the stage's members.
  const uint8_t* const scales = levelScales_.data();
  const uint8_t clear = clearLevel_;
  DacPoint* out = out_.data();
  size_t count = 0;
  FieldPoint last = last_;
  uint32_t lastCol = CellOf(last.x, kCellShift);
  uint32_t lastRow = CellOf(last.y, kCellShift);
  for (size_t k = 0; k < in.size(); ++k) {
    if (k % kBlock == 0) Place(in.subspan(k, std::min(kBlock, in.size() - k)), placed, units);
    const DacPoint& point = in[k];
    FieldPoint at = placed[k % kBlock];
    Unit unit = units[k % kBlock];
    const uint32_t col = CellOf(at.x, kCellShift);
    const uint32_t row = CellOf(at.y, kCellShift);
    uint8_t level = clear;
    if (!IsLit(point)) {
      // Dark already: no mask or zone can change it, only the safe area can move it.
      if (at.x < safe.x0 || at.x > safe.x1 || at.y < safe.y0 || at.y > safe.y1) {
        at = {Clamped(at.x, safe.x0, safe.x1), Clamped(at.y, safe.y0, safe.y1)};
        unit = {FieldUnit(at.x), FieldUnit(at.y)};
      }
    } else if (cutting) {
      // The beam comes from where the last point went (on the safe area's edge, if it was
      // moved). Within cells of one percent, far from every edge and inside the safe area,
      // nothing is cut and all of it is dimmed alike; far from every mask's box neither.
      const FieldPoint from = k > 0 ? last : at;
      level = kMixed;
      if (!std::isnan(at.x + at.y + from.x + from.y)) {
        const uint32_t fromCol = k > 0 ? lastCol : col;
        const uint32_t fromRow = k > 0 ? lastRow : row;
        const size_t fromCell = size_t{fromRow} * kCells + fromCol;
        const uint32_t apart = std::max(col > fromCol ? col - fromCol : fromCol - col,
                                        row > fromRow ? row - fromRow : fromRow - row);
        // Mostly the cells around where the beam comes from tell at once.
        level = apart <= cellReach_[fromCell]
                    ? cellLevel_[fromCell]
                    : UniformLevel(std::min(col, fromCol), std::min(row, fromRow),
                                   std::max(col, fromCol), std::max(row, fromRow));
      }
      if (level == kMixed) {
        if (!Clear(from, at)) {
          count_ = count;
          if (k == 0) {
            Emit(at, point, AllowedPercent(at));
          } else {
            Cut(from, at, point, in.size() - k - 1);
          }
          out = out_.data();
          count = count_;
          last = last_;
          lastCol = CellOf(last.x, kCellShift);
          lastRow = CellOf(last.y, kCellShift);
          continue;
        }
        level = clear;
      }
    }
    last = at;
    lastCol = CellOf(at.x, kCellShift);
    lastRow = CellOf(at.y, kCellShift);
    DacPoint& p = out[count++];
    p = point;
    p.x = unit.x;
    p.y = unit.y;
    if (level != clear) {
      const uint8_t* const scale = scales + level * 256;
      p.r = scale[point.r];
      p.g = scale[point.g];
      p.b = scale[point.b];
      p.i = scale[point.i];
    }
  }
  count_ = count;
  last_ = last;
  return {out_.data(), count_};
}

}  // namespace lumarex
