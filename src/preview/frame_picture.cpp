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
inline void AddSquare(DrawList& out, const ShowPoint& p, int32_t half, uint8_t r, uint8_t g,
                      uint8_t b) {
  const int32_t x = p.X;
  const int32_t y = p.Y;
  out.Add(x - half, y - half, r, g, b);
  out.Add(x - half, y + half, r, g, b);
  out.Add(x + half, y + half, r, g, b);
  out.Add(x + half, y - half, r, g, b);
}

inline void AddLine(DrawList& out, const ShowPoint& from, const ShowPoint& to, uint8_t r, uint8_t g,
                    uint8_t b) {
  out.Add(from.X, from.Y, r, g, b);
  out.Add(to.X, to.Y, r, g, b);
}

void DrawGraphic(std::span<const ShowPoint> pts, DrawList& out) {
  const size_t last = pts.size() - 1;
  out.Begin(Primitive::kLines, 1.0f, false, false);
  for (size_t k = 1; k <= last; ++k) {
    const ShowPoint& p = pts[k];
    if (IsVisible(p)) AddLine(out, pts[k - 1], p, p.R, p.G, p.B);
  }
  out.End();
  out.Begin(Primitive::kQuads, 1.0f, false, false);
  for (const ShowPoint& p : pts) {
    if (IsVisible(p)) AddSquare(out, p, kGraphicHalfSide, p.R, p.G, p.B);
  }
  out.End();
}

void DrawDissection(std::span<const ShowPoint> pts, DrawList& out) {
  const size_t last = pts.size() - 1;
  // Each square is a primitive of its own, blanked ones first so that lit points lie on top.
  for (const ShowPoint& p : pts) {
    if (IsVisible(p)) continue;
    out.Begin(Primitive::kQuads, 1.0f, false, false);
    AddSquare(out, p, kDissectionHalfSide, kGrey, kGrey, kGrey);
    out.End();
  }
  for (const ShowPoint& p : pts) {
    if (!IsVisible(p)) continue;
    out.Begin(Primitive::kQuads, 1.0f, false, false);
    AddSquare(out, p, kDissectionHalfSide, p.R, p.G, p.B);
    out.End();
  }
  out.Begin(Primitive::kLines, 1.0f, false, false);
  for (size_t k = 1; k <= last; ++k) {
    if (!IsVisible(pts[k])) AddLine(out, pts[k - 1], pts[k], kGrey, kGrey, kGrey);
  }
  for (size_t k = 1; k <= last; ++k) {
    const ShowPoint& p = pts[k];
    if (IsVisible(p)) AddLine(out, pts[k - 1], p, p.R, p.G, p.B);
  }
  out.End();
}

struct BeamColours {
  uint8_t sourceDivisor;
  uint8_t endDivisor;
};

// Where a show point lands in the beam picture: twice as large, shifted down so that the
// beams fan out from a source above the centre.
inline int32_t BeamX(const ShowPoint& p) {
  return 2 * int32_t{p.X};
}
inline int32_t BeamY(const ShowPoint& p) {
  return 2 * int32_t{p.Y} - 10000;
}

inline void AddBeam(DrawList& out, const ShowPoint& p, BeamColours c) {
  const auto sr = static_cast<uint8_t>(p.R / c.sourceDivisor);
  const auto sg = static_cast<uint8_t>(p.G / c.sourceDivisor);
  const auto sb = static_cast<uint8_t>(p.B / c.sourceDivisor);
  out.Add(kBeamSourceX, kBeamSourceY, sr, sg, sb, kBeamAlpha);
  out.Add(BeamX(p), BeamY(p), static_cast<uint8_t>(p.R / c.endDivisor),
          static_cast<uint8_t>(p.G / c.endDivisor), static_cast<uint8_t>(p.B / c.endDivisor),
          kBeamAlpha);
  out.Add(kBeamSourceX, kBeamSourceY, sr, sg, sb, kBeamAlpha);
}

void DrawBeams(std::span<const ShowPoint> pts, BeamColours c, bool sheets, DrawList& out) {
  const int32_t last = static_cast<int32_t>(pts.size()) - 1;
  // Beams only where the beam stands still long enough to be seen: a lone lit point between
  // blanked ones, or the end of a run of coincident lit points. The run count follows those
  // runs; the look-ahead stops three points before the end, so short frames give no beams.
  out.Begin(Primitive::kLineStrip, 1.0f, true, true);
  int32_t run = 0;
  for (int32_t k = 1; k <= last - 1; ++k) {
    const ShowPoint& p = pts[static_cast<size_t>(k)];
    if (!IsVisible(p)) continue;
    const bool lookAhead = k < last - 2;
    const ShowPoint* next = lookAhead ? &pts[static_cast<size_t>(k + 1)] : nullptr;
    if (!IsVisible(pts[static_cast<size_t>(k - 1)])) {
      run = 1;
      if (lookAhead && !IsVisible(*next)) AddBeam(out, p, c);
    }
    if (run != 0 && lookAhead && IsVisible(*next)) {
      run = (next->X == p.X && next->Y == p.Y) ? run + 1 : 0;
    }
    if (run > 1 && lookAhead && !IsVisible(*next)) AddBeam(out, p, c);
  }
  out.End();
  if (!sheets) return;
  // Light sheets: the fan between the source and each lit vector.
  out.Begin(Primitive::kTriangles, 1.0f, true, true);
  for (int32_t k = 0; k <= last - 1; ++k) {
    const ShowPoint& p = pts[static_cast<size_t>(k)];
    const ShowPoint& q = pts[static_cast<size_t>(k + 1)];
    if (!IsVisible(p) || !IsVisible(q)) continue;
    out.Add(kBeamSourceX, kBeamSourceY, static_cast<uint8_t>(p.R / c.sourceDivisor),
            static_cast<uint8_t>(p.G / c.sourceDivisor),
            static_cast<uint8_t>(p.B / c.sourceDivisor), kSheetAlpha);
    out.Add(BeamX(p), BeamY(p), static_cast<uint8_t>(p.R / c.endDivisor),
            static_cast<uint8_t>(p.G / c.endDivisor), static_cast<uint8_t>(p.B / c.endDivisor),
            kSheetAlpha);
    out.Add(BeamX(q), BeamY(q), static_cast<uint8_t>(q.R / c.endDivisor),
            static_cast<uint8_t>(q.G / c.endDivisor), static_cast<uint8_t>(q.B / c.endDivisor),
            kSheetAlpha);
  }
  out.End();
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
  // Worst cases: mode 0 six vertices a point, mode 3 six and a batch, beams and sheets six.
  out.Reserve(static_cast<uint32_t>(pts.size()) * 6 + 8,
              mode == 3 ? static_cast<uint32_t>(pts.size()) + 2 : 4);
  switch (mode) {
    case 0:
      DrawGraphic(pts, out);
      break;
    case 1:
      DrawBeams(pts, {128, 1}, true, out);
      break;
    case 2:
      DrawBeams(pts, {1, 128}, true, out);
      break;
    case 3:
      DrawDissection(pts, out);
      break;
    case 4:
      DrawBeams(pts, {1, 128}, false, out);
      break;
    default:
      break;
  }
  return true;
}

}  // namespace lumarex
