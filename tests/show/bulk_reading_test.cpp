// The ways of reading meant for large shows against the plain ones: records converted four at
// a time against one at a time, and shows large enough that frames are converted on a helper
// thread against their halves, read without one.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "show/cat.h"
#include "show/ilda.h"
#include "show/ulf.h"
#include "tests/show/format_test_support.h"
#include "tests/show/ilda_builder.h"

namespace lumarex::testing {
namespace {

using samples::FileFrame;
using samples::FilePoint;

// Two halves pass the helper's threshold of 16 MiB, one does not.
constexpr size_t kHalfPoints = 1'150'000;

// Frames of 1..6000 points, two of the largest size, and a last frame of 3000 points, so that
// a half read alone ends as it does inside the whole.
std::vector<FileFrame> Frames(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<FileFrame> frames;
  size_t points = 0;
  while (points < kHalfPoints) {
    size_t size = rng() % 6000 + 1;
    if (frames.size() == 3 || frames.size() == 40) size = 65535;
    if (points + size >= kHalfPoints) size = 3000;
    FileFrame frame(size);
    for (FilePoint& p : frame) {
      p = {static_cast<int16_t>(rng()),
           static_cast<int16_t>(rng()),
           static_cast<int16_t>(rng()),
           static_cast<int>(rng() % 256),
           static_cast<int>(rng() % 256),
           static_cast<int>(rng() % 256),
           rng() % 3 != 0,
           static_cast<int>(rng() % 64)};
    }
    points += size;
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::vector<uint8_t> IldaFile(const std::vector<FileFrame>& frames, bool first) {
  // A palette for the indexed frames of the first half (which are converted at once); the
  // second half has one too, so that both end with its status.
  test::IldaBuilder b;
  b.Palette(3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  for (size_t n = 0; n < frames.size(); ++n) {
    std::vector<test::IldaBuilder::Point> points;
    for (const FilePoint& p : frames[n]) {
      points.push_back({static_cast<int16_t>(p.x), static_cast<int16_t>(p.y),
                        static_cast<int16_t>(p.z), static_cast<uint8_t>(p.lit ? 0 : 0x40),
                        static_cast<uint8_t>(p.index), static_cast<uint8_t>(p.r),
                        static_cast<uint8_t>(p.g), static_cast<uint8_t>(p.b)});
    }
    const uint8_t format = first && n % 7 == 1 ? static_cast<uint8_t>(n % 2) : 4 + n % 2;
    b.Frame(format, points);
  }
  return b.bytes;
}

std::vector<uint8_t> CatFile(const std::vector<FileFrame>& frames, bool) {
  samples::Bytes b;
  for (size_t n = 0; n < frames.size(); ++n) {
    b.Append(n % 3 == 0 ? samples::CatLdsFile({frames[n]}) : samples::CatRgbFile({frames[n]}));
  }
  return b.data;
}

std::vector<uint8_t> UlfFile(const std::vector<FileFrame>& frames, bool) {
  return samples::UlfFile(frames).data;
}

struct Format {
  const char* name;
  std::function<std::vector<uint8_t>(const std::vector<FileFrame>&, bool)> build;
  std::function<void(ShowStore&, const std::string&)> read;
};

// `whole` holds the frames of `first` and then those of `second`, point for point and with
// the same arrays, and ends as `second` did.
void ExpectJoined(const ShowStore& whole, const ShowStore& first, const ShowStore& second) {
  ASSERT_EQ(whole.FrameCount, first.FrameCount + second.FrameCount);
  EXPECT_EQ(whole.IoStatus, second.IoStatus);
  EXPECT_EQ(whole.SourceFormatCode, second.SourceFormatCode);
  for (uint32_t n = 0; n < whole.FrameCount; ++n) {
    const ShowStore& part = n < first.FrameCount ? first : second;
    const uint32_t m = n < first.FrameCount ? n : n - first.FrameCount;
    ASSERT_EQ(whole.LastPointIndex[n], part.LastPointIndex[m]) << "frame " << n;
    ASSERT_EQ(whole.Tail[n], part.Tail[m]) << "frame " << n;
    ASSERT_TRUE(std::ranges::equal(whole.FramePoints[n], part.FramePoints[m])) << "frame " << n;
  }
  ExpectConsistent(whole);
}

// Random records for `count` points; every byte value occurs, and a few coordinates are the
// edge values that NegateY treats apart.
std::vector<uint8_t> RandomRecords(size_t count, size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(count * size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  for (size_t i = 0; i < count; i += 7) {
    bytes[i * size + 2] = rng() % 2 == 0 ? 0x00 : 0xFF;  // Y = -32768 or 32767 / -129, LE or BE
    bytes[i * size + 3] = 0x80 | (bytes[i * size + 3] & 0x7F);
    bytes[i * size + size - 1] = 0xFF;  // ULF: a lit point
  }
  return bytes;
}

// Frames of `perFrame` records each, as the format lays them out.
std::vector<uint8_t> FramesOf(const std::string& format, const std::vector<uint8_t>& records,
                              size_t size, size_t perFrame) {
  samples::Bytes file;
  for (size_t first = 0; first * size < records.size(); first += perFrame) {
    const size_t n = std::min(perFrame, records.size() / size - first);
    const auto begin = records.begin() + static_cast<long>(first * size);
    if (format == "ild4" || format == "ild5") {
      file.Text("ILDA").Zeros(3).U8(format == "ild4" ? 4 : 5).Zeros(16);
      file.U16BE(static_cast<int>(n)).Zeros(6);
    } else if (format == "cat") {
      file.U8(1).U16LE(static_cast<int>(n));
    } else {
      file.Text("ULF").U8(0).U8(2).Zeros(15).U32LE(static_cast<uint32_t>(n * size));
    }
    file.data.insert(file.data.end(), begin, begin + static_cast<long>(n * size));
  }
  return file.data;
}

TEST(BulkReading, FourRecordsAtATimeGiveThePointsOfOneAtATime) {
  IldaReader ilda;
  SilentDesktopServices desktop;
  ScratchDir dir;
  const struct {
    const char* name;
    size_t size;
  } formats[] = {{"ild4", 10}, {"ild5", 8}, {"cat", 11}, {"ulf", 8}};
  for (const auto& format : formats) {
    SCOPED_TRACE(format.name);
    const std::string extension = format.name[0] == 'i' ? ".ild" : std::string(".") + format.name;
    const auto read = [&](const std::vector<uint8_t>& bytes) {
      auto store = std::make_unique<ShowStore>();
      const std::string path = dir.Write(std::string("f") + extension, bytes);
      if (extension == ".ild") ilda.ReadIlda(*store, path, false, desktop);
      if (extension == ".cat") ReadCat(*store, path, false, desktop);
      if (extension == ".ulf") ReadUlf(*store, path, false, desktop);
      return store;
    };
    // 4001 points: whole groups of four and a rest; frames of three take one at a time.
    const std::vector<uint8_t> records = RandomRecords(4001, format.size, 7);
    const auto whole = read(FramesOf(format.name, records, format.size, 4001));
    const auto threes = read(FramesOf(format.name, records, format.size, 3));
    ASSERT_EQ(whole->FrameCount, 1);
    for (size_t i = 0; i < 4001; ++i) {
      ASSERT_EQ(whole->FramePoints[0][i], threes->FramePoints[i / 3][i % 3]) << "point " << i;
    }
  }
}

TEST(BulkReading, LargeShowsReadAsTheirHalvesDoWholeAndCutShort) {
  IldaReader ilda;
  SilentDesktopServices desktop;
  const Format formats[] = {
      {"ild", IldaFile,
       [&](ShowStore& s, const std::string& f) { ilda.ReadIlda(s, f, false, desktop); }},
      {"cat", CatFile, [&](ShowStore& s, const std::string& f) { ReadCat(s, f, false, desktop); }},
      {"ulf", UlfFile, [&](ShowStore& s, const std::string& f) { ReadUlf(s, f, false, desktop); }},
  };
  ScratchDir dir;
  for (const Format& format : formats) {
    SCOPED_TRACE(format.name);
    const std::vector<uint8_t> a = format.build(Frames(1), true);
    const std::vector<uint8_t> b = format.build(Frames(2), false);
    std::vector<uint8_t> whole = a;
    whole.insert(whole.end(), b.begin(), b.end());
    ASSERT_LT(b.size(), size_t{16} << 20);
    ASSERT_GE(whole.size(), size_t{16} << 20);
    const auto read = [&](const std::vector<uint8_t>& bytes) {
      auto store = std::make_unique<ShowStore>();
      format.read(*store, dir.Write(std::string("show.") + format.name, bytes));
      return store;
    };
    const auto first = read(a);
    ExpectJoined(*read(whole), *first, *read(b));
    // Cut inside the records of a frame of the second half.
    const size_t cut = b.size() * 2 / 3 + 5;
    whole.resize(a.size() + cut);
    ExpectJoined(*read(whole), *first, *read({b.begin(), b.begin() + static_cast<long>(cut)}));
  }
}

}  // namespace
}  // namespace lumarex::testing
