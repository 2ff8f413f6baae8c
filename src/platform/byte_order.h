#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace lumarex {

// Loads from a byte pointer that the caller has bounds-checked; no alignment needed.
inline uint16_t LoadU16BE(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint16_t LoadU16LE(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline int16_t LoadI16BE(const uint8_t* p) {
  return static_cast<int16_t>(LoadU16BE(p));
}
inline int16_t LoadI16LE(const uint8_t* p) {
  return static_cast<int16_t>(LoadU16LE(p));
}
inline uint32_t LoadU32BE(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint32_t LoadU32LE(const uint8_t* p) {
  return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}
inline uint64_t LoadU64BE(const uint8_t* p) {
  return (uint64_t{LoadU32BE(p)} << 32) | LoadU32BE(p + 4);
}
inline uint64_t LoadU64LE(const uint8_t* p) {
  return (uint64_t{LoadU32LE(p + 4)} << 32) | LoadU32LE(p);
}

inline void StoreU16BE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void StoreU16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreI16BE(uint8_t* p, int16_t v) {
  StoreU16BE(p, static_cast<uint16_t>(v));
}
inline void StoreI16LE(uint8_t* p, int16_t v) {
  StoreU16LE(p, static_cast<uint16_t>(v));
}
inline void StoreU32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreU32BE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}

// A bounds-checked cursor over bytes already in memory. Every read says whether the bytes
// were there; a short read leaves the value untouched and the cursor at the end, so a parser
// may chain its reads with && and check once.
class ByteCursor {
 public:
  ByteCursor() = default;
  explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t Size() const { return bytes_.size(); }
  size_t Remaining() const { return bytes_.size() - pos_; }
  size_t Position() const { return pos_; }
  bool AtEnd() const { return pos_ >= bytes_.size(); }

  // For formats that point at their parts by offset; an offset past the end fails.
  bool Seek(size_t offset) {
    if (offset > bytes_.size()) {
      pos_ = bytes_.size();
      return false;
    }
    pos_ = offset;
    return true;
  }
  bool Skip(size_t n) { return Take(n).size() == n; }
  bool ReadBytes(void* dst, size_t n) {
    const auto bytes = Take(n);
    if (bytes.size() != n) return false;
    if (n != 0) std::memcpy(dst, bytes.data(), n);
    return true;
  }
  template <size_t N>
  bool ReadArray(std::array<uint8_t, N>& out) {
    return ReadBytes(out.data(), N);
  }
  bool ReadU8(uint8_t& v) { return ReadBytes(&v, 1); }
  bool ReadI8(int8_t& v) { return ReadBytes(&v, 1); }
  bool ReadU16BE(uint16_t& v) { return ReadWith(v, LoadU16BE); }
  bool ReadU16LE(uint16_t& v) { return ReadWith(v, LoadU16LE); }
  bool ReadI16BE(int16_t& v) { return ReadWith(v, LoadI16BE); }
  bool ReadI16LE(int16_t& v) { return ReadWith(v, LoadI16LE); }
  bool ReadU32BE(uint32_t& v) { return ReadWith(v, LoadU32BE); }
  bool ReadU32LE(uint32_t& v) { return ReadWith(v, LoadU32LE); }
  bool ReadU64BE(uint64_t& v) { return ReadWith(v, LoadU64BE); }
  bool ReadU64LE(uint64_t& v) { return ReadWith(v, LoadU64LE); }

  // A text field of `width` bytes: the text ends at its first zero byte or at the field's end,
  // and the cursor moves past the whole field either way.
  bool ReadText(size_t width, std::string& out) {
    const auto field = Take(width);
    if (field.size() != width) return false;
    const auto* text = reinterpret_cast<const char*>(field.data());
    out.assign(text, std::find(text, text + width, '\0'));
    return true;
  }

  // The next n bytes in place, or an empty span (cursor at the end) when fewer remain.
  std::span<const uint8_t> Take(size_t n) {
    if (n > Remaining()) {
      pos_ = bytes_.size();
      return {};
    }
    const auto out = bytes_.subspan(pos_, n);
    pos_ += n;
    return out;
  }
  // The next n bytes as a cursor of their own, for a section whose length the format gives:
  // nothing read through `section` reaches past those n bytes, whatever they claim.
  bool Sub(size_t n, ByteCursor& section) {
    const auto bytes = Take(n);
    if (bytes.size() != n) return false;
    section = ByteCursor(bytes);
    return true;
  }

 private:
  template <typename T, typename Loader>
  bool ReadWith(T& v, Loader load) {
    const auto bytes = Take(sizeof(T));
    if (bytes.size() != sizeof(T)) return false;
    v = load(bytes.data());
    return true;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

}  // namespace lumarex
