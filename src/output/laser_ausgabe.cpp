#include "output/laser_ausgabe.h"

#include <algorithm>
#include <cstdlib>

namespace lumarex {

namespace {

// The product of a show coordinate and a size factor, truncated toward zero. It is formed in
// extended precision on purpose: the projectors were calibrated with it, and plain double
// rounds some products onto the integer below (-32700 x 0.03 gives -981 instead of -980).
inline int64_t ScaleCoordinate(int64_t value, double scale) {
  return static_cast<int64_t>(static_cast<long double>(value) * static_cast<long double>(scale));
}

inline uint16_t DacCoordinate(int64_t value, double scale, int32_t offset) {
  // The sum wraps modulo 65536, so a window pushed past the edge folds round to the other.
  return static_cast<uint16_t>(static_cast<uint64_t>(ScaleCoordinate(value, scale)) + 32768u +
                               static_cast<uint64_t>(int64_t{offset}));
}

// The axis tables cover the coordinates a staged show frame can produce, negation included.
constexpr int64_t kTableLow = -32768;
constexpr int64_t kTableHigh = 32768;
constexpr size_t kTableSize = static_cast<size_t>(kTableHigh - kTableLow + 1);

// Out of line: the x87 code would otherwise crowd the registers of the per-point loop.
[[gnu::noinline, gnu::cold]] uint16_t DacCoordinateOutsideTable(int64_t value, double scale,
                                                                int32_t offset) {
  return DacCoordinate(value, scale, offset);
}

inline uint16_t MapAxis(const uint16_t* table, int64_t value, double scale, int32_t offset) {
  // One unsigned compare for both ends of the range.
  const auto index = static_cast<uint64_t>(value - kTableLow);
  if (index < kTableSize) [[likely]] {
    return table[index];
  }
  return DacCoordinateOutsideTable(value, scale, offset);
}

inline SequencePoint Blanked(int32_t x, int32_t y) {
  return {x, y, 0, 0, 0, 0};
}

inline bool IsLit(const SequencePoint& p) {
  return p.i != 0;
}

}  // namespace

LaserAusgabe::LaserAusgabe(const ShowStore& store, JMLaser& dac, StatusImage& scanninfo,
                           StatusImage& deviceFenster)
    : store_(store),
      device_(dac),
      scanninfo_(scanninfo),
      deviceFenster_(deviceFenster),
      // for_overwrite: the pages of the worst-case buffers are touched only by frames that
      // need them.
      staged_(std::make_unique_for_overwrite<SequencePoint[]>(kMaxStagedPoints)),
      sequence_(std::make_unique_for_overwrite<SequencePoint[]>(kMaxSequence)),
      dacList_(std::make_unique_for_overwrite<DacPoint[]>(kMaxSequence)) {
  xTable_.values = std::make_unique_for_overwrite<uint16_t[]>(kTableSize);
  yTable_.values = std::make_unique_for_overwrite<uint16_t[]>(kTableSize);
  Scanspeed.SetHint("Scannerspeed");
  Achse_X.SetHint("Size / Offset Scanner X");
  Achse_Y.SetHint("Size / Offset scanner Y ");
  Farbverschiebung.SetHint("Colorshift");
  Extrapoints.SetHint("Extrapoints");
  Scanner_Invers.SetHint("Swap - Invers");
  Rot_to_Laser.SetHint("Regler für rot");
  Gruen_to_Laser.SetHint("Regler für Grün");
  Blau_to_Laser.SetHint("Regler für Blau");
  Dimmen_RGB.SetHint("Gesamtleistungsregler 40-100%");
  Schloss_Zu.SetVisible(false);

  Scanspeed.OnChange([this] { ScanspeedChange(); });
  Achse_X.OnChange([this] { Achse_XChange(); });
  Achse_Y.OnChange([this] { Achse_YChange(); });
  Farbverschiebung.OnChange([this] { FarbverschiebungChange(); });
  Extrapoints.OnChange([this] { ExtrapointsChange(); });
  Scanner_Invers.OnChange([this] { Scanner_InversChange(); });
  Framewechsel.OnClick([this] { FramewechselClick(); });
  Rot_to_Laser.OnChange([this] { Rot_to_LaserChange(); });
  Gruen_to_Laser.OnChange([this] { Gruen_to_LaserChange(); });
  Blau_to_Laser.OnChange([this] { Blau_to_LaserChange(); });
  Dimmen_RGB.OnChange([this] { Dimmen_RGBChange(); });
  Schloss_Auf.OnClick([this] { Schloss_AufClick(); });
  Schloss_Zu.OnClick([this] { Schloss_ZuClick(); });
}

void LaserAusgabe::OutputFrame(uint16_t n) {
  const std::span<const ShowPoint> frame = store_.Frame(n);
  if (frame.empty()) {
    if (store_.FrameCount == 0) return;
    // A dark centre point instead of an empty write, which some DACs take as "stop".
    dacList_[0] = DacPoint{32768, 32768, 0, 0, 0, 0, {0, 0, 0, 0}};
    lastDacCount_ = 1;
    // The rate of the last frame keeps the scanners' pace; before any frame there is none,
    // and a DAC told 0 points per second refuses the frame or stalls, so the control's
    // rate stands in.
    const int32_t rate = ScanSpeedPps > 0 ? ScanSpeedPps : Scanspeed.Position() * 1000;
    lastWriteRate_ = rate;
    device_.jmLaserWriteFrameNL(device_.DeviceHandle, dacList_.get(), 1, rate, 0);
    if (OnWritten) OnWritten();
    return;
  }
  SequencePoint* staged = staged_.get();
  for (size_t k = 0; k < frame.size(); ++k) {
    const ShowPoint& p = frame[k];
    // A blanked point is staged black: the transform knows blanking only by colour, and a
    // blanked move drawn lit would put the beam where the show never meant it to be.
    if (p.Visible != 0) {
      staged[k] = {p.X, p.Y, p.R, p.G, p.B, 0};
    } else {
      staged[k] = Blanked(p.X, p.Y);
    }
  }
  TransformAndSend(static_cast<uint32_t>(frame.size()));
}

void LaserAusgabe::AppendMove(uint32_t& n, int32_t ax, int32_t ay, int32_t bx, int32_t by) {
  const int64_t dx = int64_t{bx} - ax;
  const int64_t dy = int64_t{by} - ay;
  int64_t k = std::max(std::llabs(dx / MaxBlankStep), std::llabs(dy / MaxBlankStep));
  // Staged points from the show never need more; a caller staging wider coordinates gets
  // longer steps instead of an overrun.
  k = std::min<int64_t>(k, kMaxMoveSteps);
  if (k <= 0) return;
  const int64_t stepX = dx / (k + 1);
  const int64_t stepY = dy / (k + 1);
  SequencePoint* out = sequence_.get();
  for (int64_t j = 1; j <= k; ++j) {
    out[n++] = Blanked(static_cast<int32_t>(ax + j * stepX), static_cast<int32_t>(ay + j * stepY));
  }
}

void LaserAusgabe::TransformAndSend(uint32_t count) {
  if (count == 0) return;
  count = std::min(count, kMaxStagedPoints);

  ScanSpeedPps = Scanspeed.Position() * 1000;
  ScaleX = (Achse_X.Right() - Achse_X.Left()) / 100.0;
  ScaleY = (Achse_Y.Right() - Achse_Y.Left()) / 100.0;
  ColourShift = static_cast<uint16_t>(Farbverschiebung.Position());
  ExtraPoints = static_cast<uint16_t>(Extrapoints.Position());

  const SequencePoint* p = staged_.get();
  SequencePoint* out = sequence_.get();
  uint32_t n = 0;

  int32_t startX = 0;
  int32_t startY = 0;
  if (FrameChangeMode == 1) {
    startX = LastEndX;
    startY = LastEndY;
  }
  out[n++] = Blanked(startX, startY);
  AppendMove(n, startX, startY, p[0].x, p[0].y);
  out[n++] = Blanked(p[0].x, p[0].y);
  SequencePoint* frame = out + n;
  for (uint32_t k = 0; k < count; ++k) {
    frame[k] = p[k];
    frame[k].i = static_cast<uint8_t>((p[k].r + p[k].g + p[k].b) / 3);
  }
  n += count;
  const SequencePoint& last = p[count - 1];
  out[n++] = Blanked(last.x, last.y);
  LastEndX = last.x;
  LastEndY = last.y;
  if (FrameChangeMode == 0) {
    AppendMove(n, last.x, last.y, 0, 0);
    out[n++] = Blanked(0, 0);
  }

  const uint32_t extra = std::min<uint32_t>(ExtraPoints, kMaxExtraPoints);
  if (extra > 0) n = ExtraPointsPass(n, extra);

  MapToDac(n, ColourShift);
  lastDacCount_ = n;
  lastWriteRate_ = ScanSpeedPps;
  device_.jmLaserWriteFrameNL(device_.DeviceHandle, dacList_.get(), static_cast<int32_t>(n),
                              ScanSpeedPps, 0);
  if (OnWritten) OnWritten();
}

uint32_t LaserAusgabe::ExtraPointsPass(uint32_t count, uint32_t extra) {
  SequencePoint* seq = sequence_.get();
  uint32_t transitions = 0;
  for (uint32_t k = 0; k + 1 < count; ++k) {
    transitions += IsLit(seq[k]) != IsLit(seq[k + 1]) ? 1u : 0u;
  }
  const uint32_t newCount = count + 2 * extra * transitions;
  // Built in place from the back: every entry moves only towards the end, so nothing is read
  // after it was overwritten except the successor, which is kept aside.
  uint32_t write = newCount;
  SequencePoint next = seq[count - 1];
  seq[--write] = next;
  for (uint32_t k = count - 1; k-- > 0;) {
    const SequencePoint e = seq[k];
    if (IsLit(e) != IsLit(next)) {
      // Forwards the block reads e, e's position x extra (blanked) or e x extra, then
      // next's position x extra (blanked) or next x extra.
      const SequencePoint second = IsLit(next) ? next : Blanked(next.x, next.y);
      const SequencePoint first = IsLit(e) ? e : Blanked(e.x, e.y);
      for (uint32_t j = 0; j < extra; ++j) seq[--write] = second;
      for (uint32_t j = 0; j < extra; ++j) seq[--write] = first;
    }
    seq[--write] = e;
    next = e;
  }
  return newCount;
}

void LaserAusgabe::UpdateAxisTable(AxisTable& table, double scale, int32_t offset) {
  // Extended-precision products cost a slow x87 conversion each; built once per size and
  // offset they become a lookup, which keeps a 16000-point frame well inside its budget.
  if (table.scale == scale && table.offset == offset) return;
  for (size_t k = 0; k < kTableSize; ++k) {
    table.values[k] = DacCoordinate(static_cast<int64_t>(k) + kTableLow, scale, offset);
  }
  table.scale = scale;
  table.offset = offset;
}

namespace {

struct MapContext {
  const SequencePoint* seq;
  DacPoint* out;
  const uint8_t* red;
  const uint8_t* green;
  const uint8_t* blue;
  const uint16_t* xTable;
  const uint16_t* yTable;
  double scaleX;
  double scaleY;
  int32_t offsetX;
  int32_t offsetY;
};

// One orientation per instance keeps the axis choice out of the per-point loop.
template <int kOrientation>
void MapRange(const MapContext& m, uint32_t begin, uint32_t end, uint32_t shift) {
  // Locals, so that the stores into the list do not make the compiler reload the context.
  const SequencePoint* __restrict seq = m.seq;
  DacPoint* __restrict out = m.out;
  const uint8_t* __restrict red = m.red;
  const uint8_t* __restrict green = m.green;
  const uint8_t* __restrict blue = m.blue;
  const uint16_t* __restrict xTable = m.xTable;
  const uint16_t* __restrict yTable = m.yTable;
  const double scaleX = m.scaleX;
  const double scaleY = m.scaleY;
  const int32_t offsetX = m.offsetX;
  const int32_t offsetY = m.offsetY;
  for (uint32_t k = begin; k < end; ++k) {
    const SequencePoint& c = seq[k - shift];
    // Blanked entries stay dark: the tables lift 0 to the channel's minimum voltage, which
    // would let every blanked move glow.
    const uint8_t mask = c.i != 0 ? 0xFF : 0x00;
    const auto r = static_cast<uint8_t>(red[c.r] & mask);
    const auto g = static_cast<uint8_t>(green[c.g] & mask);
    const auto b = static_cast<uint8_t>(blue[c.b] & mask);

    const int64_t x = seq[k].x;
    const int64_t y = seq[k].y;
    int64_t u = x;
    int64_t v = y;
    if constexpr (kOrientation == 1) u = -x, v = -y;
    if constexpr (kOrientation == 2) u = -x, v = y;
    if constexpr (kOrientation == 3) u = y, v = -x;
    if constexpr (kOrientation == 4) u = y, v = x;
    if constexpr (kOrientation == 5) u = -y, v = -x;
    if constexpr (kOrientation == 6) u = -y, v = x;
    if constexpr (kOrientation == 7) u = x, v = -y;

    out[k] = DacPoint{MapAxis(xTable, u, scaleX, offsetX),
                      MapAxis(yTable, v, scaleY, offsetY),
                      r,
                      g,
                      b,
                      static_cast<uint8_t>((r + g + b) / 3),
                      {0, 0, 0, 0}};
  }
}

template <int kOrientation>
void MapAll(const MapContext& m, uint32_t count, uint32_t shift) {
  // Entries before the shift keep their own colours.
  MapRange<kOrientation>(m, 0, shift, 0);
  MapRange<kOrientation>(m, shift, count, shift);
}

}  // namespace

void LaserAusgabe::MapToDac(uint32_t count, uint32_t shift) {
  // A shift beyond the last index changes nothing, as does 0.
  if (shift > count - 1) shift = 0;
  UpdateAxisTable(xTable_, ScaleX, OffsetX);
  UpdateAxisTable(yTable_, ScaleY, OffsetY);
  const MapContext m{sequence_.get(),
                     dacList_.get(),
                     RedTable.data(),
                     GreenTable.data(),
                     BlueTable.data(),
                     xTable_.values.get(),
                     yTable_.values.get(),
                     ScaleX,
                     ScaleY,
                     OffsetX,
                     OffsetY};
  switch (Orientation) {
    case 0:
      MapAll<0>(m, count, shift);
      break;
    case 1:
      MapAll<1>(m, count, shift);
      break;
    case 2:
      MapAll<2>(m, count, shift);
      break;
    case 3:
      MapAll<3>(m, count, shift);
      break;
    case 4:
      MapAll<4>(m, count, shift);
      break;
    case 5:
      MapAll<5>(m, count, shift);
      break;
    case 6:
      MapAll<6>(m, count, shift);
      break;
    case 7:
      MapAll<7>(m, count, shift);
      break;
    default:
      // Only the orientation control sets it, within 0..7; anything else parks the beam
      // dark in the centre rather than sending positions nobody computed.
      for (uint32_t k = 0; k < count; ++k) m.out[k] = DacPoint{32768, 32768, 0, 0, 0, 0, {}};
      break;
  }
}

}  // namespace lumarex
