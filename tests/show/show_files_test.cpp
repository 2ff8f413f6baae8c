#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "show/beside_files.h"
#include "show/cat.h"
#include "show/load_status.h"
#include "show/mamba_black.h"
#include "show/show_files.h"
#include "tests/show/format_samples_list.h"
#include "tests/show/format_test_support.h"

namespace lumarex {
namespace {

using samples::Bytes;
using testing::AsWritten;
using testing::RealPoints;

// Every reading of the clock is 1234 ms after the one before.
class SteppingClock final : public Clock {
 public:
  uint32_t NowMs() const override { return now_ += 1234; }

 private:
  mutable uint32_t now_ = 0;
};

class ShowFilesTest : public ::testing::Test {
 protected:
  LoadResult Load(const std::string& path, bool merge = false) {
    return LoadShow(store, readers, path, merge, desktop, clock);
  }
  std::string Ilda(const std::string& name, uint32_t frames) {
    ShowStore show;
    show.FrameCount = 0;
    for (uint32_t n = 0; n < frames; ++n) {
      auto points = show.NewFrame(3);
      points[0] = testing::Point(static_cast<int>(n), 1, 0, 255, 0, 0, 1);
      points[1] = testing::Point(2, static_cast<int>(n), 0, 0, 255, 0, 1);
      show.CommitFrame(1, FrameTail::kAllReal);
    }
    const std::string path = dir.File(name);
    WriteIlda(show, path, 0, static_cast<int32_t>(frames) - 1, desktop);
    return path;
  }

  testing::ScratchDir dir;
  testing::RecordingDesktop desktop;
  SteppingClock clock;
  ShowStore store;
  ShowReaders readers;
};

TEST_F(ShowFilesTest, TableCoversEveryExtensionWithItsSourceCode) {
  const std::pair<const char*, int> expected[] = {
      {"a.fla", 14}, {"a.FLX", 14}, {"a.Ild", 1},  {"a.slf", 4},  {"a.lf", 4},   {"a.ldb", 20},
      {"a.cat", 2},  {"a.pic", 5},  {"a.ulf", 19}, {"a.pho", 18}, {"a.eil", 15}, {"a.gr1", 22}};
  for (const auto& [name, code] : expected) {
    const ShowFormat* format = FindShowFormat(name);
    ASSERT_NE(format, nullptr) << name;
    EXPECT_EQ(format->sourceFormatCode, code) << name;
  }
  EXPECT_EQ(ShowFormats().size(), std::size(expected));
  EXPECT_EQ(FindShowFormat("a.bin"), nullptr);
  EXPECT_EQ(FindShowFormat("folder.cat/file"), nullptr);
}

TEST_F(ShowFilesTest, UnknownExtensionKeepsTheShowAndItsStatus) {
  Load(Ilda("show.ild", 3));
  store.IoStatus = "Lesefehler ULF";
  const LoadResult result = Load(dir.File("show.bin"));
  EXPECT_FALSE(result.readerRan);
  EXPECT_EQ(store.FrameCount, 3);
  const auto lines = LoadStatusLines(store, readers.ilda.IldaFormatsSeen, result, std::nullopt);
  EXPECT_EQ(lines.back().text, "Lesefehler ULF in : 1.234 Sek mit 3 Frames ");
}

TEST_F(ShowFilesTest, MergeLeavesOneEmptyFrameAndTheSaveRangeCoversTheShow) {
  Load(Ilda("first.ild", 3));
  EXPECT_EQ(store.SaveRangeStart, 0);
  EXPECT_EQ(store.SaveRangeEnd, 2);
  const std::string fileName = store.ShowFileName;
  Load(dir.Write("second.cat", samples::CatRgbFile(samples::SampleFrames())), true);
  ASSERT_EQ(store.FrameCount, 3 + 1 + 3);
  EXPECT_EQ(store.SourceFormatCode, 3);
  EXPECT_EQ(store.ShowFileName, fileName);  // a merge keeps the show's name
  EXPECT_EQ(store.LastPointIndex[3], 0);
  EXPECT_EQ(store.SaveRangeEnd, 6);
  EXPECT_EQ(MergeStatusLines(store)[2].text.rfind("Gesamtframes : 6", 0), 0u);
  const auto range = SaveRangeLines(store, true);
  ASSERT_EQ(range.size(), 2u);
  EXPECT_EQ(range[1].text.rfind("Save File End   : 6", 0), 0u);

  // Saving the range writes every frame once.
  ASSERT_TRUE(SaveShow(store, ShowWriter::kIlda, dir.File("all.ild"), store.SaveRangeStart,
                       store.SaveRangeEnd, desktop));
  ShowStore copy;
  ShowReaders copyReaders;
  LoadShowFile(copy, copyReaders, dir.File("all.ild"), false, desktop);
  EXPECT_EQ(copy.FrameCount, 7);
}

TEST_F(ShowFilesTest, StatusLinesOfALoad) {
  const LoadResult result = Load(Ilda("show.ild", 2));
  const auto lines = LoadStatusLines(store, readers.ilda.IldaFormatsSeen, result, 205);
  const std::vector<StatusText> expected = {
      {10, 115, "File        : SHOW.ILD"},
      {10, 130, "Size       : 0 KB "},
      {10, 145, "Ilda Format:  5"},
      {10, 160, "I.O. in : 1.234 Sek mit 2 Frames "},
      {10, 175, "Showlänge "},
      {110, 175, ": 03 : 25 : 00"},
  };
  EXPECT_EQ(lines, expected);
  const auto range = SaveRangeLines(store, false);
  ASSERT_EQ(range.size(), 4u);
  EXPECT_EQ(range[3].text.rfind(": 1", 0), 0u);
}

TEST_F(ShowFilesTest, LongNamesAreCutWithTheirProtectMark) {
  const LoadResult result =
      Load(dir.Write("unmarked_phoenix_show.cat", samples::PhoenixCatFile({{}}, false)));
  EXPECT_EQ(store.SourceFormatCode, 17);
  const auto lines = LoadStatusLines(store, readers.ilda.IldaFormatsSeen, result, std::nullopt);
  ASSERT_EQ(lines.size(), 3u);  // no ILDA line, no music line
  EXPECT_EQ(lines[0].text, "File        : UNMARKED_PHOENIX_SHOW.CAT");
  EXPECT_EQ(lines[2].text, "I.O. in : 1.234 Sek mit 0 Frames ");

  const LoadResult shortName = Load(dir.Write("p.cat", samples::PhoenixCatFile({{}}, false)));
  EXPECT_EQ(LoadStatusLines(store, {}, shortName, std::nullopt)[0].text,
            "File        : P.CAT \"Protect\"");
  const LoadResult exact = Load(dir.Write("phoenix_abc.cat", samples::PhoenixCatFile({{}}, false)));
  EXPECT_EQ(LoadStatusLines(store, {}, exact, std::nullopt)[0].text,
            "File        : PHOENIX_ABC.CAT \"Protect\"");
  const LoadResult longer =
      Load(dir.Write("phoenix_abcd.cat", samples::PhoenixCatFile({{}}, false)));
  EXPECT_EQ(LoadStatusLines(store, {}, longer, std::nullopt)[0].text,
            "File        : PHOENIX_ABCD.CAT \"Protect");
}

TEST_F(ShowFilesTest, CancelledLoadShowsNoName) {
  const auto lines =
      LoadStatusLines(store, readers.ilda.IldaFormatsSeen, LoadResult{}, std::nullopt);
  EXPECT_EQ(lines[0].text, "File        : ");
}

TEST_F(ShowFilesTest, WritersAreChosenByExtensionAndRefuseAnEmptyShow) {
  EXPECT_EQ(WriterForFileName("a.ild"), ShowWriter::kIlda);
  EXPECT_EQ(WriterForFileName("a.Cat"), ShowWriter::kCat2008);
  EXPECT_EQ(WriterForFileName("a.CAT", true), ShowWriter::kPhoenixCat);
  EXPECT_EQ(WriterForFileName("a.ulf"), ShowWriter::kUlf);
  EXPECT_EQ(WriterForFileName("a.pho"), std::nullopt);
  EXPECT_EQ(SavedFileName(ShowWriter::kUlf, "x"), "x.ULF");
  EXPECT_EQ(SavedFileName(ShowWriter::kPhoenixCat, "x.cat"), "x.cat");

  for (const ShowWriter writer :
       {ShowWriter::kCat2008, ShowWriter::kPhoenixCat, ShowWriter::kUlf}) {
    const std::string path = SavedFileName(writer, dir.File("empty"));
    EXPECT_FALSE(SaveShow(store, writer, path, 0, 0, desktop));
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  EXPECT_EQ(desktop.messages, std::vector<std::string>(3, "Keine Frames vorhanden  :-("));
  EXPECT_TRUE(SaveShow(store, ShowWriter::kIlda, dir.File("empty.ild"), 0, 0, desktop));
  EXPECT_TRUE(std::filesystem::exists(dir.File("empty.ild")));
}

TEST_F(ShowFilesTest, PaletteCommandWantsAPalExtension) {
  EXPECT_FALSE(LoadPaletteFile(store, dir.Write("colours.txt", samples::PalFile())));
  EXPECT_TRUE(LoadPaletteFile(store, dir.Write("colours.PAL", samples::PalFile())));
  EXPECT_EQ(store.Palette[1], (RgbColour{4, 254, 1}));
  // The LDS frames of a Cat file read afterwards take the loaded colours.
  Load(dir.Write("lds.cat", samples::CatLdsFile(
                                {{{0, 0, 0, 0, 0, 0, true, 1}, {1, 1, 0, 0, 0, 0, true, 1}}})));
  EXPECT_EQ(store.Frame(0)[0].G, 254);
}

TEST_F(ShowFilesTest, MambaBlackFailureLeavesTheShowAndNoTemporaryFile) {
  readers.mambaBlackTempFile = dir.File("$$$.ild");
  Load(Ilda("show.ild", 2));
  const std::string eil = dir.Write("show.eil", Bytes{}.Text("enciphered"));
  for (const bool merge : {false, true}) {
    Load(eil, merge);
    EXPECT_EQ(store.IoStatus, "EIL Datei Allgemeiner Fehler");
    EXPECT_EQ(store.FrameCount, 2);
    EXPECT_FALSE(std::filesystem::exists(readers.mambaBlackTempFile));
  }
  Load(dir.File("missing.eil"));
  EXPECT_EQ(store.IoStatus, "Mamba Black Lesefehler2");
  EXPECT_EQ(store.FrameCount, 2);
}

TEST_F(ShowFilesTest, MambaBlackNeverFollowsALinkAtItsTemporaryName) {
  const std::string victim = dir.Write("victim.txt", Bytes{}.Text("keep"));
  const std::string temp = dir.File("$$$.ild");
  ASSERT_EQ(symlink(victim.c_str(), temp.c_str()), 0);
  EXPECT_FALSE(ConvertMambaBlack(store, dir.Write("show.eil", Bytes{}.Text("x")), temp));
  EXPECT_EQ(store.IoStatus, "EIL Datei Allgemeiner Fehler" + std::to_string(EEXIST));
  EXPECT_EQ(std::filesystem::file_size(victim), 4u);
}

TEST_F(ShowFilesTest, FilesBesideAShowAreFoundWhateverTheirCase) {
  const std::string show = dir.Write("show.ild", Bytes{});
  EXPECT_EQ(FindMusicBeside(show), std::nullopt);
  dir.Write("Show.Mp3", Bytes{});
  EXPECT_EQ(FindMusicBeside(show), dir.File("Show.Mp3"));
  dir.Write("SHOW.WAV", Bytes{});
  EXPECT_EQ(FindMusicBeside(show), dir.File("SHOW.WAV"));  // WAV before MP3
  dir.Write("show.WAV", Bytes{});
  EXPECT_EQ(FindMusicBeside(show), dir.File("show.WAV"));  // the exact spelling first
  dir.Write("show.shw", Bytes{});
  EXPECT_EQ(FindShowParametersBeside(show), dir.File("show.shw"));
  // A two-letter extension is replaced as a whole.
  EXPECT_EQ(FindMusicBeside(dir.File("show.lf")), dir.File("show.WAV"));
  EXPECT_EQ(BesidePath("/a.b/show", "SHW"), "/a.b/show.SHW");
  std::filesystem::create_directory(dir.File("other.wav"));
  EXPECT_EQ(FindMusicBeside(dir.File("other.ild")), std::nullopt);  // a folder is no music
  EXPECT_EQ(FindMusicBeside(""), std::nullopt);
}

// Every format, read and written as ILDA, gives the same points; merged onto a show it
// lands after one empty frame.
TEST_F(ShowFilesTest, EveryFormatSurvivesAnIldaRoundTripAndAMerge) {
  for (const samples::NamedSample& sample : samples::EveryFormat()) {
    SCOPED_TRACE(sample.fileName);
    const std::string path = dir.Write(sample.fileName, sample.bytes);
    ShowStore show;
    show.LoadDefaultPalette();  // as after an ILDA read, which the merge below follows
    ShowReaders showReaders;
    ASSERT_TRUE(LoadShowFile(show, showReaders, path, false, desktop));
    EXPECT_EQ(show.IoStatus, "I.O.");
    ASSERT_GT(show.FrameCount, 0);
    uint32_t points = 0;
    for (uint32_t n = 0; n < show.FrameCount; ++n) points += show.RealPointCount(n);
    EXPECT_GT(points, 4u);

    const std::string copy = dir.File(sample.fileName + ".ild");
    ASSERT_TRUE(
        SaveShow(show, ShowWriter::kIlda, copy, show.SaveRangeStart, show.SaveRangeEnd, desktop));
    ASSERT_TRUE(LoadShowFile(store, readers, copy, false, desktop));
    ASSERT_EQ(store.FrameCount, show.FrameCount);
    for (uint32_t n = 0; n < show.FrameCount; ++n) {
      EXPECT_EQ(RealPoints(store, n), AsWritten(RealPoints(show, n))) << "frame " << n;
    }

    Load(Ilda("base.ild", 2));
    Load(path, true);
    ASSERT_EQ(store.FrameCount, 2 + 1 + show.FrameCount);
    EXPECT_EQ(store.LastPointIndex[2], 0);
    for (uint32_t n = 0; n < show.FrameCount; ++n) {
      EXPECT_EQ(RealPoints(store, n + 3), RealPoints(show, n)) << "frame " << n;
    }
  }
}

// A file cut at any length never breaks the store, and the frames read are the file's
// first frames.
TEST_F(ShowFilesTest, EveryFormatCutAtEveryLength) {
  for (const samples::NamedSample& sample : samples::EveryFormat()) {
    SCOPED_TRACE(sample.fileName);
    ShowStore full;
    ShowReaders fullReaders;
    LoadShowFile(full, fullReaders, dir.Write(sample.fileName, sample.bytes), false, desktop);
    const std::string cut = dir.File("cut_" + sample.fileName);
    for (size_t length = 0; length < sample.bytes.data.size(); ++length) {
      Bytes prefix = sample.bytes;
      prefix.data.resize(length);
      ASSERT_TRUE(samples::WriteBytes(cut, prefix.data));
      store.ClearShow();
      store.FrameCount = 0;
      LoadShowFile(store, readers, cut, false, desktop);
      testing::ExpectConsistent(store);
      ASSERT_LE(store.FrameCount, full.FrameCount) << length;
      for (uint32_t n = 0; n < store.FrameCount; ++n) {
        ASSERT_EQ(store.LastPointIndex[n], full.LastPointIndex[n]) << length << " frame " << n;
        ASSERT_EQ(RealPoints(store, n), RealPoints(full, n)) << length << " frame " << n;
      }
    }
  }
}

}  // namespace
}  // namespace lumarex

namespace lumarex {
namespace {

// No reader lets the show grow past the 65535 frames that FrameCount can count.
TEST(ShowFilesLimits, ReadersStopAtTheLastFrameTheStoreHolds) {
  testing::ScratchDir dir;
  testing::RecordingDesktop desktop;
  const samples::FileFrame two = samples::SampleFrames()[1];
  const std::vector<samples::FileFrame> frames(65536, two);
  const samples::NamedSample files[] = {
      {"many.cat", samples::CatRgbFile(frames)},
      {"many.ulf", samples::UlfFile(frames)},
      {"many.pho", samples::PhoFile(frames)},
      {"many.lf", samples::BildaFile(frames)},
      {"many.fla", samples::LaserPainterFile(frames, true)},
      {"many.pic", samples::PicRgbFile(frames)},
      {"many.gr1", samples::GrabbenFile(frames)},
  };
  ShowStore store;
  ShowReaders readers;
  for (const samples::NamedSample& file : files) {
    SCOPED_TRACE(file.fileName);
    const std::string path = dir.Write(file.fileName, file.bytes);
    LoadShowFile(store, readers, path, false, desktop);
    EXPECT_EQ(store.IoStatus, "Zu viele Frames (max. 65535)");
    ASSERT_EQ(store.FrameCount, 65535);
    EXPECT_EQ(store.RealPointCount(65534), 2u);
    EXPECT_EQ(store.LastPointIndex[65535], 0);
  }
  // A full show takes no merge, not even its empty frame between the shows.
  const std::vector<samples::PangolinFrame> one = {{1, two}};
  LoadShowFile(store, readers, dir.Write("one.ldb", samples::PangolinFile(one)), true, desktop);
  EXPECT_EQ(store.IoStatus, "Zu viele Frames (max. 65535)");
  EXPECT_EQ(store.FrameCount, 65535);
}

}  // namespace
}  // namespace lumarex
