// Shows large enough that the reading converts frames on a helper thread: each must read
// exactly as its two halves do on their own (each small enough to be read without the
// helper), whole and cut short in the middle of the second half.
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

TEST(LargeShows, ReadAsTheirHalvesDoWholeAndCutShort) {
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
