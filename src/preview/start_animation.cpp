#include "preview/start_animation.h"

#include <cmath>
#include <numbers>

namespace lumarex {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;
constexpr long double kSphereRadius = 30000.0L;
constexpr float kBallLineWidth = 2.0f;

// Truncation toward zero into 16 bits; the ball's radius keeps every value in range.
inline int16_t Truncate16(long double value) {
  return static_cast<int16_t>(static_cast<int32_t>(std::trunc(value)));
}

inline long double Radians(long double degrees) {
  return degrees / 360.0L * 2.0L * kPi;
}

}  // namespace

// Ramps of twelve steps along the ladder 0, 21, 42, 63, 84, 105, 128, 149, 170, 191, 212, 243,
// 255, with the blue of two ramps stepped by hand; entries 34 and 106 have always been off
// the ladder and the projectors' operators know the ball this way.
const std::array<RgbColour, 128> SphereColours = {{
    {255, 255, 255}, {255, 243, 255}, {255, 212, 255}, {255, 191, 255},  // 0
    {255, 170, 255}, {255, 149, 255}, {255, 128, 255}, {255, 105, 255},  // 4
    {255, 84, 255},  {255, 63, 255},  {255, 42, 255},  {255, 21, 255},   // 8
    {255, 0, 255},   {243, 0, 255},   {212, 0, 255},   {191, 0, 255},    // 12
    {170, 0, 255},   {149, 0, 255},   {128, 0, 255},   {105, 0, 255},    // 16
    {84, 0, 255},    {63, 0, 255},    {42, 0, 255},    {21, 0, 255},     // 20
    {0, 0, 255},     {0, 21, 255},    {0, 42, 255},    {0, 63, 255},     // 24
    {0, 84, 255},    {0, 105, 255},   {0, 128, 255},   {0, 149, 255},    // 28
    {0, 170, 255},   {0, 191, 255},   {0, 210, 255},   {0, 243, 255},    // 32
    {0, 255, 255},   {21, 255, 244},  {42, 255, 234},  {63, 255, 224},   // 36
    {84, 255, 213},  {105, 255, 203}, {128, 255, 192}, {149, 255, 182},  // 40
    {170, 255, 170}, {191, 255, 160}, {212, 255, 149}, {243, 255, 139},  // 44
    {255, 255, 128}, {255, 243, 128}, {255, 212, 128}, {255, 191, 128},  // 48
    {255, 170, 128}, {255, 149, 128}, {255, 128, 128}, {255, 105, 128},  // 52
    {255, 84, 128},  {255, 63, 128},  {255, 42, 128},  {255, 21, 128},   // 56
    {255, 0, 128},   {243, 0, 128},   {212, 0, 128},   {191, 0, 128},    // 60
    {170, 0, 128},   {149, 0, 128},   {128, 0, 128},   {105, 0, 128},    // 64
    {84, 0, 128},    {63, 0, 128},    {42, 0, 128},    {21, 0, 128},     // 68
    {0, 0, 128},     {0, 21, 118},    {0, 42, 105},    {0, 63, 95},      // 72
    {0, 84, 84},     {0, 105, 74},    {0, 128, 64},    {0, 149, 53},     // 76
    {0, 170, 42},    {0, 191, 31},    {0, 212, 21},    {0, 243, 11},     // 80
    {0, 255, 0},     {21, 255, 0},    {42, 255, 0},    {63, 255, 0},     // 84
    {84, 255, 0},    {105, 255, 0},   {128, 255, 0},   {149, 255, 0},    // 88
    {170, 255, 0},   {191, 255, 0},   {212, 255, 0},   {243, 255, 0},    // 92
    {255, 255, 0},   {255, 243, 0},   {255, 212, 0},   {255, 191, 0},    // 96
    {255, 170, 0},   {255, 149, 0},   {255, 128, 0},   {255, 105, 0},    // 100
    {255, 84, 0},    {255, 63, 0},    {255, 48, 0},    {255, 21, 0},     // 104
    {255, 0, 0},     {243, 0, 0},     {212, 0, 0},     {191, 0, 0},      // 108
    {170, 0, 0},     {149, 0, 0},     {128, 0, 0},     {105, 0, 0},      // 112
    {84, 0, 0},      {63, 21, 21},    {42, 42, 42},    {63, 63, 63},     // 116
    {84, 84, 84},    {105, 105, 105}, {128, 128, 128}, {149, 149, 149},  // 120
    {170, 170, 170}, {191, 191, 191}, {212, 212, 212}, {243, 243, 243},  // 124
}};

SphereTable BuildSphereTable() {
  SphereTable table{};
  for (uint32_t i = 1; i <= kSpherePoints; ++i) {
    const long double a = static_cast<long double>(i) * kPi / 1440.0L - kPi / 2.0L;
    const long double r = kSphereRadius * std::cos(a);
    table[i].X = Truncate16(kSphereRadius * std::sin(a));
    table[i].Y = Truncate16(r * std::sin(48.0L * a));
    table[i].Z = Truncate16(r * std::cos(48.0L * a));
  }
  return table;
}

uint32_t SphereColourIndex(uint32_t i) {
  return static_cast<uint32_t>(std::nearbyint(static_cast<double>(i) / 11.3));
}

int32_t TiltFromPointer(int32_t d) {
  if (d < 0) return 90;
  if (d >= kSteeringStripHeight) return -90;
  // Quarter steps, so the halves round to even exactly.
  return -static_cast<int32_t>(std::nearbyint(static_cast<double>(d - 340) / 4.0));
}

StartAnimation::StartAnimation() : table_(BuildSphereTable()) {}

void StartAnimation::AnimationStep(uint16_t angle, int32_t tilt, DrawList& out) {
  const long double a = Radians(angle);
  const long double b = Radians(tilt);
  const long double sinA = std::sin(a);
  const long double cosA = std::cos(a);
  const long double sinB = std::sin(b);
  const long double cosB = std::cos(b);
  for (uint32_t i = 1; i <= kSpherePoints; ++i) {
    const long double x = table_[i].X;
    const long double y = table_[i].Y;
    const long double z = table_[i].Z;
    const long double t1 = -x * cosA - z * sinA;
    const long double t2 = -x * sinA + z * cosA;
    const long double t3 = y * cosB - t1 * sinB;
    // The tilt turns the ball a second time about another axis; that is the ball's look.
    rotated_[i].X = Truncate16(t1 * cosB + y * sinB);
    rotated_[i].Y = Truncate16(t2 * sinB + t3 * cosB);
    rotated_[i].Z = Truncate16(t2 * cosB - t3 * sinB);
  }

  out.Reset(true);
  out.Reserve(2 * kSpherePoints, 1);
  Vertex* w = out.Begin(Primitive::kLines, kBallLineWidth, false, false, 2 * kSpherePoints);
  for (uint32_t i = 2; i <= kSpherePoints; ++i) {
    const SpherePoint& p = rotated_[i];
    if (p.Z <= 0) continue;  // the back half stays hidden
    const RgbColour& c = SphereColours[SphereColourIndex(i)];
    const SpherePoint& from = rotated_[i - 1];
    w = Put(w, from.X, from.Y, c.R, c.G, c.B);
    w = Put(w, p.X, p.Y, c.R, c.G, c.B);
  }
  out.End(w);
}

uint32_t StartAnimation::StagePoints(std::span<SequencePoint> staged) const {
  if (staged.size() < kSpherePoints) return 0;
  for (uint32_t i = 1; i <= kSpherePoints; ++i) {
    const SpherePoint& p = rotated_[i];
    SequencePoint& s = staged[i - 1];
    s.x = p.X;
    s.y = p.Y;
    // Dark at the back and at both ends, so the laser's picture starts and ends blanked.
    if (p.Z < 0 || i < 3 || i > 1437) {
      s.r = s.g = s.b = s.i = 0;
      continue;
    }
    const RgbColour& c = SphereColours[SphereColourIndex(i)];
    s.r = c.R;
    s.g = c.G;
    s.b = c.B;
    s.i = 255;
  }
  return kSpherePoints;
}

}  // namespace lumarex
