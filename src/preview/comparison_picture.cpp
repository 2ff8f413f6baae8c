#include "preview/comparison_picture.h"

namespace lumarex {

namespace {

constexpr uint8_t kGrey = 128;
constexpr int32_t kMarkerHalfSide = 200;
constexpr int32_t kDividerReach = 40000;

inline bool IsLit(const ShowPoint& p) {
  return p.Visible != 0;
}

void AddMarkers(std::span<const ShowPoint> pts, int32_t shift, bool lit, DrawList& out) {
  Vertex* w =
      out.Begin(Primitive::kQuads, 1.0f, false, false, static_cast<uint32_t>(pts.size()) * 4);
  for (const ShowPoint& p : pts) {
    if (IsLit(p) != lit) continue;
    const uint8_t r = lit ? p.R : kGrey;
    const uint8_t g = lit ? p.G : kGrey;
    const uint8_t b = lit ? p.B : kGrey;
    const int32_t x = p.X + shift;
    const int32_t y = p.Y;
    w = Put(w, x - kMarkerHalfSide, y - kMarkerHalfSide, r, g, b);
    w = Put(w, x - kMarkerHalfSide, y + kMarkerHalfSide, r, g, b);
    w = Put(w, x + kMarkerHalfSide, y + kMarkerHalfSide, r, g, b);
    w = Put(w, x + kMarkerHalfSide, y - kMarkerHalfSide, r, g, b);
  }
  out.End(w);
}

// Blanked moves in grey first, then the lit vectors over them in their end points' colours.
void AddSegments(std::span<const ShowPoint> pts, int32_t shift, DrawList& out) {
  for (const bool lit : {false, true}) {
    Vertex* w =
        out.Begin(Primitive::kLines, 1.0f, false, false, static_cast<uint32_t>(pts.size()) * 2);
    for (size_t i = 1; i < pts.size(); ++i) {
      const ShowPoint& p = pts[i];
      if (IsLit(p) != lit) continue;
      const ShowPoint& from = pts[i - 1];
      const uint8_t r = lit ? p.R : kGrey;
      const uint8_t g = lit ? p.G : kGrey;
      const uint8_t b = lit ? p.B : kGrey;
      w = Put(w, from.X + shift, from.Y, r, g, b);
      w = Put(w, p.X + shift, p.Y, r, g, b);
    }
    out.End(w);
  }
}

}  // namespace

void BuildComparisonPicture(std::span<const ShowPoint> unoptimised,
                            std::span<const ShowPoint> optimised, DrawList& out) {
  out.Reset(true);
  out.Reserve(static_cast<uint32_t>(unoptimised.size() + optimised.size()) * 6 + 2, 9);
  Vertex* w = out.Begin(Primitive::kLines, 1.0f, false, false, 2);
  w = Put(w, 0, -kDividerReach, kGrey, kGrey, kGrey);
  w = Put(w, 0, kDividerReach, kGrey, kGrey, kGrey);
  out.End(w);
  if (unoptimised.size() <= 1) return;

  AddMarkers(unoptimised, kUnoptimisedShiftX, false, out);
  AddMarkers(optimised, kOptimisedShiftX, false, out);
  AddMarkers(optimised, kOptimisedShiftX, true, out);
  AddMarkers(unoptimised, kUnoptimisedShiftX, true, out);
  AddSegments(unoptimised, kUnoptimisedShiftX, out);
  AddSegments(optimised, kOptimisedShiftX, out);
}

}  // namespace lumarex
