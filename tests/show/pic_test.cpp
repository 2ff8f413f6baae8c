#include <gtest/gtest.h>

#include "show/pic.h"
#include "tests/show/format_test_support.h"

namespace lumarex {
namespace {

using samples::Bytes;
using testing::Point;

class PicTest : public ::testing::Test {
 protected:
  void Read(const Bytes& bytes, bool merge = false) {
    ReadPic(store, dir.Write("show.pic", bytes), merge, desktop);
  }

  testing::ScratchDir dir;
  testing::RecordingDesktop desktop;
  ShowStore store;
};

TEST_F(PicTest, IndexedPointsTakeTheStatusOfTheRecordBefore) {
  store.Palette[0] = {1, 1, 1};
  store.Palette[8] = {8, 8, 8};
  store.Palette[40] = {4, 4, 4};
  Read(samples::PicIndexedFile(samples::SampleFrames()));
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 3);
  ASSERT_EQ(store.LastPointIndex[0], 4);
  EXPECT_EQ(store.RealPointCount(0), 4u);
  EXPECT_EQ(store.Frame(0)[0], Point(100, 200, 0, 1, 1, 1, 1, 0));       // always lit, colour 0
  EXPECT_EQ(store.Frame(0)[1], Point(-300, 400, 0, 1, 1, 1, 1, 0));      // record 0: lit, index 0
  EXPECT_EQ(store.Frame(0)[2], Point(32767, -32767, 0, 8, 8, 8, 0, 8));  // record 1: blanked
  EXPECT_EQ(store.Frame(0)[3], Point(-32768, 32767, 0, 4, 4, 4, 1, 40));
  EXPECT_EQ(store.Frame(2)[1].Z, -10);
}

TEST_F(PicTest, RgbFramesAreAllRealAndOnePointFramesEmpty) {
  Bytes file = samples::PicRgbFile(samples::SampleFrames());
  file.Append(samples::PicRgbFile({{{1, 1, 1, 1, 1, 1, true}}}));
  file.Append(samples::PicRgbFile({{}}));
  Read(file);
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 3);  // the trailing one-point and empty frames are dropped
  ASSERT_EQ(store.LastPointIndex[0], 3);
  EXPECT_EQ(store.RealPointCount(0), 4u);
  EXPECT_EQ(store.Frame(0)[0], Point(100, -200, 0, 255, 0, 0, 1, 0x80));
  EXPECT_EQ(store.Frame(0)[1], Point(-300, -400, 0, 0, 255, 0, 0, 0xC0));  // keeps its colour
  EXPECT_EQ(store.Frame(0)[3].Y, -32767);

  // N = 0 in the middle: LastPointIndex 0, not a wrapped 65535.
  Bytes middle = samples::PicRgbFile({{}});
  middle.Append(samples::PicRgbFile({samples::SampleFrames()[1]}));
  Read(middle);
  ASSERT_EQ(store.FrameCount, 2);
  EXPECT_EQ(store.LastPointIndex[0], 0);
  EXPECT_EQ(store.LastPointIndex[1], 1);
}

TEST_F(PicTest, OtherVariantsReadNothing) {
  Read(samples::PicRgbFile(samples::SampleFrames()));
  Bytes other = samples::PicRgbFile(samples::SampleFrames());
  other.data[0] = 2;
  Read(other);
  EXPECT_EQ(store.IoStatus, "I.O.");
  EXPECT_EQ(store.FrameCount, 0);
  ReadPic(store, dir.File("none.pic"), false, desktop);
  EXPECT_EQ(store.IoStatus, "PIC Datei Lesefehler2");
}

TEST_F(PicTest, ShortDataStopsWithTheVariantsMessage) {
  Bytes indexed = samples::PicIndexedFile(samples::SampleFrames());
  indexed.data.resize(indexed.data.size() - 1);
  Read(indexed);
  EXPECT_EQ(store.IoStatus, "Lesefehler PIC");
  EXPECT_EQ(store.FrameCount, 2);
  Bytes rgb = samples::PicRgbFile(samples::SampleFrames());
  rgb.data.resize(rgb.data.size() - 1);
  Read(rgb);
  EXPECT_EQ(store.IoStatus, "Lesefehler Pic RGB in XYZ");
  EXPECT_EQ(store.FrameCount, 2);
}

TEST_F(PicTest, MergeKeepsTheShowWhenNothingIsAdded) {
  Read(samples::PicRgbFile(samples::SampleFrames()));
  Read(samples::PicRgbFile({samples::SampleFrames()[1]}), true);
  ASSERT_EQ(store.FrameCount, 5);
  EXPECT_EQ(store.LastPointIndex[3], 0);
  Read(samples::PicRgbFile({{}}), true);
  EXPECT_EQ(store.FrameCount, 5);
}

}  // namespace
}  // namespace lumarex
