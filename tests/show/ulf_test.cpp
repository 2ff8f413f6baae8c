#include <gtest/gtest.h>

#include "show/ulf.h"
#include "tests/show/format_test_support.h"

namespace lumarex {
namespace {

using samples::Bytes;
using testing::Point;
using testing::RealPoints;

class UlfTest : public ::testing::Test {
 protected:
  void Read(const Bytes& bytes, bool merge = false) {
    ReadUlf(store, dir.Write("show.ulf", bytes), merge, desktop);
  }

  testing::ScratchDir dir;
  testing::RecordingDesktop desktop;
  ShowStore store;
};

TEST_F(UlfTest, EveryPointTakesTheBeamStateOfItsOwnRecord) {
  Read(samples::UlfFile(samples::SampleFrames()));
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 3);
  ASSERT_EQ(store.LastPointIndex[0], 4);
  EXPECT_EQ(store.RealPointCount(0), 4u);
  const auto frame = store.Frame(0);
  EXPECT_EQ(frame[0], Point(100, -200, 0, 255, 0, 0, 1));
  EXPECT_EQ(frame[1], Point(-300, -400, 0, 0, 255, 0, 0));  // a blanked record keeps its colour
  EXPECT_EQ(frame[2], Point(32767, 32767, 0, 0, 0, 255, 1));
  EXPECT_EQ(frame[4], ShowPoint{});
  // Point 0 is not lit unconditionally: a blanked first record stays blanked.
  Read(samples::UlfFile({{{5, 5, 0, 1, 1, 1, false}, {6, 6, 0, 1, 1, 1, true}}}));
  EXPECT_EQ(store.Frame(0)[0].Visible, 0);
  EXPECT_EQ(store.Frame(0)[1].Visible, 1);
}

TEST_F(UlfTest, BottomEdgeStaysAtTheBottom) {
  Read(samples::UlfFile({{{0, -32768, 0, 1, 1, 1, true}, {0, 32767, 0, 1, 1, 1, true}}}));
  EXPECT_EQ(store.Frame(0)[0].Y, 32767);
  EXPECT_EQ(store.Frame(0)[1].Y, -32767);
}

TEST_F(UlfTest, HeaderChecksStopTheReadingThere) {
  Bytes file = samples::UlfFile({samples::SampleFrames()[1]});
  file.Append(samples::UlfFile({samples::SampleFrames()[0]}, 3));
  Read(file);
  EXPECT_EQ(store.IoStatus, "Kein Ulf Format");
  EXPECT_EQ(store.FrameCount, 1);
  Read(samples::UlfFile({samples::SampleFrames()[1]}, 4));
  EXPECT_EQ(store.IoStatus, "I.O.");
  Read(samples::PhoFile(samples::SampleFrames()));
  EXPECT_EQ(store.IoStatus, "Kein Ulf Format");
  EXPECT_EQ(store.FrameCount, 0);
}

TEST_F(UlfTest, DataSizeRulesAndTrailingBytes) {
  Bytes file;
  file.Text("ULF").U8(0).U8(2).Zeros(11).U32LE(0).U32LE(0);   // data size 0: an empty frame
  file.Text("ULF").U8(0).U8(2).Zeros(11).U32LE(0).U32LE(11);  // 11 bytes: one record and 3 more
  file.U16LE(1).U16LE(2).U8(3).U8(4).U8(5).U8(0xFF).U8(1).U8(2).U8(3);
  file.Text("ULF").Zeros(20);  // fewer than 24 bytes left over are passed by
  file.data.resize(file.data.size() - 1);
  Read(file);
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 2);
  EXPECT_EQ(store.LastPointIndex[0], 0);
  EXPECT_EQ(store.RealPointCount(0), 0u);
  ASSERT_EQ(store.LastPointIndex[1], 1);
  EXPECT_EQ(store.Frame(1)[0], Point(1, -2, 0, 3, 4, 5, 1));

  Bytes huge;
  huge.Text("ULF").U8(0).U8(2).Zeros(11).U32LE(0).U32LE(65536 * 8);
  huge.Zeros(65536 * 8);
  Read(huge);
  EXPECT_EQ(store.IoStatus, "Lesefehler ULF");
  EXPECT_EQ(store.FrameCount, 0);

  Bytes cut = samples::UlfFile(samples::SampleFrames());
  cut.data.resize(cut.data.size() - 1);
  Read(cut);
  EXPECT_EQ(store.IoStatus, "Lesefehler ULF");
  EXPECT_EQ(store.FrameCount, 2);
}

TEST_F(UlfTest, OpenFailureAndMerge) {
  Read(samples::UlfFile(samples::SampleFrames()));
  ReadUlf(store, dir.File("gone.ulf"), false, desktop);
  EXPECT_EQ(store.IoStatus, "Ulf Datei Lesefehler2");
  EXPECT_EQ(store.FrameCount, 3);
  Read(samples::UlfFile({samples::SampleFrames()[2]}), true);
  ASSERT_EQ(store.FrameCount, 5);
  EXPECT_EQ(store.LastPointIndex[3], 0);
  EXPECT_EQ(store.Frame(4)[0].X, -5);
}

TEST_F(UlfTest, WriterLayoutAndRoundTrip) {
  Read(samples::UlfFile(samples::SampleFrames()));
  const ShowStore original = store;
  const std::string path = dir.File("copy");
  WriteUlf(store, path, 0, 2, desktop);
  EXPECT_EQ(store.IoStatus, "I.O.");
  Bytes expectedStart;
  expectedStart.Text("ULF").U8(0).U8(2).Zeros(7).U8(8).Zeros(3).U32LE(28000).U32LE(32);
  expectedStart.U16LE(100).U16LE(200).U8(255).U8(0).U8(0).U8(0xFF);
  expectedStart.U16LE(-300).U16LE(400).U8(0).U8(0).U8(0).U8(0);  // blanked: no colour
  ReadUlf(store, path + ".ULF", false, desktop);
  ASSERT_EQ(store.FrameCount, 3);
  for (uint32_t n = 0; n < 3; ++n) {
    EXPECT_EQ(RealPoints(store, n), testing::AsWritten(RealPoints(original, n))) << "frame " << n;
  }
  samples::Bytes written;
  {
    std::FILE* f = std::fopen((path + ".ULF").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    written.data.resize(expectedStart.data.size());
    ASSERT_EQ(std::fread(written.data.data(), 1, written.data.size(), f), written.data.size());
    std::fclose(f);
  }
  EXPECT_EQ(written.data, expectedStart.data);
  WriteUlf(store, dir.File("no/such.ulf"), 0, 2, desktop);
  EXPECT_EQ(store.IoStatus, "Konnte Ulf Datei nicht schreiben");
}

class PhoTest : public UlfTest {};

TEST_F(PhoTest, DataSizeWordsHighFirst) {
  Bytes file;
  file.Text("PHO").U8(0).U8(2).Zeros(13).U16LE(0).U16LE(0x0100).Zeros(2);
  for (int i = 0; i < 32; ++i) file.U16LE(i).U16LE(-i).U8(1).U8(2).U8(3).U8(i == 0 ? 0 : 0xFF);
  ReadPho(store, dir.Write("a.pho", file), false, desktop);
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 1);
  EXPECT_EQ(store.LastPointIndex[0], 32);
  EXPECT_EQ(store.Frame(0)[0], Point(0, 0, 0, 1, 2, 3, 0));
  EXPECT_EQ(store.Frame(0)[31], Point(31, 31, 0, 1, 2, 3, 1));
}

TEST_F(PhoTest, MessagesAndRecords) {
  ReadPho(store, dir.Write("b.pho", samples::PhoFile(samples::SampleFrames())), false, desktop);
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 3);
  EXPECT_EQ(store.Frame(0)[1], Point(-300, -400, 0, 0, 255, 0, 0));
  ReadPho(store, dir.Write("c.pho", samples::UlfFile(samples::SampleFrames())), false, desktop);
  EXPECT_EQ(store.IoStatus, "Kein PHO Format");
  EXPECT_EQ(store.FrameCount, 0);
  Bytes cut = samples::PhoFile(samples::SampleFrames());
  cut.data.resize(cut.data.size() - 8);
  ReadPho(store, dir.Write("d.pho", cut), false, desktop);
  EXPECT_EQ(store.IoStatus, "Lesefehler PHO");
  EXPECT_EQ(store.FrameCount, 2);
  ReadPho(store, dir.File("none.pho"), false, desktop);
  EXPECT_EQ(store.IoStatus, "PHO Datei Lesefehler2");
}

}  // namespace
}  // namespace lumarex
