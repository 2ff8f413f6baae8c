#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "show/cat.h"
#include "show/ilda.h"
#include "tests/show/format_test_support.h"

namespace lumarex {
namespace {

using samples::Bytes;
using samples::FileFrame;
using testing::AsWritten;
using testing::Point;
using testing::RealPoints;

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CatTest : public ::testing::Test {
 protected:
  void Read(const Bytes& bytes, bool merge = false) {
    ReadCat(store, dir.Write("show.cat", bytes), merge, desktop);
  }

  testing::ScratchDir dir;
  testing::RecordingDesktop desktop;
  ShowStore store;
};

TEST_F(CatTest, RgbFrameKeepsEveryPointAndAppendsABlankedZeroPoint) {
  Read(samples::CatRgbFile(samples::SampleFrames()));
  EXPECT_EQ(store.IoStatus, "I.O.");
  EXPECT_EQ(store.SourceFormatCode, 3);
  ASSERT_EQ(store.FrameCount, 3);
  ASSERT_EQ(store.LastPointIndex[0], 4);
  EXPECT_EQ(store.RealPointCount(0), 4u);
  const auto frame = store.Frame(0);
  EXPECT_EQ(frame[0], Point(100, -200, 0, 255, 0, 0, 1, 0x80));
  EXPECT_EQ(frame[1], Point(-300, -400, 0, 0, 0, 0, 0, 0));  // blanked: black, no index
  EXPECT_EQ(frame[2], Point(32767, 32767, 0, 0, 0, 255, 1, 0x80));
  EXPECT_EQ(frame[3], Point(-32768, -32767, 0, 10, 20, 30, 1, 0x80));
  EXPECT_EQ(frame[4], ShowPoint{});
  EXPECT_EQ(store.Frame(2)[1].Z, -10);
  EXPECT_GE(desktop.processed, 1);
}

TEST_F(CatTest, LdsFramesTakeThePaletteAndAOnePointFrameIsEmpty) {
  store.Palette[8] = {1, 2, 3};
  store.Palette[63] = {7, 8, 9};
  const std::vector<FileFrame> frames = {
      {{1, -32768, 5, 0, 0, 0, true, 63},
       {2, 3, 0, 0, 0, 0, false, 8},
       {4, 5, 0, 0, 0, 0, true, 8}},
      {{9, 9, 9, 0, 0, 0, true, 8}},
      {{6, 7, 0, 0, 0, 0, true, 8}, {8, 9, 0, 0, 0, 0, true, 63}}};
  Read(samples::CatLdsFile(frames));
  EXPECT_EQ(store.SourceFormatCode, 2);
  ASSERT_EQ(store.FrameCount, 3);
  ASSERT_EQ(store.LastPointIndex[0], 2);  // N >= 2: all N points, no extra one
  EXPECT_EQ(store.RealPointCount(0), 3u);
  EXPECT_EQ(store.Frame(0)[0], Point(1, 32767, 5, 7, 8, 9, 1, 63));
  EXPECT_EQ(store.Frame(0)[1], Point(2, -3, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(store.Frame(0)[2], Point(4, -5, 0, 1, 2, 3, 1, 8));
  EXPECT_EQ(store.LastPointIndex[1], 0);
  EXPECT_EQ(store.RealPointCount(1), 0u);
  EXPECT_EQ(store.RealPointCount(2), 2u);
}

TEST_F(CatTest, PhoenixHeaderMarkDecidesTheSourceCode) {
  Read(samples::PhoenixCatFile(samples::SampleFrames(), true));
  EXPECT_EQ(store.SourceFormatCode, 16);
  ASSERT_EQ(store.FrameCount, 3);
  EXPECT_EQ(store.Frame(1)[1], Point(3, -4, 0, 6, 5, 4, 1, 0x80));
  Read(samples::PhoenixCatFile(samples::SampleFrames(), false));
  EXPECT_EQ(store.SourceFormatCode, 17);
  EXPECT_EQ(store.FrameCount, 3);
  EXPECT_EQ(store.IoStatus, "I.O.");
}

TEST_F(CatTest, PhoenixHeaderCutShortIsAReadFailure) {
  for (const bool marked : {true, false}) {
    Bytes file = samples::PhoenixCatFile(samples::SampleFrames(), marked);
    file.data.resize(1 + 110);
    Read(file);
    EXPECT_EQ(store.IoStatus, "Lesefehler Cat RGB in XYZ");
    EXPECT_EQ(store.SourceFormatCode, marked ? 16 : 17);
    EXPECT_EQ(store.FrameCount, 0);
  }
}

TEST_F(CatTest, OnlyTrailingEmptyFramesAreDropped) {
  Bytes file;
  file.U8(1).U16LE(0);  // empty RGB frame first, as the LDS 2008 writer puts it
  file.U8(9);           // an unknown kind still counts as a section
  file.Append(samples::CatRgbFile({samples::SampleFrames()[1]}));
  file.U8(1).U16LE(0).U8(0).U16LE(1).U16LE(0).U16LE(0).U16LE(0).U8(0).U8(0);
  file.U8(1).U8(0);  // two stray bytes are never a section
  Read(file);
  EXPECT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 3);
  EXPECT_EQ(store.LastPointIndex[0], 0);
  EXPECT_EQ(store.LastPointIndex[1], 0);
  EXPECT_EQ(store.LastPointIndex[2], 2);
  EXPECT_EQ(store.LastPointIndex[3], 0);
  EXPECT_TRUE(store.FramePoints[3].empty());
}

TEST_F(CatTest, ShortPointDataNamesTheSectionKind) {
  Bytes rgb = samples::CatRgbFile(samples::SampleFrames());
  rgb.data.resize(rgb.data.size() - 1);
  Read(rgb);
  EXPECT_EQ(store.IoStatus, "Lesefehler Cat RGB in XYZ");
  EXPECT_EQ(store.FrameCount, 2);
  Bytes lds = samples::CatLdsFile(samples::SampleFrames());
  lds.data.resize(lds.data.size() - 3);
  Read(lds);
  EXPECT_EQ(store.IoStatus, "Lesefehler Cat");
  EXPECT_EQ(store.FrameCount, 2);
}

TEST_F(CatTest, AFileThatCannotBeOpenedLeavesTheShow) {
  Read(samples::CatRgbFile(samples::SampleFrames()));
  ReadCat(store, dir.File("missing.cat"), false, desktop);
  EXPECT_EQ(store.IoStatus, "Cat Datei Lesefehler2");
  EXPECT_EQ(store.FrameCount, 3);
}

TEST_F(CatTest, MergeAppendsAfterOneEmptyFrameAndAnEmptyFileAddsNothing) {
  Read(samples::CatRgbFile(samples::SampleFrames()));
  Read(samples::CatRgbFile({samples::SampleFrames()[1]}), true);
  ASSERT_EQ(store.FrameCount, 5);
  EXPECT_EQ(store.LastPointIndex[3], 0);
  EXPECT_EQ(store.LastPointIndex[4], 2);
  EXPECT_EQ(store.Frame(4)[0].X, 1);
  // A merged file without frames must not take the show's own trailing empty frame away.
  store.AppendEmptyFrame();
  Bytes empty;
  empty.U8(1).U16LE(0).U8(1).U16LE(0);
  Read(empty, true);
  EXPECT_EQ(store.FrameCount, 6);
}

// A show with frames whose points are all real (as the ILDA reader gives them).
void FillShow(ShowStore& store) {
  store.ClearShow();
  store.FrameCount = 0;
  auto a = store.NewFrame(3);
  a[0] = Point(10, -32768, 3, 1, 2, 3, 1);
  a[1] = Point(-10, 20, 0, 4, 5, 6, 0);
  a[2] = Point(32767, 32767, -3, 255, 254, 253, 1);
  store.CommitFrame(2, FrameTail::kAllReal);
  store.AppendTwoPointEmptyFrame();
  auto b = store.NewFrame(2);
  b[0] = Point(1, 1, 0, 9, 9, 9, 1);
  b[1] = Point(2, 2, 0, 8, 8, 8, 1);
  store.CommitFrame(1, FrameTail::kAllReal);
}

TEST_F(CatTest, Lds2008WriterBytesAreExact) {
  FillShow(store);
  const std::string path = dir.File("out");
  WriteCat2008(store, path, 0, 2, desktop);
  EXPECT_EQ(store.IoStatus, "I.O.");
  Bytes expected;
  expected.U8(1).U16LE(0);
  expected.U8(1).U16LE(3);
  expected.U16LE(10).U16LE(32767).U16LE(3).U8(0x80).U8(0).U8(1).U8(2).U8(3);
  expected.U16LE(-10).U16LE(-20).U16LE(0).U8(0xC0).U8(0).U8(0).U8(0).U8(0);
  expected.U16LE(32767).U16LE(-32767).U16LE(-3).U8(0x80).U8(0).U8(255).U8(254).U8(253);
  expected.U8(1).U16LE(0);
  expected.U8(1).U16LE(2);
  expected.U16LE(1).U16LE(-1).U16LE(0).U8(0x80).U8(0).U8(9).U8(9).U8(9);
  expected.U16LE(2).U16LE(-2).U16LE(0).U8(0x80).U8(0).U8(8).U8(8).U8(8);
  EXPECT_EQ(FileBytes(path + ".CAT"), expected.data);
}

TEST_F(CatTest, PhoenixWriterStartsWithItsHeader) {
  FillShow(store);
  const std::string path = dir.File("out.cat");
  WritePhoenixCat(store, path, 2, 2, desktop);
  const std::vector<uint8_t> bytes = FileBytes(path);
  ASSERT_EQ(bytes.size(), 112u + 3u + 2u * 11u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 5),
            (std::vector<uint8_t>{0x74, 0x61, 0x43, 0x6E, 0}));
  EXPECT_EQ(bytes[111], 107);
  EXPECT_EQ(bytes[112], 0);  // the frame byte
  EXPECT_EQ(bytes[113], 2);
}

TEST_F(CatTest, WrittenFilesReadBackWithTheSamePoints) {
  Read(samples::CatRgbFile(samples::SampleFrames()));
  ShowStore original = store;
  const std::string lds = dir.File("lds.cat"), phoenix = dir.File("phoenix.cat");
  WriteCat2008(store, lds, 0, store.FrameCount - 1, desktop);
  WritePhoenixCat(store, phoenix, 0, store.FrameCount - 1, desktop);

  ReadCat(store, lds, false, desktop);
  ASSERT_EQ(store.FrameCount, original.FrameCount + 1);
  EXPECT_EQ(store.LastPointIndex[0], 0);  // the writer's leading empty frame stays
  for (uint32_t n = 0; n < original.FrameCount; ++n) {
    EXPECT_EQ(RealPoints(store, n + 1), RealPoints(original, n)) << "frame " << n;
  }
  ReadCat(store, phoenix, false, desktop);
  EXPECT_EQ(store.SourceFormatCode, 16);
  ASSERT_EQ(store.FrameCount, original.FrameCount);
  for (uint32_t n = 0; n < original.FrameCount; ++n) {
    EXPECT_EQ(RealPoints(store, n), RealPoints(original, n)) << "frame " << n;
  }
}

TEST_F(CatTest, EveryPointOfAnIldaShowReachesTheCatFile) {
  FillShow(store);
  const ShowStore original = store;
  const std::string path = dir.File("ilda.cat");
  WriteCat2008(store, path, 0, 2, desktop);
  ReadCat(store, path, false, desktop);
  ASSERT_EQ(store.FrameCount, 4);
  ASSERT_EQ(store.RealPointCount(1), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    ShowPoint expected = AsWritten(original.FramePoints[0][i]);
    if (expected.Visible) expected.ColourIndex = 0x80;
    if (expected.Y == -32768) expected.Y = -32767;  // the bottom edge is clamped on the way out
    EXPECT_EQ(store.FramePoints[1][i], expected) << "point " << i;
  }
  EXPECT_EQ(store.RealPointCount(2), 0u);
  EXPECT_EQ(store.RealPointCount(3), 2u);
}

TEST_F(CatTest, WriterAppendsItsExtensionAndReportsAFolderItCannotWrite) {
  FillShow(store);
  WriteCat2008(store, dir.File("lower.cat"), 0, 0, desktop);
  EXPECT_TRUE(std::filesystem::exists(dir.File("lower.cat")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("lower.cat.CAT")));
  WriteCat2008(store, dir.File("none/x.cat"), 0, 0, desktop);
  EXPECT_EQ(store.IoStatus, "Konnte Cat2008 nicht schreiben");
  WritePhoenixCat(store, dir.File("none/x.cat"), 0, 0, desktop);
  EXPECT_EQ(store.IoStatus, "Konnte Phoenix RGB Cat nicht schreiben");
}

TEST_F(CatTest, PaletteFileSetsTheFirst64Entries) {
  store.Palette[64] = {5, 5, 5};
  ReadPal(store, dir.Write("colours.pal", samples::PalFile()));
  EXPECT_EQ(store.IoStatus, "Pal muß vor dem *.Cat File geladen werden !");
  EXPECT_EQ(store.ShowFileSize, 576u);
  EXPECT_EQ(store.Palette[0], (RgbColour{0, 255, 0}));
  EXPECT_EQ(store.Palette[63], (RgbColour{252, 192, 63}));
  EXPECT_EQ(store.Palette[64], (RgbColour{5, 5, 5}));

  const PaletteTable before = store.Palette;
  for (const size_t size : {575u, 577u, 0u}) {
    Bytes wrong = samples::PalFile();
    wrong.data.resize(size, 1);
    ReadPal(store, dir.Write("wrong.pal", wrong));
    EXPECT_EQ(store.IoStatus, "Unzulässige Dateilänge in PAL");
    EXPECT_EQ(store.Palette, before);
  }
  ReadPal(store, dir.File("missing.pal"));
  EXPECT_EQ(store.IoStatus, "LDS Pal Lesefehler2");
}

}  // namespace
}  // namespace lumarex
