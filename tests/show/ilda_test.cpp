#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "ilda_builder.h"
#include "platform/byte_order.h"
#include "show/ilda.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

using test::IldaBuilder;
using Pt = IldaBuilder::Point;

class IldaTest : public ::testing::Test {
 protected:
  void Read(const std::vector<uint8_t>& bytes, bool merge = false) {
    const std::string path = dir.File("show.ild");
    test::WriteBytes(path, bytes);
    reader.ReadIlda(store, path, merge, desktop);
  }

  test::TempDir dir;
  test::RecordingDesktop desktop;
  ShowStore store;
  IldaReader reader;
};

TEST_F(IldaTest, ReadsAllFourFrameFormats) {
  IldaBuilder b;
  b.Frame(0, {{100, -200, 300, 0x00, 40}, {-32768, 32767, -1, 0x40 | 0x80, 0}});
  b.Frame(1, {{1, 2, 0, 0x00, 24}, {3, 4, 0, 0x80, 56}});
  b.Frame(4, {{5, 6, 7, 0x00, 0, 10, 20, 30}, {8, 9, 10, 0xC0, 0, 40, 50, 60}});
  b.Frame(5, {{11, 12, 0, 0x40, 0, 70, 80, 90}, {13, 14, 0, 0x80, 0, 1, 2, 3}});
  b.Header(5, 0);
  Read(b.bytes);
  ASSERT_EQ(store.IoStatus, "I.O.");
  ASSERT_EQ(store.FrameCount, 4);
  for (uint32_t n = 0; n < 4; ++n) EXPECT_EQ(store.LastPointIndex[n], 1);

  const ShowPoint& p0 = store.FramePoints[0][0];
  EXPECT_EQ(p0.X, 100);
  EXPECT_EQ(p0.Y, -200);
  EXPECT_EQ(p0.Z, 300);
  EXPECT_EQ((RgbColour{p0.R, p0.G, p0.B}), (RgbColour{0, 0, 255}));  // palette entry 40
  EXPECT_EQ(p0.Visible, 1);
  EXPECT_EQ(p0.ColourIndex, 0);
  const ShowPoint& p1 = store.FramePoints[0][1];
  EXPECT_EQ(p1.X, -32768);
  EXPECT_EQ(p1.Y, 32767);
  EXPECT_EQ(p1.Visible, 0);
  EXPECT_EQ(p1.R, 255);  // a blanked point keeps its palette colour

  EXPECT_EQ(store.FramePoints[1][0].Z, 0);
  EXPECT_EQ(store.FramePoints[1][1].G, 255);  // entry 56: white
  EXPECT_EQ(store.FramePoints[1][1].B, 255);

  const ShowPoint& p4 = store.FramePoints[2][1];
  EXPECT_EQ(p4.Z, 10);
  EXPECT_EQ((RgbColour{p4.R, p4.G, p4.B}), (RgbColour{40, 50, 60}));
  EXPECT_EQ(p4.Visible, 0);
  EXPECT_EQ(store.FramePoints[3][0].Visible, 0);
  EXPECT_EQ(store.FramePoints[3][0].R, 70);
  EXPECT_EQ(store.FramePoints[3][1].Visible, 1);

  // The appended point beyond the last index is a zero point.
  EXPECT_EQ(store.FramePoints[3][2], ShowPoint{});
  EXPECT_EQ(store.ShowFileSize, b.bytes.size());
  EXPECT_EQ(reader.IldaFormatsSeen, (std::array<std::string, 6>{" 0", " 1", "", "", " 4", " 5"}));
  EXPECT_GE(desktop.processed, 1);
}

TEST_F(IldaTest, EmptySectionInTheMiddleIsAFrameAndAtTheEndIsPassedOver) {
  IldaBuilder b;
  b.Frame(5, {{1, 1, 0, 0, 0, 9, 9, 9}, {2, 2}});
  b.Header(5, 0);
  b.Frame(5, {{3, 3}, {4, 4}});
  b.Header(5, 0);
  Read(b.bytes);
  ASSERT_EQ(store.FrameCount, 3);
  EXPECT_EQ(store.LastPointIndex[1], 1);
  EXPECT_EQ(store.FramePoints[1][0], ShowPoint{});
  EXPECT_EQ(store.FramePoints[1][1], ShowPoint{});
  EXPECT_EQ(store.FramePoints[2][0].X, 3);
  EXPECT_EQ(store.LastPointIndex[3], 0);
}

TEST_F(IldaTest, PaletteSectionsReplaceTheColoursOfLaterIndexedFrames) {
  std::vector<uint8_t> rgb(256 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
  IldaBuilder b;
  b.Palette(1, rgb);  // a count of 1 stands for 256 colours
  b.Frame(1, {{0, 0, 0, 0, 255}, {1, 1, 0, 0, 2}});
  b.Header(1, 0);
  Read(b.bytes);
  EXPECT_EQ(store.IoStatus, "Ildafile IO");
  ASSERT_EQ(store.FrameCount, 1);
  EXPECT_EQ(store.FramePoints[0][0].R, static_cast<uint8_t>(255 * 3 * 7));
  EXPECT_EQ(store.FramePoints[0][1].B, static_cast<uint8_t>((2 * 3 + 2) * 7));
  EXPECT_EQ(reader.IldaFormatsSeen[2], " 2");

  // The next read starts from the default palette again, also when merging.
  IldaBuilder plain;
  plain.Frame(1, {{0, 0, 0, 0, 40}, {1, 1}});
  Read(plain.bytes, true);
  EXPECT_EQ(store.Palette, DefaultPalette());
  EXPECT_EQ(store.IoStatus, "I.O.");
}

TEST_F(IldaTest, PaletteWithoutColoursEndsTheReading) {
  IldaBuilder b;
  b.Frame(5, {{1, 1}, {2, 2}});
  b.Palette(0, {});
  b.Frame(5, {{3, 3}, {4, 4}});
  Read(b.bytes);
  // The six header bytes are not skipped, so the next magic is not found.
  EXPECT_EQ(store.FrameCount, 1);
  EXPECT_EQ(store.IoStatus, "Ildafile IO");
}

TEST_F(IldaTest, OversizedPaletteKeepsTheFirst256ColoursAndReadsOn) {
  std::vector<uint8_t> rgb(300 * 3, 0);
  rgb[0] = 11;
  rgb[255 * 3] = 22;
  rgb[299 * 3] = 33;
  IldaBuilder b;
  b.Palette(300, rgb);
  b.Frame(1, {{0, 0, 0, 0, 0}, {1, 1, 0, 0, 255}});
  b.Header(1, 0);
  Read(b.bytes);
  ASSERT_EQ(store.FrameCount, 1);
  EXPECT_EQ(store.FramePoints[0][0].R, 11);
  EXPECT_EQ(store.FramePoints[0][1].R, 22);
}

TEST_F(IldaTest, TrueColourTableColoursOnlyTheNextIndexedFrame) {
  IldaBuilder b;
  b.TrueColourTable({10, 20, 30, 40, 50, 60});
  b.Frame(0, {{0, 0, 0, 0x40, 0}, {1, 1, 0, 0, 0}});
  b.Frame(1, {{0, 0, 0, 0, 0}, {1, 1}});     // flag gone: palette colours again
  b.TrueColourTable({1, 2, 3, 4, 5, 6}, 4);  // the length may count the entry field too
  b.Frame(5, {{0, 0, 0, 0, 0, 7, 8, 9}, {1, 1}});
  b.Frame(1, {{0, 0, 0, 0, 0}, {1, 1}});
  b.Header(1, 0);
  Read(b.bytes);
  ASSERT_EQ(store.FrameCount, 4);
  EXPECT_EQ(
      (RgbColour{store.FramePoints[0][0].R, store.FramePoints[0][0].G, store.FramePoints[0][0].B}),
      (RgbColour{10, 20, 30}));
  EXPECT_EQ(store.FramePoints[0][1].B, 60);
  EXPECT_EQ(store.FramePoints[1][0].R, 255);  // palette entry 0 is red
  EXPECT_EQ(store.FramePoints[1][0].B, 0);
  EXPECT_EQ(store.FramePoints[2][0].R, 7);  // true-colour frame ignores the table
  EXPECT_EQ(store.FramePoints[3][0].G, 0);  // and the flag is gone after it
  EXPECT_EQ(reader.IldaFormatsSeen[3], " 3");
}

TEST_F(IldaTest, TrueColourTableWithAMismatchedLengthEndsSilently) {
  IldaBuilder b;
  b.Frame(5, {{1, 1}, {2, 2}});
  b.TrueColourTable({1, 2, 3}, 9);
  b.Frame(5, {{3, 3}, {4, 4}});
  Read(b.bytes);
  EXPECT_EQ(store.FrameCount, 1);
  EXPECT_EQ(store.IoStatus, "I.O.");
}

TEST_F(IldaTest, ShortRecordsReportByFormatAndKeepEarlierFrames) {
  const std::pair<uint8_t, const char*> cases[] = {{0, "Unerwartetes Fileende Format 0"},
                                                   {1, "Lesefehler Format 1"},
                                                   {4, "Lesefehler Format 4"},
                                                   {5, "Lesefehler Format 5"}};
  for (const auto& [format, message] : cases) {
    IldaBuilder b;
    b.Frame(5, {{1, 1}, {2, 2}});
    b.Frame(format, {{1, 1}, {2, 2}, {3, 3}}, 40);
    Read(b.bytes);
    EXPECT_EQ(store.IoStatus, message);
    EXPECT_EQ(store.FrameCount, 1) << int{format};
  }
  IldaBuilder palette;
  palette.Palette(10, std::vector<uint8_t>(12, 0));
  Read(palette.bytes);
  EXPECT_EQ(store.IoStatus, "Lesefehler in Colortabelle");
  IldaBuilder table;
  table.Raw("ILDA").bytes.insert(table.bytes.end(), {0, 0, 0, 3, 0, 0, 0, 30, 0, 0, 0, 10, 1, 2});
  Read(table.bytes);
  EXPECT_EQ(store.IoStatus, "Lesefehler in Truecolortabelle");
}

TEST_F(IldaTest, NonIldaFileYieldsNoFramesAndMissingFileLeavesTheShow) {
  IldaBuilder b;
  b.Frame(5, {{1, 1}, {2, 2}});
  Read(b.bytes);
  ASSERT_EQ(store.FrameCount, 1);
  reader.ReadIlda(store, dir.File("missing.ild"), false, desktop);
  EXPECT_EQ(store.IoStatus, "Datei nicht vorhanden");
  EXPECT_EQ(store.FrameCount, 1);
  EXPECT_EQ(store.LastPointIndex[0], 1);

  IldaBuilder other;
  other.Raw("PANGOLINSECURE2 and more bytes");
  Read(other.bytes);
  EXPECT_EQ(store.IoStatus, "I.O.");
  EXPECT_EQ(store.FrameCount, 0);
  EXPECT_EQ(store.LastPointIndex[0], 0);
}

TEST_F(IldaTest, FormatCodeAboveFiveEndsTheReading) {
  IldaBuilder b;
  b.Frame(5, {{1, 1}, {2, 2}});
  b.Raw("ILDA").bytes.insert(b.bytes.end(), {0, 0, 0, 6});
  b.Frame(5, {{1, 1}, {2, 2}});
  Read(b.bytes);
  EXPECT_EQ(store.FrameCount, 1);
}

TEST_F(IldaTest, MergeLeavesOneEmptyFrameBetweenTheShows) {
  IldaBuilder first;
  first.Frame(5, {{1, 1}, {2, 2}}).Frame(5, {{3, 3}, {4, 4}}).Header(5, 0);
  Read(first.bytes);
  IldaBuilder second;
  second.Frame(4, {{5, 5, 5}, {6, 6, 6}, {7, 7, 7}}).Header(4, 0);
  Read(second.bytes, true);
  ASSERT_EQ(store.FrameCount, 4);
  EXPECT_EQ(store.LastPointIndex[2], 0);
  EXPECT_TRUE(store.Frame(2).empty());
  EXPECT_EQ(store.LastPointIndex[3], 2);
  EXPECT_EQ(store.FramePoints[3][0].Z, 5);
  EXPECT_EQ(store.FramePoints[1][0].X, 3);
}

TEST_F(IldaTest, StopsBeforeTheStoreOverflows) {
  IldaBuilder b;
  for (int i = 0; i < 65536; ++i) b.Frame(5, {{static_cast<int16_t>(i), 0}, {0, 0}});
  b.Header(5, 0);
  Read(b.bytes);
  EXPECT_EQ(store.FrameCount, 65535);
  EXPECT_EQ(store.IoStatus, "Zu viele Frames (max. 65535)");
  EXPECT_EQ(store.FramePoints[65534][0].X, static_cast<int16_t>(65534));
  EXPECT_EQ(store.LastPointIndex[65535], 0);

  // A merge into a full show adds nothing and says why.
  IldaBuilder more;
  more.Frame(5, {{1, 1}, {2, 2}});
  Read(more.bytes, true);
  EXPECT_EQ(store.FrameCount, 65535);
  EXPECT_EQ(store.IoStatus, "Zu viele Frames (max. 65535)");
}

// ----------------------------------------------------------------------------------------
// Writing

struct Section {
  uint8_t format;
  uint16_t records, number, total;
  std::string company;
  std::vector<uint8_t> body;
};

std::vector<Section> Sections(const std::vector<uint8_t>& bytes) {
  std::vector<Section> out;
  size_t at = 0;
  while (at + 32 <= bytes.size()) {
    Section s;
    s.format = bytes[at + 7];
    s.company.assign(bytes.begin() + static_cast<long>(at) + 16,
                     bytes.begin() + static_cast<long>(at) + 24);
    s.records = LoadU16BE(&bytes[at + 24]);
    s.number = LoadU16BE(&bytes[at + 26]);
    s.total = LoadU16BE(&bytes[at + 28]);
    const size_t size = size_t{s.records} * (s.format == 4 ? 10 : 8);
    s.body.assign(bytes.begin() + static_cast<long>(at) + 32,
                  bytes.begin() + static_cast<long>(std::min(bytes.size(), at + 32 + size)));
    at += 32 + size;
    out.push_back(s);
  }
  EXPECT_EQ(at, bytes.size());
  return out;
}

TEST_F(IldaTest, WriterChoosesTheFormatPerFrameAndEndsWithTheClosingSection) {
  IldaBuilder b;
  b.Frame(5, {{1, 2, 0, 0x00, 0, 10, 20, 30}, {3, 4, 0, 0x40, 0, 40, 50, 60}});
  b.Frame(0, {{5, 6, 7, 0x00, 0}, {8, 9, 0, 0x00, 0}, {-1, -2, 0, 0x40, 0}});
  b.Header(5, 0);
  b.Frame(5, {{7, 7}, {8, 8}});
  b.Header(5, 0);
  Read(b.bytes);
  ASSERT_EQ(store.FrameCount, 4);  // the last one stays out of the range

  WriteIlda(store, dir.File("out"), 0, 2, desktop);
  EXPECT_EQ(store.IoStatus, "I.O.");
  const auto bytes = test::ReadBytes(dir.File("out.ILD"));
  const auto sections = Sections(bytes);
  ASSERT_EQ(sections.size(), 4u);
  EXPECT_EQ(sections[0].format, 5);
  EXPECT_EQ(sections[1].format, 4);
  EXPECT_EQ(sections[2].format, 5);
  EXPECT_EQ(sections[2].records, 0);  // the empty frame
  EXPECT_EQ(sections[3].format, 5);   // closing section
  EXPECT_EQ(sections[3].records, 0);
  EXPECT_EQ(sections[3].number, 3);
  for (uint16_t i = 0; i < 4; ++i) {
    EXPECT_EQ(sections[i].company, "Lumarex ");
    EXPECT_EQ(sections[i].total, 3);
    if (i < 3) {
      EXPECT_EQ(sections[i].number, i);
    }
  }
  EXPECT_TRUE(
      std::equal(bytes.begin() + 8, bytes.begin() + 16, std::vector<uint8_t>(8, 0).begin()));
  // Every real point is written: the last one carries the end bit, blanked ones are black.
  ASSERT_EQ(sections[0].records, 2);
  EXPECT_EQ(std::vector<uint8_t>(sections[0].body.begin(), sections[0].body.begin() + 8),
            (std::vector<uint8_t>{0, 1, 0, 2, 0x00, 30, 20, 10}));  // blue, green, red
  EXPECT_EQ(std::vector<uint8_t>(sections[0].body.begin() + 8, sections[0].body.end()),
            (std::vector<uint8_t>{0, 3, 0, 4, 0xC0, 0, 0, 0}));
  ASSERT_EQ(sections[1].records, 3);
  EXPECT_EQ(sections[1].body[6], 0x00);
  EXPECT_EQ(sections[1].body[4], 0);  // z high byte
  EXPECT_EQ(sections[1].body[5], 7);
  EXPECT_EQ(sections[1].body[26], 0xC0);
}

TEST_F(IldaTest, WrittenShowReadsBackPointForPoint) {
  IldaBuilder b;
  b.Frame(4, {{-32768, 32767, -32768, 0, 0, 1, 2, 3}, {32767, -32768, 32767, 0x40, 0, 4, 5, 6}});
  b.Frame(5, {{9, 9, 0, 0, 0, 7, 8, 9}});  // a single-point frame keeps its point
  b.Frame(1, {{1, 1, 0, 0, 3}, {2, 2, 0, 0, 4}, {3, 3, 0, 0, 5}});
  b.Header(4, 0);
  Read(b.bytes);
  ASSERT_EQ(store.FrameCount, 3);
  ShowStore original = store;
  WriteIlda(store, dir.File("copy.ild"), 0, 2, desktop);
  ASSERT_EQ(store.IoStatus, "I.O.");
  ShowStore copy;
  reader.ReadIlda(copy, dir.File("copy.ild"), false, desktop);
  ASSERT_EQ(copy.FrameCount, 3);
  for (uint32_t n = 0; n < 3; ++n) {
    ASSERT_EQ(copy.LastPointIndex[n], original.LastPointIndex[n]);
    for (uint32_t i = 0; i < original.RealPointCount(n); ++i) {
      ShowPoint expected = original.FramePoints[n][i];
      if (expected.Visible == 0) expected.R = expected.G = expected.B = 0;
      EXPECT_EQ(copy.FramePoints[n][i], expected) << n << ":" << i;
    }
  }
}

TEST_F(IldaTest, WriterRangeBeyondTheLastWritesOnlyTheClosingSection) {
  IldaBuilder b;
  b.Frame(5, {{1, 1}, {2, 2}});
  Read(b.bytes);
  WriteIlda(store, dir.File("none.ild"), 1, 0, desktop);
  const auto sections = Sections(test::ReadBytes(dir.File("none.ild")));
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_EQ(sections[0].format, 5);
  EXPECT_EQ(sections[0].records, 0);
  EXPECT_EQ(sections[0].number, 0);
  EXPECT_EQ(sections[0].total, 0);
}

TEST_F(IldaTest, FailedWriteReportsAndLeavesTheOldFile) {
  IldaBuilder b;
  std::vector<Pt> many(3000, Pt{1, 1});
  b.Frame(5, many);
  Read(b.bytes);
  WriteIlda(store, dir.File("no/such/folder/x.ild"), 0, 0, desktop);
  EXPECT_EQ(store.IoStatus, "Konnte Ilda Format 4/5 n.,icht schreiben");

  // A disk that fills up mid-write, played by a file size limit in a child process.
  const std::string target = dir.File("keep.ild");
  test::WriteBytes(target, {'o', 'l', 'd'});
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    WriteIlda(store, target, 0, 0, desktop);
    _exit(store.IoStatus.starts_with("Schreibfehler Ilda 5 im ") ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the writer did not report the failed write";
  EXPECT_EQ(test::ReadBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    ++files;
  EXPECT_EQ(files, 2u) << "a temporary file was left behind";
}

}  // namespace
}  // namespace lumarex
