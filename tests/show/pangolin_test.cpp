#include <gtest/gtest.h>

#include "show/pangolin.h"
#include "tests/show/format_test_support.h"

namespace lumarex {
namespace {

using samples::Bytes;
using samples::PangolinFrame;
using testing::Point;

class PangolinTest : public ::testing::Test {
 protected:
  void Read(const Bytes& bytes, bool merge = false) {
    ReadPangolin(store, dir.Write("show.ldb", bytes), merge, desktop);
  }

  testing::ScratchDir dir;
  testing::RecordingDesktop desktop;
  ShowStore store;
};

const samples::FileFrame kPoints = {
    {1, 2, 3, 0, 0, 0, true, 1}, {-4, -5, -6, 0, 0, 0, false, 0}, {7, 8, 9, 0, 0, 0, true, 9}};

TEST_F(PangolinTest, RecordKindsGiveTheirSizes) {
  Read(samples::PangolinFile({{2, kPoints}, {201, {}, 4}, {13, kPoints}, {0, kPoints}}));
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 4);
  for (const uint32_t n : {0u, 2u, 3u}) {
    ASSERT_EQ(store.LastPointIndex[n], 2) << n;
    EXPECT_EQ(store.RealPointCount(n), 3u);
  }
  EXPECT_EQ(store.Frame(0)[0], Point(1, 2, 3, 11, 12, 13, 1));
  EXPECT_EQ(store.Frame(2)[0], Point(1, 2, 0, 11, 12, 13, 1));
  EXPECT_EQ(store.Frame(3)[2].Z, 9);
  // A zero colour field is blanked but coloured by palette entry 0.
  EXPECT_EQ(store.Frame(0)[1], Point(-4, -5, -6, 1, 2, 3, 0));
  // An index beyond the file's four colours is black.
  EXPECT_EQ(store.Frame(0)[2], Point(7, 8, 9, 0, 0, 0, 1));
  // A kind without records keeps its point count of blanked origin points.
  EXPECT_EQ(store.LastPointIndex[1], 3);
  EXPECT_EQ(store.Frame(1)[3], ShowPoint{});
}

TEST_F(PangolinTest, ReadingStopsWhenLessThanARecordIsLeft) {
  // Descriptors of empty frames after the last data, and five stray bytes: no frame follows.
  Bytes file = samples::PangolinFile({{1, kPoints}, {1, {}}, {201, {}, 2}});
  file.Zeros(5);
  Read(file);
  EXPECT_EQ(store.IoStatus, "I.O.");
  EXPECT_EQ(store.FrameCount, 1);
  // The first frame is read even when the file holds no point data at all.
  Read(samples::PangolinFile({{1, {}}, {1, {}}}));
  EXPECT_EQ(store.FrameCount, 1);
}

TEST_F(PangolinTest, UnknownKindStopsWithAMessageNamingIt) {
  Read(samples::PangolinFile({{1, kPoints}, {12, kPoints}, {1, kPoints}}));
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0], "Unbekanntes Pangolin LDB Format im Frame 12");
  EXPECT_EQ(store.IoStatus, desktop.messages[0]);
  EXPECT_EQ(store.FrameCount, 1);
}

TEST_F(PangolinTest, WrongMagicLeavesTheShow) {
  Read(samples::PangolinFile({{1, kPoints}}));
  Bytes other = samples::PangolinFile({{1, kPoints}});
  other.data[0] = 'Q';
  Read(other);
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0], "Kein Pangolin File");
  EXPECT_EQ(store.FrameCount, 1);
  ReadPangolin(store, dir.File("none.ldb"), false, desktop);
  EXPECT_EQ(store.IoStatus, "LDB Datei Lesefehler2");
}

TEST_F(PangolinTest, ShortPointDataNamesTheRecordSize) {
  const std::pair<int, const char*> cases[] = {
      {0, "Lesefehler Pango 3D"}, {1, "Lesefehler Pango 2D"}, {2, "Lesefehler Pango Format:2"}};
  for (const auto& [kind, message] : cases) {
    Bytes file = samples::PangolinFile({{1, kPoints}, {kind, kPoints}});
    file.data.resize(file.data.size() - 1);
    Read(file);
    EXPECT_EQ(store.IoStatus, message);
    EXPECT_EQ(store.FrameCount, 1);
  }
}

TEST_F(PangolinTest, NameBlockOfLengthZeroIsOneByte) {
  Bytes file;
  file.Text("PANGOLINOBJECT1").U8(0).U16BE(1).U8(0xAA).U8(1).U8(0).U8(30).U8(20).U8(10);
  file.Zeros(4).U16BE(2).U8(0).U8(1).Zeros(64);
  file.U16BE(5).U16BE(6).U8(1).U8(0).U16BE(7).U16BE(8).U8(0).U8(0);
  Read(file);
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 1);
  EXPECT_EQ(store.Frame(0)[0], Point(5, 6, 0, 10, 20, 30, 1));
  EXPECT_EQ(store.Frame(0)[1], Point(7, 8, 0, 10, 20, 30, 0));
}

TEST_F(PangolinTest, MergeLeavesOneEmptyFrame) {
  Read(samples::PangolinFile({{1, kPoints}}));
  Read(samples::PangolinFile({{0, kPoints}, {1, kPoints}}), true);
  ASSERT_EQ(store.FrameCount, 4);
  EXPECT_EQ(store.LastPointIndex[1], 0);
  EXPECT_EQ(store.Frame(2)[0].Z, 3);
}

}  // namespace
}  // namespace lumarex
