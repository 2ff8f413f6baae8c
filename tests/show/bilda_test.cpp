#include <gtest/gtest.h>

#include "show/bilda.h"
#include "tests/show/format_test_support.h"

namespace lumarex {
namespace {

using samples::Bytes;
using testing::Point;

class BildaTest : public ::testing::Test {
 protected:
  void Read(const Bytes& bytes, bool merge = false) {
    ReadBilda(store, dir.Write("show.lf", bytes), merge, desktop);
  }

  testing::ScratchDir dir;
  testing::RecordingDesktop desktop;
  ShowStore store;
};

TEST_F(BildaTest, FramesEndAtTheirMarkedPointAndAllPointsAreReal) {
  Bytes file = samples::BildaFile(samples::SampleFrames());
  file.U16LE(1).U16LE(1).U8(1).U8(1).U8(1).U8(0);  // after the last frame end: dropped
  Read(file);
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 3);
  ASSERT_EQ(store.LastPointIndex[0], 3);
  EXPECT_EQ(store.RealPointCount(0), 4u);
  EXPECT_EQ(store.Frame(0)[0], Point(100, 200, 0, 255, 0, 0, 1));
  EXPECT_EQ(store.Frame(0)[3], Point(-32768, 32767, 0, 10, 20, 30, 1));
  // Visibility comes from the colour alone: the sample's blanked green point is lit here,
  // its black point in frame 2 is blanked.
  EXPECT_EQ(store.Frame(0)[1].Visible, 1);
  EXPECT_EQ(store.Frame(2)[2].Visible, 0);
  EXPECT_EQ(store.Frame(2)[0].Z, 0);
}

TEST_F(BildaTest, EndMarkerNeedsHighNibble8AndBit0) {
  Bytes file;
  file.Text("LF").U8(0).U8(16).Zeros(4);
  file.U16LE(1).U16LE(1).U8(1).U8(0).U8(0).U8(0x91);  // not an end
  file.U16LE(2).U16LE(2).U8(1).U8(0).U8(0).U8(0x80);  // not an end
  file.U16LE(3).U16LE(3).U8(1).U8(0).U8(0).U8(0x8F);  // end
  file.U16LE(4).U16LE(4).U8(1).U8(0).U8(0).U8(0x81);  // end as first record: empty frame
  Read(file);
  ASSERT_EQ(store.FrameCount, 2);
  EXPECT_EQ(store.LastPointIndex[0], 2);
  EXPECT_EQ(store.LastPointIndex[1], 0);
  EXPECT_EQ(store.RealPointCount(1), 0u);
}

TEST_F(BildaTest, SizeAndMagicChecksLeaveTheShow) {
  Read(samples::BildaFile(samples::SampleFrames()));
  Bytes small = samples::BildaFile(samples::SampleFrames());
  small.data.resize(16);
  Read(small);
  EXPECT_EQ(store.IoStatus, "File zu Klein");
  Bytes unknown = samples::BildaFile(samples::SampleFrames());
  unknown.data[3] = 17;
  Read(unknown);
  EXPECT_EQ(store.IoStatus, "Dieses Format ist noch Unbekannt");
  Bytes wrongMagic = samples::BildaFile(samples::SampleFrames());
  wrongMagic.data[1] = 'X';
  Read(wrongMagic);
  EXPECT_EQ(store.IoStatus, "Kein Bilda Format");
  ReadBilda(store, dir.File("none.lf"), false, desktop);
  EXPECT_EQ(store.IoStatus, "Datei nicht vorhanden");
  EXPECT_EQ(store.FrameCount, 3);
}

TEST_F(BildaTest, AFrameBeyond65535PointsIsRefused) {
  Bytes file;
  file.Text("LF").U8(0).U8(16).Zeros(4);
  file.Append(samples::BildaFile({samples::SampleFrames()[1]}))
      .data.erase(file.data.begin() + 8, file.data.begin() + 16);
  for (int i = 0; i < 65536; ++i) file.U16LE(i).U16LE(0).U8(1).U8(1).U8(1).U8(0);
  Read(file);
  EXPECT_EQ(store.IoStatus, "Ungültige Daten");
  ASSERT_EQ(store.FrameCount, 1);
  EXPECT_EQ(store.LastPointIndex[0], 1);
}

TEST_F(BildaTest, MergeLeavesOneEmptyFrame) {
  Read(samples::BildaFile(samples::SampleFrames()));
  Read(samples::BildaFile({samples::SampleFrames()[1]}), true);
  ASSERT_EQ(store.FrameCount, 5);
  EXPECT_EQ(store.LastPointIndex[3], 0);
  EXPECT_EQ(store.Frame(4)[1].X, 3);
}

}  // namespace
}  // namespace lumarex
