#include "optimiser/frame_statistics.h"

#include <cmath>
#include <cstdio>

#include "optimiser/path_distance.h"

namespace lumarex {

uint32_t MeasuredMove(int32_t xp, int32_t yp, int32_t x, int32_t y) {
  const int64_t dx = xp / 4 - x / 4;
  const int64_t dy = yp / 4 - y / 4;
  return RoundedSqrt(static_cast<uint64_t>(dx * dx + dy * dy)) * 4u;
}

namespace {

void Count(FrameMeasure& m, const ShowPoint& p, uint32_t length) {
  if (p.Visible != 0) {
    m.litUnits += length;
    ++m.litPoints;
  } else {
    m.blankedUnits += length;
    ++m.blankedPoints;
  }
}

}  // namespace

FrameMeasure MeasureUnoptimised(const ShowStore& store, uint32_t frame) {
  FrameMeasure m;
  if (frame >= ShowStore::kSlotCount) return m;
  std::span<const ShowPoint> points = store.Frame(frame);
  if (points.empty() && !store.FramePoints[frame].empty()) {
    points = std::span<const ShowPoint>(store.FramePoints[frame]).first(1);
  }
  for (size_t i = 0; i < points.size(); ++i) {
    const uint32_t d =
        i == 0 ? 0 : MeasuredMove(points[i - 1].X, points[i - 1].Y, points[i].X, points[i].Y);
    Count(m, points[i], d);
  }
  return m;
}

FrameMeasure MeasureOptimised(std::span<const ShowPoint> optimised) {
  FrameMeasure m;
  for (size_t i = 1; i < optimised.size(); ++i) {
    const ShowPoint& a = optimised[i - 1];
    const ShowPoint& b = optimised[i];
    Count(m, b, MeasuredMove(a.X, a.Y, b.X, b.Y));
  }
  return m;
}

std::string FormatFixed(long double value, int decimals, int maxIntegerDigits, char separator) {
  char text[64];
  const long double scale = std::pow(10.0L, decimals);
  const long double rounded = std::round(value * scale) / scale;
  if (std::fabs(rounded) < std::pow(10.0L, maxIntegerDigits)) {
    std::snprintf(text, sizeof text, "%.*Lf", decimals, rounded);
  } else {
    std::snprintf(text, sizeof text, "%.*LE", maxIntegerDigits - 1, value);
    // The exponent without the zeros the C library pads it with, but at least `decimals`
    // digits, as the panel has always shown it.
    std::string s = text;
    const size_t e = s.find('E');
    if (e != std::string::npos && e + 2 < s.size()) {
      std::string digits = s.substr(e + 2);
      while (digits.size() > static_cast<size_t>(std::max(decimals, 1)) && digits[0] == '0') {
        digits.erase(0, 1);
      }
      s = s.substr(0, e + 2) + digits;
    }
    for (char& c : s) {
      if (c == '.') c = separator;
    }
    return s;
  }
  std::string s = text;
  for (char& c : s) {
    if (c == '.') c = separator;
  }
  return s;
}

void DrawStatisticsFrame(StatusImage& panel, uint16_t frameCount) {
  panel.Fill(kColourGrey);
  panel.BrushColour = kColourGrey;
  panel.FontColour = kColourBlack;
  panel.TextOut(5, 1, "Ges. Frames :" + std::to_string(frameCount > 0 ? frameCount - 1 : 0));
  panel.TextOut(120, 1, "Frame Nr :                Pfade :");
  panel.TextOut(105, 12, "> Orginal Frame <");
  panel.TextOut(220, 12, "> Optimiertes Frame <");
  const char* titles[] = {"Vektoren", "Summe Vektoren", "Hellphase Points", "25K Time je Frame"};
  const char* units[] = {"Stck", "m", "%", "mSek"};
  for (int row = 0; row < 4; ++row) {
    const int32_t y = 27 + row * 13;
    panel.TextOut(10, y, titles[row]);
    panel.TextOut(160, y, units[row]);
    panel.TextOut(290, y, units[row]);
    panel.TextOut(110, y, ":");
    panel.TextOut(210, y, "/");
  }
}

namespace {

std::string PointLine(const FrameMeasure& m) {
  return "S:" + std::to_string(m.litPoints) + "   B:" + std::to_string(m.blankedPoints) + "      ";
}

void DrawSharedRows(StatusImage& panel, int32_t x, uint16_t lastIndex, const FrameMeasure& m,
                    char separator) {
  panel.TextOut(x, 40,
                FormatFixed((m.LitLength() + m.BlankedLength()) / 100, 2, 5, separator) + "  ");
  panel.TextOut(
      x, 66,
      FormatFixed(static_cast<long double>(FrameTimeTenths(lastIndex)) / 10, 1, 3, separator) +
          "  ");
  panel.TextOut(x, 80, PointLine(m));
}

long double LitPercent(const FrameMeasure& m) {
  return static_cast<long double>(m.litPoints) / static_cast<long double>(m.Points()) * 100;
}

}  // namespace

void DrawOptimisedColumn(StatusImage& panel, uint16_t pathCount, uint16_t lastIndex,
                         const FrameMeasure& m, char separator) {
  panel.BrushColour = kColourGrey;
  panel.TextOut(255, 1, std::to_string(pathCount) + "    ");
  panel.TextOut(250, 27, std::to_string(lastIndex) + "     ");
  DrawSharedRows(panel, 250, lastIndex, m, separator);
  if (lastIndex == 0 || m.Points() == 0) {
    panel.TextOut(250, 53, "0,0  ");
  } else {
    panel.TextOut(250, 53, FormatFixed(LitPercent(m), 1, 5, separator) + "  ");
  }
}

void DrawUnoptimisedColumn(StatusImage& panel, uint32_t frame, uint16_t lastIndex,
                           const FrameMeasure& m, char separator) {
  panel.BrushColour = kColourGrey;
  const char* pad = lastIndex < 10      ? "        "
                    : lastIndex < 100   ? "     "
                    : lastIndex < 1000  ? "   "
                    : lastIndex < 10000 ? "  "
                                        : "";
  panel.TextOut(170, 1, std::to_string(frame) + "      ");
  if (lastIndex == 0 || m.Points() == 0) {
    panel.TextOut(120, 27, std::string("0      ") + pad);
    panel.TextOut(120, 53, "0,0    ");
  } else {
    panel.TextOut(120, 27, std::to_string(m.Points()) + pad);
    panel.TextOut(120, 53, FormatFixed(LitPercent(m), 1, 3, separator) + "  ");
  }
  DrawSharedRows(panel, 120, lastIndex, m, separator);
}

}  // namespace lumarex
