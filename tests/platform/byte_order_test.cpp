#include "platform/byte_order.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace lumarex {
namespace {

const std::vector<uint8_t> kBytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};

TEST(ByteOrder, EachReadTakesItsBytesInItsOrder) {
  ByteCursor c(kBytes);
  uint16_t u16 = 0;
  uint32_t u32 = 0;
  int16_t i16 = 0;
  ASSERT_TRUE(c.ReadU16BE(u16));
  EXPECT_EQ(u16, 0x0102);
  ASSERT_TRUE(c.ReadU16LE(u16));
  EXPECT_EQ(u16, 0x0403);
  ASSERT_TRUE(c.ReadI16BE(i16));
  EXPECT_EQ(i16, 0x0506);
  ASSERT_TRUE(c.ReadI16LE(i16));
  EXPECT_EQ(i16, static_cast<int16_t>(0x8807));
  EXPECT_TRUE(c.AtEnd());

  c = ByteCursor(kBytes);
  ASSERT_TRUE(c.ReadU32BE(u32));
  EXPECT_EQ(u32, 0x01020304u);
  ASSERT_TRUE(c.ReadU32LE(u32));
  EXPECT_EQ(u32, 0x88070605u);
  uint64_t u64 = 0;
  ASSERT_TRUE(ByteCursor(kBytes).ReadU64BE(u64));
  EXPECT_EQ(u64, 0x0102030405060788u);
  ASSERT_TRUE(ByteCursor(kBytes).ReadU64LE(u64));
  EXPECT_EQ(u64, 0x8807060504030201u);
  int8_t i8 = 0;
  ASSERT_TRUE(ByteCursor(std::span(kBytes).last(1)).ReadI8(i8));
  EXPECT_EQ(i8, -120);

  // The stores write what the loads read back.
  uint8_t out[4] = {};
  StoreU32BE(out, 0x01020304u);
  EXPECT_EQ(LoadU32LE(out), 0x04030201u);
  StoreU32LE(out, 0x01020304u);
  EXPECT_EQ(LoadU32BE(out), 0x04030201u);
  StoreI16BE(out, -2);
  EXPECT_EQ(LoadU16LE(out), 0xFEFF);
  StoreI16LE(out, -2);
  EXPECT_EQ(LoadI16LE(out), -2);
  StoreU16BE(out, 0x1234);
  StoreU16LE(out + 2, 0x1234);
  EXPECT_EQ(LoadU32BE(out), 0x12343412u);
}

TEST(ByteOrder, TextFieldsEndAtTheirFirstZeroAndSpendTheirWholeWidth) {
  const std::vector<uint8_t> bytes = {'a', 'b', 0, 'x', 'c', 'd', 'e', 'f'};
  ByteCursor c(bytes);
  std::string text;
  ASSERT_TRUE(c.ReadText(4, text));
  EXPECT_EQ(text, "ab");
  ASSERT_TRUE(c.ReadText(4, text));
  EXPECT_EQ(text, "cdef");
  ASSERT_TRUE(c.ReadText(0, text));
  EXPECT_EQ(text, "");
}

// Every kind of read, with its width, leaving what it read in `seen`.
struct Read {
  const char* what;
  size_t width;
  std::function<bool(ByteCursor&, uint64_t& seen)> read;
};

template <typename T, bool (ByteCursor::*Member)(T&)>
Read Number(const char* what) {
  return {what, sizeof(T), [](ByteCursor& c, uint64_t& seen) {
            T v = static_cast<T>(seen);
            const bool ok = (c.*Member)(v);
            seen = static_cast<uint64_t>(v);
            return ok;
          }};
}

TEST(ByteOrder, AShortReadAtEveryLengthFailsAndLeavesItsValueAlone) {
  const std::vector<Read> reads = {
      Number<uint8_t, &ByteCursor::ReadU8>("u8"),
      Number<uint16_t, &ByteCursor::ReadU16BE>("u16be"),
      Number<uint16_t, &ByteCursor::ReadU16LE>("u16le"),
      Number<int16_t, &ByteCursor::ReadI16BE>("i16be"),
      Number<uint32_t, &ByteCursor::ReadU32BE>("u32be"),
      Number<uint32_t, &ByteCursor::ReadU32LE>("u32le"),
      Number<uint64_t, &ByteCursor::ReadU64BE>("u64be"),
      Number<uint64_t, &ByteCursor::ReadU64LE>("u64le"),
      {"array", 6,
       [](ByteCursor& c, uint64_t& seen) {
         std::array<uint8_t, 6> a{};
         a.fill(static_cast<uint8_t>(seen));
         const bool ok = c.ReadArray(a);
         seen = a[5];
         return ok;
       }},
      {"text", 5,
       [](ByteCursor& c, uint64_t& seen) {
         std::string text(1, static_cast<char>(seen));
         const bool ok = c.ReadText(5, text);
         seen = static_cast<uint8_t>(text.back());
         return ok;
       }},
      {"section", 3,
       [](ByteCursor& c, uint64_t& seen) {
         ByteCursor section;
         const bool ok = c.Sub(3, section);
         uint8_t last = static_cast<uint8_t>(seen);
         section.Skip(2);
         section.ReadU8(last);
         seen = last;
         return ok;
       }},
      {"skip", 7, [](ByteCursor& c, uint64_t&) { return c.Skip(7); }},
  };
  const std::vector<uint8_t> bytes = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};
  const std::span<const uint8_t> all(bytes);
  for (const Read& r : reads) {
    // From the start and from part way in.
    for (size_t at : {size_t{0}, size_t{2}}) {
      for (size_t n = 0; n < r.width; ++n) {
        ByteCursor c(all.first(at + n));
        ASSERT_TRUE(c.Skip(at));
        uint64_t seen = 0xAB;
        EXPECT_FALSE(r.read(c, seen)) << r.what << " from " << n << " bytes";
        EXPECT_EQ(seen, 0xABu) << r.what << " from " << n << " bytes";
        EXPECT_TRUE(c.AtEnd()) << r.what << " from " << n << " bytes";
      }
      // With a byte to spare the read succeeds and stops at its width.
      ByteCursor c(all.first(at + r.width + 1));
      ASSERT_TRUE(c.Skip(at));
      uint64_t seen = 0xAB;
      EXPECT_TRUE(r.read(c, seen)) << r.what;
      EXPECT_EQ(c.Remaining(), 1u) << r.what;
    }
  }
  ByteCursor c(bytes);
  EXPECT_TRUE(c.Seek(bytes.size()));
  EXPECT_FALSE(c.Seek(bytes.size() + 1));
  EXPECT_TRUE(c.AtEnd());
}

TEST(ByteOrder, ASectionCannotReachOutsideItsParent) {
  std::vector<uint8_t> bytes(10);
  for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(k);
  ByteCursor parent(bytes);
  ASSERT_TRUE(parent.Skip(2));
  ByteCursor section;
  ASSERT_TRUE(parent.Sub(4, section));
  EXPECT_EQ(parent.Position(), 6u);

  // Offsets in a section count from its own start and end at its own end.
  EXPECT_EQ(section.Size(), 4u);
  EXPECT_FALSE(section.Seek(5));
  ASSERT_TRUE(section.Seek(1));
  uint32_t wide = 7;
  EXPECT_FALSE(section.ReadU32LE(wide));
  EXPECT_EQ(wide, 7u);
  ASSERT_TRUE(section.Seek(0));
  ByteCursor inner;
  EXPECT_FALSE(section.Sub(5, inner));
  ASSERT_TRUE(section.Seek(0));
  ASSERT_TRUE(section.Sub(3, inner));
  EXPECT_EQ(inner.Take(3).data(), bytes.data() + 2);
  EXPECT_TRUE(inner.Take(1).empty());

  // A section longer than what is left is refused, and the parent is spent.
  ByteCursor refused(bytes);
  EXPECT_FALSE(parent.Sub(5, refused));
  EXPECT_EQ(refused.Size(), bytes.size());
  EXPECT_TRUE(parent.AtEnd());
}

}  // namespace
}  // namespace lumarex
