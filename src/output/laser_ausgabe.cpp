#include "output/laser_ausgabe.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

// (r + g + b) div 3 is not 0.
inline bool IsLit(const SequencePoint& p) {
  return p.r + p.g + p.b >= 3;
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
      dacList_(std::make_unique_for_overwrite<DacPoint[]>(kMaxSequence)),
      handle_(&dac.DeviceHandle) {
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

bool LaserAusgabe::OutputFrame(uint16_t n) {
  return !PrepareFrame(n) || WritePrepared();
}

bool LaserAusgabe::PrepareFrame(uint16_t n) {
  const std::span<const ShowPoint> frame = store_.Frame(n);
  if (frame.empty()) {
    if (store_.FrameCount == 0) return false;
    // A dark centre point instead of an empty write, which some DACs take as "stop".
    dacList_[0] = DacPoint{32768, 32768, 0, 0, 0, 0, {0, 0, 0, 0}};
    lastSent_ = OutputProjection.Apply({dacList_.get(), 1});
    // The rate of the last frame keeps the scanners' pace; before any frame there is none,
    // and a DAC told 0 points per second refuses the frame or stalls, so the control's
    // rate stands in.
    lastWriteRate_ = ScanSpeedPps > 0 ? ScanSpeedPps : Scanspeed.Position() * 1000;
    return true;
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
  Transform(static_cast<uint32_t>(frame.size()));
  return true;
}

bool LaserAusgabe::WritePrepared() {
  const int32_t result = device_.jmLaserWriteFrameNL(
      *handle_, lastSent_.data(), static_cast<int32_t>(lastSent_.size()), lastWriteRate_, 0);
  if (OnWritten) OnWritten();
  // Negative answers are the library's error codes (-999 without a library).
  return result >= 0;
}

uint32_t LaserAusgabe::AppendMove(SequencePoint* out, uint32_t n, int32_t ax, int32_t ay,
                                  int32_t bx, int32_t by) {
  const int64_t dx = int64_t{bx} - ax;
  const int64_t dy = int64_t{by} - ay;
  int64_t k = std::max(std::llabs(dx / MaxBlankStep), std::llabs(dy / MaxBlankStep));
  // Staged points from the show never need more; a caller staging wider coordinates gets
  // longer steps instead of an overrun.
  k = std::min<int64_t>(k, kMaxMoveSteps);
  if (k <= 0) return n;
  const int64_t stepX = dx / (k + 1);
  const int64_t stepY = dy / (k + 1);
  for (int64_t j = 1; j <= k; ++j) {
    out[n++] = Blanked(static_cast<int32_t>(ax + j * stepX), static_cast<int32_t>(ay + j * stepY));
  }
  return n;
}

bool LaserAusgabe::TransformAndSend(uint32_t count) {
  if (count == 0) return true;
  Transform(std::min(count, kMaxStagedPoints));
  return WritePrepared();
}

void LaserAusgabe::Transform(uint32_t count) {
  ScanSpeedPps = Scanspeed.Position() * 1000;
  ScaleX = (Achse_X.Right() - Achse_X.Left()) / 100.0;
  ScaleY = (Achse_Y.Right() - Achse_Y.Left()) / 100.0;
  ColourShift = static_cast<uint16_t>(Farbverschiebung.Position());
  ExtraPoints = static_cast<uint16_t>(Extrapoints.Position());

  const SequencePoint* p = staged_.get();
  int32_t startX = 0;
  int32_t startY = 0;
  if (FrameChangeMode == 1) {
    startX = LastEndX;
    startY = LastEndY;
  }
  uint32_t before = 0;
  prefix_[before++] = Blanked(startX, startY);
  before = AppendMove(prefix_, before, startX, startY, p[0].x, p[0].y);
  prefix_[before++] = Blanked(p[0].x, p[0].y);

  const SequencePoint& last = p[count - 1];
  uint32_t after = 0;
  suffix_[after++] = Blanked(last.x, last.y);
  LastEndX = last.x;
  LastEndY = last.y;
  if (FrameChangeMode == 0) {
    after = AppendMove(suffix_, after, last.x, last.y, 0, 0);
    suffix_[after++] = Blanked(0, 0);
  }

  // The staged entries keep whatever intensity their caller left: every entry of the
  // sequence is lit exactly when (r + g + b) div 3 is not 0, which is what the steps below
  // test instead of a stored intensity.
  SequenceParts parts{{prefix_, p, suffix_}, {before, before + count, before + count + after}};
  uint32_t n = parts.end[2];
  const uint32_t extra = std::min<uint32_t>(ExtraPoints, kMaxExtraPoints);
  if (extra > 0) {
    n = ExpandExtraPoints(parts, extra);
    const SequencePoint* seq = sequence_.get();
    parts = SequenceParts{{seq, seq, seq}, {n, n, n}};
  }

  MapToDac(parts, n, ColourShift);
  lastSent_ = OutputProjection.Apply({dacList_.get(), n});
  lastWriteRate_ = ScanSpeedPps;
}

uint32_t LaserAusgabe::ExpandExtraPoints(const SequenceParts& parts, uint32_t extra) {
  // Forwards the block after an entry e whose successor next differs in being lit reads e's
  // position x extra (blanked) or e x extra, then next's position x extra (blanked) or
  // next x extra.
  SequencePoint* out = sequence_.get();
  uint32_t write = 0;
  const SequencePoint* previous = nullptr;
  bool previousLit = false;
  uint32_t begin = 0;
  for (int part = 0; part < 3; ++part) {
    const SequencePoint* entries = parts.part[part];
    const uint32_t length = parts.end[part] - begin;
    begin = parts.end[part];
    for (uint32_t k = 0; k < length; ++k) {
      const SequencePoint& e = entries[k];
      const bool lit = IsLit(e);
      if (previous != nullptr && lit != previousLit) {
        const SequencePoint first = previousLit ? *previous : Blanked(previous->x, previous->y);
        const SequencePoint second = lit ? e : Blanked(e.x, e.y);
        for (uint32_t j = 0; j < extra; ++j) out[write++] = first;
        for (uint32_t j = 0; j < extra; ++j) out[write++] = second;
      }
      out[write++] = e;
      previous = &e;
      previousLit = lit;
    }
  }
  return write;
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

// A colour channel's table entry as a 64-bit word: the DAC value in its byte of the record's
// colour word (red 0, green 1, blue 2) and again in the upper half, where the three channels'
// values add up to the sum the intensity is the mean of. One add per channel builds both.
using ChannelWords = std::array<uint64_t, 256>;

void BuildChannelWords(ChannelWords& words, const ColourTable& table, int byte) {
  for (size_t v = 0; v < 256; ++v) {
    words[v] = (uint64_t{table[v]} << (8 * byte)) | (uint64_t{table[v]} << 32);
  }
}

struct MapContext {
  const uint64_t* red;
  const uint64_t* green;
  const uint64_t* blue;
  const uint16_t* xTable;
  const uint16_t* yTable;
  double scaleX;
  double scaleY;
  int32_t offsetX;
  int32_t offsetY;
};

// Maps `length` entries: positions from pos[], colours from col[] (the colour shift makes
// them differ). One orientation per instance keeps the axis choice out of the per-point loop.
template <int kOrientation>
void MapRange(const MapContext& m, const SequencePoint* __restrict pos,
              const SequencePoint* __restrict col, DacPoint* __restrict out, uint32_t length) {
  // Locals, so that the stores into the list do not make the compiler reload the context.
  const uint64_t* __restrict red = m.red;
  const uint64_t* __restrict green = m.green;
  const uint64_t* __restrict blue = m.blue;
  const uint16_t* __restrict xTable = m.xTable;
  const uint16_t* __restrict yTable = m.yTable;
  const double scaleX = m.scaleX;
  const double scaleY = m.scaleY;
  const int32_t offsetX = m.offsetX;
  const int32_t offsetY = m.offsetY;
  for (uint32_t k = 0; k < length; ++k) {
    const SequencePoint& c = col[k];
    // Blanked entries stay dark: the tables lift 0 to the channel's minimum voltage, which
    // would let every blanked move glow.
    const uint64_t lit = IsLit(c) ? ~uint64_t{0} : 0;
    const uint64_t words = (red[c.r] + green[c.g] + blue[c.b]) & lit;
    // (r + g + b) div 3 for sums up to 765, exactly.
    const uint64_t mean = ((words >> 32) * 43691u) >> 17;
    const uint64_t colour = (words & 0xFFFFFFu) | (mean << 24);

    const int64_t x = pos[k].x;
    const int64_t y = pos[k].y;
    int64_t u = x;
    int64_t v = y;
    if constexpr (kOrientation == 1) u = -x, v = -y;
    if constexpr (kOrientation == 2) u = -x, v = y;
    if constexpr (kOrientation == 3) u = y, v = -x;
    if constexpr (kOrientation == 4) u = y, v = x;
    if constexpr (kOrientation == 5) u = -y, v = -x;
    if constexpr (kOrientation == 6) u = -y, v = x;
    if constexpr (kOrientation == 7) u = x, v = -y;

    // The record as one 8-byte and one 4-byte store: x, y, r, g, b, i, then the reserved
    // zero bytes.
    const uint64_t head = uint64_t{MapAxis(xTable, u, scaleX, offsetX)} |
                          (uint64_t{MapAxis(yTable, v, scaleY, offsetY)} << 16) | (colour << 32);
    const uint32_t reserved = 0;
    auto* record = reinterpret_cast<unsigned char*>(out + k);
    std::memcpy(record, &head, sizeof head);
    std::memcpy(record + sizeof head, &reserved, sizeof reserved);
  }
}
static_assert(offsetof(DacPoint, x) == 0 && offsetof(DacPoint, y) == 2 &&
                  offsetof(DacPoint, r) == 4 && offsetof(DacPoint, i) == 7 &&
                  offsetof(DacPoint, reserved) == 8,
              "MapRange writes the record in this layout");

using MapRangeFunction = void (*)(const MapContext&, const SequencePoint*, const SequencePoint*,
                                  DacPoint*, uint32_t);

}  // namespace

void LaserAusgabe::MapToDac(const SequenceParts& parts, uint32_t count, uint32_t shift) {
  // A shift beyond the last index changes nothing, as does 0.
  if (shift > count - 1) shift = 0;
  DacPoint* out = dacList_.get();
  static constexpr MapRangeFunction kMapRange[8] = {MapRange<0>, MapRange<1>, MapRange<2>,
                                                    MapRange<3>, MapRange<4>, MapRange<5>,
                                                    MapRange<6>, MapRange<7>};
  if (Orientation >= 8) {
    // Only the orientation control sets it, within 0..7; anything else parks the beam
    // dark in the centre rather than sending positions nobody computed.
    for (uint32_t k = 0; k < count; ++k) out[k] = DacPoint{32768, 32768, 0, 0, 0, 0, {}};
    return;
  }
  UpdateAxisTable(xTable_, ScaleX, OffsetX);
  UpdateAxisTable(yTable_, ScaleY, OffsetY);
  ChannelWords red, green, blue;
  BuildChannelWords(red, RedTable, 0);
  BuildChannelWords(green, GreenTable, 1);
  BuildChannelWords(blue, BlueTable, 2);
  const MapContext m{
      red.data(), green.data(), blue.data(), xTable_.values.get(), yTable_.values.get(), ScaleX,
      ScaleY,     OffsetX,      OffsetY};
  const MapRangeFunction mapRange = kMapRange[Orientation];

  // Entry k takes its position from entry k and its colours from entry k - shift (entries
  // before the shift keep their own). The output is cut where either source crosses from
  // one part of the sequence to the next, so each piece reads two plain arrays.
  uint32_t cuts[8] = {
      0,    shift, count, parts.end[0], parts.end[1], parts.end[0] + shift, parts.end[1] + shift,
      count};
  std::sort(std::begin(cuts), std::end(cuts));
  const auto entry = [&parts](uint32_t k) {
    uint32_t begin = 0;
    int part = 0;
    while (part < 2 && k >= parts.end[part]) begin = parts.end[part++];
    return parts.part[part] + (k - begin);
  };
  for (size_t c = 0; c + 1 < std::size(cuts); ++c) {
    const uint32_t begin = cuts[c];
    const uint32_t end = std::min(cuts[c + 1], count);
    if (begin >= end) continue;
    const uint32_t colourFrom = begin < shift ? begin : begin - shift;
    mapRange(m, entry(begin), entry(colourFrom), out + begin, end - begin);
  }
}

}  // namespace lumarex
