#include "show/demo_show.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace lumarex {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFieldRadius = 24000.0;

RgbColour Hue(double turns) {
  const double h = (turns - std::floor(turns)) * 6.0;
  const auto channel = [h](double offset) {
    double d = std::fabs(std::fmod(h + offset, 6.0) - 3.0) - 1.0;
    d = std::clamp(d, 0.0, 1.0);
    return static_cast<uint8_t>(std::lround(d * 255.0));
  };
  return {channel(0.0), channel(4.0), channel(2.0)};
}

class FrameBuilder {
 public:
  // A blanked move to (x, y): a few dark points so the scanners settle before the beam opens.
  void MoveTo(double x, double y) {
    for (int i = 0; i < 4; ++i) Add(x, y, {}, false);
  }
  void LineTo(double x, double y, RgbColour c) { Add(x, y, c, true); }
  void Add(double x, double y, RgbColour c, bool lit) {
    ShowPoint p;
    p.X = static_cast<int16_t>(std::lround(std::clamp(x, -32768.0, 32767.0)));
    p.Y = static_cast<int16_t>(std::lround(std::clamp(y, -32768.0, 32767.0)));
    if (lit) {
      p.R = c.R;
      p.G = c.G;
      p.B = c.B;
    }
    p.Visible = lit ? 1 : 0;
    points.push_back(p);
  }
  void Store(ShowStore& store) {
    if (!store.HasRoomForFrame() || points.empty()) return;
    const auto n = static_cast<uint32_t>(points.size());
    std::copy(points.begin(), points.end(), store.NewFrame(n + 1).begin());
    store.CommitFrame(static_cast<uint16_t>(n - 1), FrameTail::kAllReal);
  }

  std::vector<ShowPoint> points;
};

void Polyline(FrameBuilder& f, const std::vector<std::pair<double, double>>& corners, int steps,
              double hueStart, double hueStep) {
  f.MoveTo(corners.front().first, corners.front().second);
  for (size_t c = 1; c < corners.size(); ++c) {
    const auto [x0, y0] = corners[c - 1];
    const auto [x1, y1] = corners[c];
    for (int s = 1; s <= steps; ++s) {
      const double t = static_cast<double>(s) / steps;
      f.LineTo(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t,
               Hue(hueStart + hueStep * static_cast<double>(c - 1)));
    }
  }
}

void TestPattern(ShowStore& store) {
  FrameBuilder f;
  const double r = kFieldRadius;
  Polyline(f, {{-r, -r}, {r, -r}, {r, r}, {-r, r}, {-r, -r}}, 24, 0.0, 0.25);
  Polyline(f, {{-r, -r}, {r, r}}, 32, 0.0, 0.0);
  Polyline(f, {{-r, r}, {r, -r}}, 32, 0.66, 0.0);
  f.MoveTo(r * 0.5, 0);
  for (int s = 1; s <= 96; ++s) {
    const double a = 2 * kPi * s / 96;
    f.LineTo(r * 0.5 * std::cos(a), r * 0.5 * std::sin(a), {0, 255, 0});
  }
  f.Store(store);
}

// A five-pointed star turning about its centre.
void TurningStar(FrameBuilder& f, double turn, double hue) {
  std::vector<std::pair<double, double>> corners;
  for (int k = 0; k <= 10; ++k) {
    const double radius = (k % 2 == 0) ? kFieldRadius : kFieldRadius * 0.4;
    const double a = 2 * kPi * (turn + k / 10.0) + kPi / 2;
    corners.emplace_back(radius * std::cos(a), radius * std::sin(a));
  }
  Polyline(f, corners, 10, hue, 0.1);
}

// A closed outline that morphs from a circle (t = 0) to a square (t = 1).
void CircleToSquare(FrameBuilder& f, double t, double hue) {
  constexpr int kSteps = 160;
  for (int s = 0; s <= kSteps; ++s) {
    const double a = 2 * kPi * s / kSteps;
    const double cx = std::cos(a);
    const double cy = std::sin(a);
    const double squareScale = 1.0 / std::max(std::fabs(cx), std::fabs(cy));
    const double k = kFieldRadius * ((1 - t) + t * squareScale * 0.8);
    if (s == 0) {
      f.MoveTo(k * cx, k * cy);
    } else {
      f.LineTo(k * cx, k * cy, Hue(hue + static_cast<double>(s) / kSteps));
    }
  }
}

void Lissajous(FrameBuilder& f, double phase, double hue) {
  constexpr int kSteps = 300;
  for (int s = 0; s <= kSteps; ++s) {
    const double a = 2 * kPi * s / kSteps;
    const double x = kFieldRadius * std::sin(3 * a + phase);
    const double y = kFieldRadius * std::sin(2 * a);
    if (s == 0) {
      f.MoveTo(x, y);
    } else {
      f.LineTo(x, y, Hue(hue + 0.5 * s / kSteps));
    }
  }
}

}  // namespace

void BuildDemoShow(ShowStore& store) {
  store.ClearShow();
  store.FrameCount = 0;
  store.LoadDefaultPalette();
  TestPattern(store);
  const int starFrames = kDemoScenes[1].frameCount;
  for (int i = 0; i < starFrames; ++i) {
    FrameBuilder f;
    TurningStar(f, static_cast<double>(i) / starFrames, 2.0 * i / starFrames);
    f.Store(store);
  }
  const int morphFrames = kDemoScenes[2].frameCount;
  for (int i = 0; i < morphFrames; ++i) {
    FrameBuilder f;
    const double t = 0.5 - 0.5 * std::cos(2 * kPi * i / morphFrames);
    CircleToSquare(f, t, static_cast<double>(i) / morphFrames);
    f.Store(store);
  }
  const int lissajousFrames = kDemoScenes[3].frameCount;
  for (int i = 0; i < lissajousFrames; ++i) {
    FrameBuilder f;
    Lissajous(f, 2 * kPi * i / lissajousFrames, static_cast<double>(i) / lissajousFrames);
    f.Store(store);
  }
  store.SaveRangeStart = 0;
  store.SaveRangeEnd = store.FrameCount - 1;
}

}  // namespace lumarex
