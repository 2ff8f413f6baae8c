#include "analysis/load_plot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace lumarex {

namespace {

struct Colour {
  uint8_t r, g, b;
};

constexpr Colour kPaper{255, 255, 255};
constexpr Colour kInk{0, 0, 0};
constexpr Colour kGrid{226, 226, 226};
constexpr Colour kLoad{70, 120, 200};
constexpr Colour kOver{215, 35, 35};
constexpr Colour kLimit{150, 0, 0};
constexpr Colour kScanTime{20, 140, 60};

// A 5 x 7 bitmap font of the characters the plot writes, one byte a row, bit 4 leftmost.
struct Glyph {
  char c;
  std::array<uint8_t, 7> rows;
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
};
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kAdvance = kGlyphWidth + 1;

class Canvas {
 public:
  Canvas(int width, int height) {
    image_.width = width;
    image_.height = height;
    image_.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 255);
  }

  void Set(int x, int y, Colour c) {
    if (x < 0 || y < 0 || x >= image_.width || y >= image_.height) return;
    uint8_t* p =
        image_.pixels.data() +
        (static_cast<size_t>(y) * static_cast<size_t>(image_.width) + static_cast<size_t>(x)) * 4;
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = 255;
  }

  void Fill(int x0, int y0, int x1, int y1, Colour c) {
    for (int y = std::min(y0, y1); y <= std::max(y0, y1); ++y) {
      for (int x = std::min(x0, x1); x <= std::max(x0, x1); ++x) Set(x, y, c);
    }
  }

  // Bresenham, both ends drawn; `dash` > 0 leaves gaps of that many pixels between dashes.
  void Line(int x0, int y0, int x1, int y1, Colour c, int dash = 0) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (int n = 0;; ++n) {
      if (dash == 0 || (n / dash) % 2 == 0) Set(x0, y0, c);
      if (x0 == x1 && y0 == y1) break;
      const int e2 = 2 * error;
      if (e2 >= dy) {
        error += dy;
        x0 += sx;
      }
      if (e2 <= dx) {
        error += dx;
        y0 += sy;
      }
    }
  }

  static int TextWidth(std::string_view text, int scale) {
    return text.empty() ? 0 : static_cast<int>(text.size()) * kAdvance * scale - scale;
  }

  // Text with its top left at (x, y); characters the font lacks are left as gaps.
  void Text(int x, int y, std::string_view text, Colour c, int scale = 1) {
    for (const char ch : text) {
      for (const Glyph& g : kFont) {
        if (g.c != ch) continue;
        for (int row = 0; row < kGlyphHeight; ++row) {
          for (int col = 0; col < kGlyphWidth; ++col) {
            if ((g.rows[static_cast<size_t>(row)] >> (kGlyphWidth - 1 - col) & 1) == 0) continue;
            Fill(x + col * scale, y + row * scale, x + col * scale + scale - 1,
                 y + row * scale + scale - 1, c);
          }
        }
      }
      x += kAdvance * scale;
    }
  }

  RgbaImage Take() { return std::move(image_); }

 private:
  RgbaImage image_;
};

// The step of about `ticks` ticks over 0..top: 1, 2 or 5 times a power of ten.
double NiceStep(double top, int ticks) {
  const double raw = std::max(top, 1e-9) / ticks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10.0 * power;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

RgbaImage DrawLoadPlot(const ShowAnalysis& show, int width, int height) {
  width = std::max(width, 200);
  height = std::max(height, 120);
  Canvas canvas(width, height);
  canvas.Fill(0, 0, width - 1, height - 1, kPaper);

  constexpr int kLeft = 64, kRight = 64, kTop = 40, kBottom = 44;
  const int x0 = kLeft, x1 = width - kRight;  // plot columns x0..x1-1
  const int yTop = kTop, yBottom = height - kBottom;
  const int columns = x1 - x0;
  const int rows = yBottom - yTop;

  const size_t frames = show.frames.size();
  double worstLoad = 0, longest = 0;
  for (const FrameAnalysis& f : show.frames) {
    worstLoad = std::max(worstLoad, f.scannerLoad);
    longest = std::max(longest, f.scanTimeMs);
  }
  // The 100 % line always in the picture, with room above the worst frame.
  const double loadStep = NiceStep(std::max(150.0, worstLoad * 1.05), 5);
  const double loadTop = loadStep * std::ceil(std::max(150.0, worstLoad * 1.05) / loadStep);
  const double timeStep = NiceStep(std::max(longest * 1.05, 0.1), 5);
  const double timeTop = timeStep * std::ceil(std::max(longest * 1.05, 0.1) / timeStep);
  const auto loadY = [&](double load) {
    return yBottom - static_cast<int>(std::lround(std::min(load, loadTop) / loadTop * rows));
  };
  const auto timeY = [&](double ms) {
    return yBottom - static_cast<int>(std::lround(std::min(ms, timeTop) / timeTop * rows));
  };

  // Grid and the left axis' numbers.
  for (int k = 0; k * loadStep <= loadTop + 1e-9; ++k) {
    const int y = loadY(k * loadStep);
    if (k > 0) canvas.Line(x0, y, x1 - 1, y, kGrid);
    const std::string label = Number(k * loadStep);
    canvas.Text(x0 - 6 - Canvas::TextWidth(label, 1), y - 3, label, kLoad);
    canvas.Line(x0 - 4, y, x0 - 1, y, kInk);
  }
  for (int k = 0; k * timeStep <= timeTop + 1e-9; ++k) {
    const int y = timeY(k * timeStep);
    canvas.Text(x1 + 6, y - 3, Number(k * timeStep), kScanTime);
    canvas.Line(x1, y, x1 + 3, y, kInk);
  }

  // Each column's highest load and scan time, and whether an over-rated frame is in it; the
  // bars first, the scan time line over them.
  std::vector<int> timeYs;
  for (int c = 0; frames > 0 && c < columns; ++c) {
    const size_t first = static_cast<size_t>(c) * frames / static_cast<size_t>(columns);
    const size_t last =
        std::max(first + 1, static_cast<size_t>(c + 1) * frames / static_cast<size_t>(columns));
    double load = 0, ms = 0;
    bool over = false;
    for (size_t f = first; f < std::min(last, frames); ++f) {
      load = std::max(load, show.frames[f].scannerLoad);
      ms = std::max(ms, show.frames[f].scanTimeMs);
      over |= show.frames[f].overRated;
    }
    const int x = x0 + c;
    const int y = loadY(load);
    if (y < yBottom) canvas.Line(x, yBottom - 1, x, y, over ? kOver : kLoad);
    if (over) canvas.Line(x, yTop - 9, x, yTop - 4, kOver);
    timeYs.push_back(timeY(ms));
  }
  for (size_t c = 1; c < timeYs.size(); ++c) {
    const int x = x0 + static_cast<int>(c);
    canvas.Line(x - 1, timeYs[c - 1], x, timeYs[c], kScanTime);
  }
  // The 100 % line over both.
  const int limitY = loadY(100.0);
  canvas.Line(x0, limitY, x1 - 1, limitY, kLimit, 4);
  canvas.Line(x0, limitY - 1, x1 - 1, limitY - 1, kLimit, 4);
  canvas.Text(x0 + 4, limitY - 11, "100 %", kLimit);

  // Frame numbers along the bottom, at the middle of each numbered frame's columns.
  const double frameStep = NiceStep(static_cast<double>(std::max<size_t>(frames, 1)), 8);
  for (int k = 0; frames > 0 && k * frameStep < static_cast<double>(frames); ++k) {
    const double frame = k * frameStep;
    const int x =
        x0 + static_cast<int>(std::lround((frame + 0.5) / static_cast<double>(frames) * columns));
    const std::string label = Number(frame);
    canvas.Line(x, yBottom + 1, x, yBottom + 4, kInk);
    canvas.Text(x - Canvas::TextWidth(label, 1) / 2, yBottom + 8, label, kInk);
  }

  // Axes, titles.
  canvas.Line(x0 - 1, yTop, x0 - 1, yBottom, kInk);
  canvas.Line(x1, yTop, x1, yBottom, kInk);
  canvas.Line(x0 - 1, yBottom, x1, yBottom, kInk);
  canvas.Text(8, 12, "LOAD %", kLoad, 2);
  canvas.Text(width - 8 - Canvas::TextWidth("SCAN MS", 2), 12, "SCAN MS", kScanTime, 2);
  std::string title = Number(show.kpps) + " KPPS";
  if (show.overRatedFrames > 0) title += "  " + std::to_string(show.overRatedFrames) + " OVER";
  canvas.Text((width - Canvas::TextWidth(title, 2)) / 2, 12, title,
              show.overRatedFrames ? kOver : kInk, 2);
  canvas.Text((width - Canvas::TextWidth("FRAME", 1)) / 2, height - 14, "FRAME", kInk);
  return canvas.Take();
}

}  // namespace lumarex
