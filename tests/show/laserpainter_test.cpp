#include <gtest/gtest.h>

#include "show/laserpainter.h"
#include "tests/show/format_test_support.h"

namespace lumarex {
namespace {

using samples::Bytes;
using testing::Point;

class LaserPainterTest : public ::testing::Test {
 protected:
  void Fla(const Bytes& bytes, bool merge = false) {
    ReadFla(store, dir.Write("show.fla", bytes), merge, desktop);
  }
  void Flx(const Bytes& bytes, bool merge = false) {
    ReadFlx(store, dir.Write("show.flx", bytes), merge, desktop);
  }

  testing::ScratchDir dir;
  testing::RecordingDesktop desktop;
  ShowStore store;
};

TEST_F(LaserPainterTest, CentredCoordinatesAndBeamRules) {
  Bytes file;
  file.Zeros(20).Zeros(2).U16LE(4).Zeros(7);
  file.U16LE(1).U16LE(32768).U16LE(32768).Zeros(2).U8(1).U8(2).U8(3);  // the origin
  file.U16LE(5).U16LE(0).U16LE(0).Zeros(2).U8(0).U8(0).U8(0);          // lit but black: blanked
  file.U16LE(0).U16LE(65535).U16LE(65535).Zeros(2).U8(9).U8(9).U8(9);  // beam off
  file.U16LE(1).U16LE(40000).U16LE(30000).Zeros(2).U8(0).U8(0).U8(1);
  Fla(file);
  EXPECT_EQ(store.IoStatus, "I.O.");
  EXPECT_EQ(store.SourceFormatCode, 14);
  ASSERT_EQ(store.FrameCount, 1);
  ASSERT_EQ(store.LastPointIndex[0], 4);
  EXPECT_EQ(store.RealPointCount(0), 4u);
  EXPECT_EQ(store.Frame(0)[0], Point(0, 0, 0, 1, 2, 3, 1));
  // A file Y of 0 is the top edge; it must not wrap round to the bottom.
  EXPECT_EQ(store.Frame(0)[1], Point(-32768, 32767, 0, 0, 0, 0, 0));
  EXPECT_EQ(store.Frame(0)[2], Point(32767, -32767, 0, 9, 9, 9, 0));
  EXPECT_EQ(store.Frame(0)[3], Point(7232, 2768, 0, 0, 0, 1, 1));
  EXPECT_EQ(store.Frame(0)[4], ShowPoint{});
}

TEST_F(LaserPainterTest, HeaderLengthsDiffer) {
  Fla(samples::LaserPainterFile(samples::SampleFrames(), true));
  EXPECT_EQ(store.IoStatus, "I.O.");
  EXPECT_EQ(store.FrameCount, 3);
  Flx(samples::LaserPainterFile(samples::SampleFrames(), false));
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 3);
  EXPECT_EQ(store.Frame(1)[1], Point(3, -4, 0, 6, 5, 4, 1));
}

TEST_F(LaserPainterTest, EachShortReadHasItsMessage) {
  const Bytes fla = samples::LaserPainterFile(samples::SampleFrames(), true);
  const Bytes flx = samples::LaserPainterFile(samples::SampleFrames(), false);
  struct Case {
    bool isFla;
    size_t length;
    const char* message;
  };
  const Case cases[] = {
      {true, 19, "Lesefehler FLA im Header"},
      {true, 21, "Lesefehler FLA in Müll"},
      {true, 23, "Lesefehler FLA in Punkte je Frame"},
      {true, 30, "Lesefehler FLA im Header"},
      {true, 40, "Lesefehler FLA in XYZ RGB"},
      {false, 8, "Lesefehler FLX im File-Header"},
      {false, 10, "Lesefehler FLX in Punkte je Frame"},
      {false, 12, "Lesefehler FLX in Punkte je Frame"},
      {false, 19, "Lesefehler FLX im Frame-Header"},
      {false, 30, "Lesefehler FLX in XYZ RGB"},
  };
  for (const Case& c : cases) {
    Bytes cut = c.isFla ? fla : flx;
    cut.data.resize(c.length);
    if (c.isFla) {
      Fla(cut);
    } else {
      Flx(cut);
    }
    EXPECT_EQ(store.IoStatus, c.message) << c.length;
    EXPECT_EQ(store.FrameCount, 0) << c.length;
  }
  ReadFla(store, dir.File("none.fla"), false, desktop);
  EXPECT_EQ(store.IoStatus, "FLA Datei Lesefehler2");
  ReadFlx(store, dir.File("none.flx"), false, desktop);
  EXPECT_EQ(store.IoStatus, "FLX Dateifehler2");
}

TEST_F(LaserPainterTest, MergeLeavesOneEmptyFrame) {
  Flx(samples::LaserPainterFile(samples::SampleFrames(), false));
  Fla(samples::LaserPainterFile({samples::SampleFrames()[2]}, true), true);
  ASSERT_EQ(store.FrameCount, 5);
  EXPECT_EQ(store.LastPointIndex[3], 0);
  EXPECT_EQ(store.Frame(4)[0].X, -5);
}

}  // namespace
}  // namespace lumarex
