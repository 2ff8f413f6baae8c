#include "preview/frame_picture.h"

#include <array>
#include <span>

namespace lumarex {

namespace {

constexpr std::array<std::string_view, kPreviewModeCount> kModeLabels = {
    "Grafik Show               ", "Beam Show 3D              ", "Beam Show Real            ",
    "Seziermodus               ", "ML - Effekt               ",
};

constexpr int32_t kGraphicHalfSide = 80;
constexpr int32_t kDissectionHalfSide = 120;
constexpr uint8_t kGrey = 128;
constexpr uint8_t kBeamAlpha = 64;
constexpr uint8_t kSheetAlpha = 128;

// Lit as the output transform takes it: any flag but 0.
inline bool IsVisible(const ShowPoint& p) {
  return p.Visible != 0;
}

// Corners in the order the squares have always been drawn: lower left, upper left, upper
// right, lower right.
inline Vertex* PutSquare(Vertex* w, const ShowPoint& p, int32_t half, uint8_t r, uint8_t g,
                         uint8_t b) {
  const int32_t x = p.X;
  const int32_t y = p.Y;
  w = Put(w, x - half, y - half, r, g, b);
  w = Put(w, x - half, y + half, r, g, b);
  w = Put(w, x + half, y + half, r, g, b);
  return Put(w, x + half, y - half, r, g, b);
}

inline Vertex* PutLine(Vertex* w, const ShowPoint& from, const ShowPoint& to, uint8_t r, uint8_t g,
                       uint8_t b) {
  w = Put(w, from.X, from.Y, r, g, b);
  return Put(w, to.X, to.Y, r, g, b);
}

uint32_t Count(std::span<const ShowPoint> pts) {
  return static_cast<uint32_t>(pts.size());
}

void DrawGraphic(std::span<const ShowPoint> pts, DrawList& out) {
  const size_t last = pts.size() - 1;
  Vertex* w = out.Begin(Primitive::kLines, 1.0f, false, false, 2 * Count(pts));
  for (size_t k = 1; k <= last; ++k) {
    const ShowPoint& p = pts[k];
    if (IsVisible(p)) w = PutLine(w, pts[k - 1], p, p.R, p.G, p.B);
  }
  out.End(w);
  w = out.Begin(Primitive::kQuads, 1.0f, false, false, 4 * Count(pts));
  for (const ShowPoint& p : pts) {
    if (IsVisible(p)) w = PutSquare(w, p, kGraphicHalfSide, p.R, p.G, p.B);
  }
  out.End(w);
}

void DrawDissection(std::span<const ShowPoint> pts, DrawList& out) {
  const size_t last = pts.size() - 1;
  // Each square is a primitive of its own, blanked ones first so that lit points lie on top.
  // With the lit points counted, one pass writes both groups in their places.
  uint32_t litCount = 0;
  for (const ShowPoint& p : pts) litCount += IsVisible(p) ? 1u : 0u;
  Vertex* const squares = out.Begin(Primitive::kQuads, 1.0f, false, false, 4 * Count(pts));
  Vertex* grey = squares;
  Vertex* lit = squares + 4 * (Count(pts) - litCount);
  for (const ShowPoint& p : pts) {
    if (IsVisible(p)) {
      lit = PutSquare(lit, p, kDissectionHalfSide, p.R, p.G, p.B);
    } else {
      grey = PutSquare(grey, p, kDissectionHalfSide, kGrey, kGrey, kGrey);
    }
  }
  out.End(lit, 4);
  Vertex* w = out.Begin(Primitive::kLines, 1.0f, false, false, 2 * Count(pts));
  for (size_t k = 1; k <= last; ++k) {
    if (!IsVisible(pts[k])) w = PutLine(w, pts[k - 1], pts[k], kGrey, kGrey, kGrey);
  }
  for (size_t k = 1; k <= last; ++k) {
    const ShowPoint& p = pts[k];
    if (IsVisible(p)) w = PutLine(w, pts[k - 1], p, p.R, p.G, p.B);
  }
  out.End(w);
}

// The beam colours' divisors are 1 or 128; on bytes that is a shift by 0 or 7.
struct BeamColours {
  uint8_t sourceShift;
  uint8_t endShift;
};

// Where a show point lands in the beam picture: twice as large, shifted down so that the
// beams fan out from a source above the centre.
inline int32_t BeamX(const ShowPoint& p) {
  return 2 * int32_t{p.X};
}
inline int32_t BeamY(const ShowPoint& p) {
  return 2 * int32_t{p.Y} - 10000;
}

inline Vertex* PutSource(Vertex* w, const ShowPoint& p, BeamColours c, uint8_t alpha) {
  return Put(w, kBeamSourceX, kBeamSourceY, static_cast<uint8_t>(p.R >> c.sourceShift),
             static_cast<uint8_t>(p.G >> c.sourceShift), static_cast<uint8_t>(p.B >> c.sourceShift),
             alpha);
}

inline Vertex* PutBeamEnd(Vertex* w, const ShowPoint& p, BeamColours c, uint8_t alpha) {
  return Put(w, BeamX(p), BeamY(p), static_cast<uint8_t>(p.R >> c.endShift),
             static_cast<uint8_t>(p.G >> c.endShift), static_cast<uint8_t>(p.B >> c.endShift),
             alpha);
}

inline Vertex* PutBeam(Vertex* w, const ShowPoint& p, BeamColours c) {
  w = PutSource(w, p, c, kBeamAlpha);
  w = PutBeamEnd(w, p, c, kBeamAlpha);
  return PutSource(w, p, c, kBeamAlpha);
}

void DrawBeams(std::span<const ShowPoint> pts, BeamColours c, bool sheets, DrawList& out) {
  const int32_t last = static_cast<int32_t>(pts.size()) - 1;
  // Beams only where the beam stands still long enough to be seen: a lone lit point between
  // blanked ones, or the end of a run of coincident lit points. The run count follows those
  // runs; the look-ahead stops three points before the end, so short frames give no beams.
  Vertex* w = out.Begin(Primitive::kLineStrip, 1.0f, true, true, 3 * Count(pts));
  int32_t run = 0;
  for (int32_t k = 1; k <= last - 1; ++k) {
    const ShowPoint& p = pts[static_cast<size_t>(k)];
    if (!IsVisible(p)) continue;
    const bool lookAhead = k < last - 2;
    const ShowPoint* next = lookAhead ? &pts[static_cast<size_t>(k + 1)] : nullptr;
    if (!IsVisible(pts[static_cast<size_t>(k - 1)])) {
      run = 1;
      if (lookAhead && !IsVisible(*next)) w = PutBeam(w, p, c);
    }
    if (run != 0 && lookAhead && IsVisible(*next)) {
      run = (next->X == p.X && next->Y == p.Y) ? run + 1 : 0;
    }
    if (run > 1 && lookAhead && !IsVisible(*next)) w = PutBeam(w, p, c);
  }
  out.End(w);
  if (!sheets) return;
  // Light sheets: the fan between the source and each lit vector.
  w = out.Begin(Primitive::kTriangles, 1.0f, true, true, 3 * Count(pts));
  for (size_t k = 0; k + 1 < pts.size(); ++k) {
    const ShowPoint& p = pts[k];
    const ShowPoint& q = pts[k + 1];
    if (!IsVisible(p) || !IsVisible(q)) continue;
    w = PutSource(w, p, c, kSheetAlpha);
    w = PutBeamEnd(w, p, c, kSheetAlpha);
    w = PutBeamEnd(w, q, c, kSheetAlpha);
  }
  out.End(w);
}

}  // namespace

std::string_view PreviewModeLabel(uint8_t mode) {
  return mode < kModeLabels.size() ? kModeLabels[mode] : std::string_view{};
}

bool BuildPreviewPicture(const ShowStore& store, uint16_t n, uint8_t mode, DrawList& out) {
  const uint16_t lastIndex = store.LastPointIndex[n];
  if (store.FrameCount == 0 && lastIndex == 0) {
    out.Reset(false);
    return false;
  }
  out.Reset(true);
  // A slot whose array is shorter than its index (never filled by a reader) draws as empty.
  if (lastIndex == 0 || store.FramePoints[n].size() <= lastIndex) return true;
  const std::span<const ShowPoint> pts(store.FramePoints[n].data(), size_t{lastIndex} + 1);
  // Worst cases: six vertices a point in every mode, and in mode 3 a batch a point.
  out.Reserve(static_cast<uint32_t>(pts.size()) * 6, mode == 3 ? Count(pts) + 1 : 2);
  switch (mode) {
    case 0:
      DrawGraphic(pts, out);
      break;
    case 1:
      DrawBeams(pts, {7, 0}, true, out);
      break;
    case 2:
      DrawBeams(pts, {0, 7}, true, out);
      break;
    case 3:
      DrawDissection(pts, out);
      break;
    case 4:
      DrawBeams(pts, {0, 7}, false, out);
      break;
    default:
      break;
  }
  return true;
}

}  // namespace lumarex
