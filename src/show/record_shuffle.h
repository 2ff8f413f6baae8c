#pragma once

// Record-to-point conversion four records at a time with byte shuffles (SSSE3), for the
// readers of large true-colour shows. The scalar loops built each point in about 4.5 cycles
// (1.9 ns here); with shuffles four points take about as long as one did, and a 200 MB show
// is converted faster than the kernel copies it in. Readers convert what is left with their
// scalar loop, which also serves machines without SSSE3.

#include <array>
#include <cstddef>
#include <cstdint>

#include "show/show_point.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMAREX_RECORD_SHUFFLE 1
#endif

namespace lumarex::shuffle {

// Where each of a point's 12 bytes comes from in its record (-1: zero), and what is
// computed afterwards. Point bytes: X 0-1, Y 2-3, Z 4-5, R 6, G 7, B 8, Visible 9,
// ColourIndex 10, padding 11.
struct Layout {
  size_t recordSize;
  std::array<int8_t, 12> source;
  enum Visibility : uint8_t {
    kLitUnlessBit6,  // byte 9 holds the status; lit when its bit 6 is clear
    kLitIf0xFF,      // byte 9 holds the visibility byte; lit when 0xFF
  } visibility;
  bool negateY;          // Y grows downwards in the file (NegateY, saturating)
  bool blankedAreBlack;  // R, G, B and ColourIndex of a blanked point are 0 (byte 10: status)
};

#ifdef LUMAREX_RECORD_SHUFFLE

namespace detail {

using Bytes16 = std::array<int8_t, 16>;

// For output vector j (bytes 16j..16j+15 of four points), the shuffle of record j ("first")
// and of record j + 1 that together give its bytes, and masks of the bytes of one kind.
struct Tables {
  Bytes16 first[3], second[3];
  Bytes16 statusFirst[3], statusSecond[3];  // the status byte into R, G, B, Visible, ColourIndex
  Bytes16 visible[3], y[3], colours[3];
};

constexpr Tables MakeTables(const Layout& l) {
  Tables t{};
  for (size_t j = 0; j < 3; ++j) {
    for (size_t b = 0; b < 16; ++b) {
      const size_t point = (16 * j + b) / 12;
      const size_t q = (16 * j + b) % 12;
      const int8_t from = l.source[q];
      // Each output vector draws on points j and j + 1 only, as 16 = 12 + 4 and 32 = 24 + 8.
      t.first[j][b] = point == j && from >= 0 ? from : int8_t{-128};
      t.second[j][b] = point == j + 1 && from >= 0 ? from : int8_t{-128};
      const bool statusSlot = q >= 6 && q <= 10;
      t.statusFirst[j][b] = point == j && statusSlot ? l.source[9] : int8_t{-128};
      t.statusSecond[j][b] = point == j + 1 && statusSlot ? l.source[9] : int8_t{-128};
      t.visible[j][b] = q == 9 ? int8_t{-1} : int8_t{0};
      t.y[j][b] = q == 2 || q == 3 ? int8_t{-1} : int8_t{0};
      t.colours[j][b] = q == 6 || q == 7 || q == 8 || q == 10 ? int8_t{-1} : int8_t{0};
    }
  }
  return t;
}

[[gnu::target("ssse3")]] inline __m128i Load(const Bytes16& b) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.data()));
}

}  // namespace detail

// Converts groups of four records from `rec` as long as a group's 16-byte reads stay within
// `bytes` (the records and whatever follows them in the same block); returns how many
// records it converted, a multiple of four.
template <const Layout& kLayout>
[[gnu::target("ssse3")]] size_t ConvertGroups(const uint8_t* rec, size_t count, size_t bytes,
                                              ShowPoint* out) {
  static constexpr detail::Tables kTables = detail::MakeTables(kLayout);
  constexpr size_t kSize = kLayout.recordSize;
  const __m128i zero = _mm_setzero_si128();
  const __m128i bit6 = _mm_set1_epi8(0x40);
  const __m128i one = _mm_set1_epi8(1);
  __m128i first[3], second[3], statusFirst[3], statusSecond[3], visible[3], y[3], colours[3];
  for (size_t j = 0; j < 3; ++j) {
    first[j] = detail::Load(kTables.first[j]);
    second[j] = detail::Load(kTables.second[j]);
    statusFirst[j] = detail::Load(kTables.statusFirst[j]);
    statusSecond[j] = detail::Load(kTables.statusSecond[j]);
    visible[j] = detail::Load(kTables.visible[j]);
    y[j] = detail::Load(kTables.y[j]);
    colours[j] = detail::Load(kTables.colours[j]);
  }
  auto* target = reinterpret_cast<__m128i*>(out);
  size_t i = 0;
  // The last record's 16-byte read ends 3 * size + 16 bytes after the group's start.
  for (; i + 4 <= count && i * kSize + 3 * kSize + 16 <= bytes; i += 4, target += 3) {
    const uint8_t* g = rec + i * kSize;
    // Unrolled, so that the records and tables stay in registers (rolled, GCC kept them on the
    // stack and the ULF conversion took three times as long).
    __m128i r[4];
#pragma GCC unroll 4
    for (size_t k = 0; k < 4; ++k) {
      r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + k * kSize));
    }
#pragma GCC unroll 3
    for (size_t j = 0; j < 3; ++j) {
      __m128i v =
          _mm_or_si128(_mm_shuffle_epi8(r[j], first[j]), _mm_shuffle_epi8(r[j + 1], second[j]));
      // 0xFF in the Visible byte of a lit point, 0 in every other byte.
      __m128i lit;
      if constexpr (kLayout.blankedAreBlack) {
        // The status byte copied into each colour byte of its point: a point's colours may
        // lie in another output vector than its Visible byte.
        const __m128i status = _mm_or_si128(_mm_shuffle_epi8(r[j], statusFirst[j]),
                                            _mm_shuffle_epi8(r[j + 1], statusSecond[j]));
        const __m128i litBytes = _mm_cmpeq_epi8(_mm_and_si128(status, bit6), zero);
        v = _mm_and_si128(v, _mm_or_si128(_mm_andnot_si128(colours[j], _mm_set1_epi8(-1)),
                                          _mm_and_si128(litBytes, colours[j])));
        lit = _mm_and_si128(litBytes, visible[j]);
      } else if constexpr (kLayout.visibility == Layout::kLitUnlessBit6) {
        lit = _mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(v, bit6), zero), visible[j]);
      } else {
        lit = _mm_and_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(-1)), visible[j]);
      }
      v = _mm_or_si128(_mm_andnot_si128(visible[j], v), _mm_and_si128(lit, one));
      if constexpr (kLayout.negateY) {
        const __m128i negated = _mm_subs_epi16(zero, v);
        v = _mm_or_si128(_mm_andnot_si128(y[j], v), _mm_and_si128(y[j], negated));
      }
      _mm_storeu_si128(target + j, v);
    }
  }
  return i;
}

// Asked once; this function itself uses no SSSE3 instruction, so any machine may call it.
inline bool Available() {
  static const bool kAvailable = __builtin_cpu_supports("ssse3") != 0;
  return kAvailable;
}

#else

template <const Layout& kLayout>
size_t ConvertGroups(const uint8_t*, size_t, size_t, ShowPoint*) {
  return 0;
}
inline bool Available() {
  return false;
}

#endif

// Converts as many of the `count` records at `rec` four at a time as the processor allows,
// reading nothing beyond them; returns how many, for the caller to convert the rest one by one.
template <const Layout& kLayout>
uint32_t ConvertLeadingGroups(const uint8_t* rec, uint32_t count, ShowPoint* out) {
  if (!Available()) return 0;
  return static_cast<uint32_t>(
      ConvertGroups<kLayout>(rec, count, size_t{count} * kLayout.recordSize, out));
}

}  // namespace lumarex::shuffle
