#include "show/show_store.h"

#include <algorithm>
#include <cstddef>

#include "show/record_shuffle.h"

namespace lumarex {

namespace {

PaletteTable BuildDefaultPalette() {
  PaletteTable p{};
  auto set = [&p](int i, int r, int g, int b) {
    p[static_cast<size_t>(i)] = {static_cast<uint8_t>(r), static_cast<uint8_t>(g),
                                 static_cast<uint8_t>(b)};
  };
  // Red rising in green to yellow.
  for (int i = 0; i <= 16; ++i) set(i, 255, std::min(255, i * 16), 0);
  // Yellow falling in red to green.
  for (int i = 17; i <= 24; ++i) set(i, 224 - (i - 17) * 32, 255, 0);
  // Green rising in blue to cyan; the standard rounds 255*k/7.
  static constexpr int kCyanRamp[7] = {36, 73, 109, 146, 182, 219, 255};
  for (int i = 25; i <= 31; ++i) set(i, 0, 255, kCyanRamp[i - 25]);
  // Cyan falling in green to blue.
  static constexpr int kBlueRamp[9] = {227, 198, 170, 142, 113, 85, 56, 28, 0};
  for (int i = 32; i <= 40; ++i) set(i, 0, kBlueRamp[i - 32], 255);
  // Blue rising in red to magenta.
  for (int i = 41; i <= 48; ++i) set(i, std::min(255, (i - 40) * 32), 0, 255);
  // Magenta rising in green to white.
  for (int i = 49; i <= 56; ++i) set(i, 255, std::min(255, (i - 48) * 32), 255);
  // White falling in green and blue towards red.
  for (int i = 57; i <= 63; ++i) {
    const int v = 224 - (i - 57) * 32;
    set(i, 255, v, v);
  }
  return p;
}

}  // namespace

const PaletteTable& DefaultPalette() {
  static const PaletteTable kPalette = BuildDefaultPalette();
  return kPalette;
}

ShowStore::ShowStore()
    : FramePoints(kSlotCount), LastPointIndex(kSlotCount, 0), Tail(kSlotCount, FrameTail::kEmpty) {}

void ShowStore::ReleaseSlot(uint32_t n) {
  FrameArray().swap(FramePoints[n]);
  LastPointIndex[n] = 0;
  Tail[n] = FrameTail::kEmpty;
}

void ShowStore::ClearShow() {
  // A merge leaves a gap slot and a reader may have left an array just above FrameCount, so
  // every slot that may hold anything is released.
  const uint32_t end = std::min(kSlotCount, std::max(slotsTouched_, FrameCount + 2u));
  for (uint32_t n = 0; n < end; ++n) {
    if (!FramePoints[n].empty() || LastPointIndex[n] != 0) ReleaseSlot(n);
  }
  slotsTouched_ = 0;
  FrameCount = 1;
}

void ShowStore::LoadDefaultPalette() {
  Palette = DefaultPalette();
}

std::span<ShowPoint> ShowStore::NewFrame(uint32_t elements) {
  elements = std::clamp<uint32_t>(elements, 1, kMaxPointsPerFrame);
  NoteSlotUsed(FrameCount);
  FrameArray& slot = FramePoints[FrameCount];
  slot.assign(elements, ShowPoint{});
  return slot;
}

std::span<ShowPoint> ShowStore::NewFrameForOverwrite(uint32_t elements) {
  elements = std::clamp<uint32_t>(elements, 1, kMaxPointsPerFrame);
  NoteSlotUsed(FrameCount);
  FrameArray fresh{FrameAllocator<ShowPoint>(true)};
  fresh.resize(elements);
  // The slot keeps its own allocator: later resizes of it fill in zero points again.
  FramePoints[FrameCount] = std::move(fresh);
  return FramePoints[FrameCount];
}

void ShowStore::CommitFrame(uint16_t lastPointIndex, FrameTail tail) {
  NoteSlotUsed(FrameCount);
  FrameArray& slot = FramePoints[FrameCount];
  if (slot.size() < static_cast<size_t>(lastPointIndex) + 1) slot.resize(lastPointIndex + 1u);
  LastPointIndex[FrameCount] = lastPointIndex;
  Tail[FrameCount] =
      lastPointIndex == 0 && tail == FrameTail::kAppendedZeroPoint ? FrameTail::kEmpty : tail;
  ++FrameCount;
}

void ShowStore::AppendTwoPointEmptyFrame() {
  NewFrame(2);
  CommitFrame(1, FrameTail::kEmpty);
}

void ShowStore::AppendEmptyFrame() {
  FrameArray().swap(FramePoints[FrameCount]);
  LastPointIndex[FrameCount] = 0;
  Tail[FrameCount] = FrameTail::kEmpty;
  ++FrameCount;
}

void ShowStore::ReplaceFrame(uint32_t n, std::span<const ShowPoint> points) {
  if (n >= kSlotCount) return;
  NoteSlotUsed(n);
  FrameArray& slot = FramePoints[n];
  if (points.size() <= 1 || points.size() > kMaxPointsPerFrame) {
    // The optimiser's empty-frame form (a single point cannot be told from an empty frame).
    slot.assign(2, ShowPoint{});
    LastPointIndex[n] = 1;
    Tail[n] = FrameTail::kEmpty;
    return;
  }
  slot.assign(points.begin(), points.end());
  for (ShowPoint& p : slot) p.ColourIndex = 0;
  LastPointIndex[n] = static_cast<uint16_t>(points.size() - 1);
  Tail[n] = FrameTail::kAllReal;
}

void ShowStore::RemoveFrames(uint32_t first, uint32_t last) {
  if (FrameCount == 0 || first > last || first >= FrameCount) return;
  last = std::min<uint32_t>(last, FrameCount - 1u);
  const uint32_t removed = last - first + 1;
  for (uint32_t n = first; n + removed < FrameCount; ++n) {
    FramePoints[n].swap(FramePoints[n + removed]);
    LastPointIndex[n] = LastPointIndex[n + removed];
    Tail[n] = Tail[n + removed];
  }
  const uint32_t newCount = FrameCount - removed;
  for (uint32_t n = newCount; n < FrameCount; ++n) ReleaseSlot(n);
  FrameCount = static_cast<uint16_t>(newCount);
}

void ShowStore::RemoveEverySecondFrame() {
  if (FrameCount < 3) return;
  uint32_t kept = 2;
  for (uint32_t n = 3; n < FrameCount; n += 2, ++kept) {
    FramePoints[kept].swap(FramePoints[n]);
    LastPointIndex[kept] = LastPointIndex[n];
    Tail[kept] = Tail[n];
  }
  for (uint32_t n = kept; n < FrameCount; ++n) ReleaseSlot(n);
  FrameCount = static_cast<uint16_t>(kept);
}

std::span<const ShowPoint> ShowStore::Frame(uint32_t n) const {
  if (n >= kSlotCount || LastPointIndex[n] == 0) return {};
  const FrameArray& slot = FramePoints[n];
  const size_t count = std::min<size_t>(slot.size(), LastPointIndex[n] + 1u);
  return {slot.data(), count};
}

uint32_t ShowStore::RealPointCount(uint32_t n) const {
  if (n >= kSlotCount) return 0;
  const uint32_t stored = FramePoints[n].empty() ? 0u : LastPointIndex[n] + 1u;
  switch (Tail[n]) {
    case FrameTail::kAllReal:
      return stored;
    case FrameTail::kAppendedZeroPoint:
      return stored == 0 ? 0 : stored - 1;
    case FrameTail::kEmpty:
      return 0;
  }
  return 0;
}

namespace {

// What FrameStatistics counts, carried from one stretch of points to the next.
struct Tally {
  uint32_t visible = 0;
  uint32_t paths = 0;
  uint32_t previous = 0;  // 1 when the point before was visible
  uint16_t depth = 0;     // the Z values or-ed together
};

// Without branches on the beam state: it alternates unpredictably, and `lumarex-cli info`
// spent more time in the branchy loop than in reading the show (8 ns a point).
void TallyPoints(const ShowPoint* p, size_t count, Tally& t) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t lit = p[i].Visible != 0 ? 1u : 0u;
    t.visible += lit;
    t.paths += lit & ~t.previous;
    t.previous = lit;
    t.depth |= static_cast<uint16_t>(p[i].Z);
  }
}

#ifdef LUMAREX_RECORD_SHUFFLE

// Sixteen points (twelve 16-byte vectors) at a time: their Visible bytes gathered into one
// vector and turned into a 16-bit mask, their Z bytes or-ed together. 1.8 ns a point became
// about half that, which is what reading the points from memory costs here.
struct StatisticsTables {
  std::array<int8_t, 16> visible[12];  // vector i: its Visible bytes to the points' lanes
  std::array<int8_t, 16> depth[12];    // vector i: 0xFF on its Z bytes
};

constexpr StatisticsTables MakeStatisticsTables() {
  StatisticsTables t{};
  for (size_t i = 0; i < 12; ++i) {
    for (size_t b = 0; b < 16; ++b) {
      t.visible[i][b] = int8_t{-128};
      const size_t q = (16 * i + b) % 12;
      t.depth[i][b] = q == 4 || q == 5 ? int8_t{-1} : int8_t{0};
    }
  }
  for (size_t k = 0; k < 16; ++k) {
    const size_t at = 12 * k + offsetof(ShowPoint, Visible);
    t.visible[at / 16][k] = static_cast<int8_t>(at % 16);
  }
  return t;
}

[[gnu::target("ssse3,popcnt")]] size_t TallySixteens(const ShowPoint* p, size_t count, Tally& t) {
  static constexpr StatisticsTables kTables = MakeStatisticsTables();
  const auto* v = reinterpret_cast<const __m128i*>(p);
  __m128i depth = _mm_setzero_si128();
  size_t done = 0;
  for (; done + 16 <= count; done += 16, v += 12) {
    __m128i visible = _mm_setzero_si128();
#pragma GCC unroll 12
    for (size_t i = 0; i < 12; ++i) {
      const __m128i x = _mm_loadu_si128(v + i);
      visible =
          _mm_or_si128(visible, _mm_shuffle_epi8(x, shuffle::detail::Load(kTables.visible[i])));
      depth = _mm_or_si128(depth, _mm_and_si128(x, shuffle::detail::Load(kTables.depth[i])));
    }
    const auto dark =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(visible, _mm_setzero_si128())));
    const uint32_t lit = ~dark & 0xFFFFu;
    t.visible += static_cast<uint32_t>(__builtin_popcount(lit));
    t.paths += static_cast<uint32_t>(__builtin_popcount(lit & ~((lit << 1) | t.previous)));
    t.previous = lit >> 15;
  }
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(depth, _mm_setzero_si128())) != 0xFFFF) t.depth = 1;
  return done;
}

bool SixteensAvailable() {
  static const bool kAvailable =
      __builtin_cpu_supports("ssse3") != 0 && __builtin_cpu_supports("popcnt") != 0;
  return kAvailable;
}

#endif

}  // namespace

FrameStats ShowStore::FrameStatistics(uint32_t n) const {
  const std::span<const ShowPoint> frame = Frame(n);
  Tally t;
  size_t done = 0;
#ifdef LUMAREX_RECORD_SHUFFLE
  if (SixteensAvailable()) done = TallySixteens(frame.data(), frame.size(), t);
#endif
  TallyPoints(frame.data() + done, frame.size() - done, t);
  FrameStats s;
  s.is3D = t.depth != 0;
  s.vectors = static_cast<uint32_t>(frame.size());
  s.visible = t.visible;
  s.blanked = s.vectors - t.visible;
  s.paths = t.paths;
  return s;
}

}  // namespace lumarex
