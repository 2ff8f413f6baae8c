#include <algorithm>

#include "show/ilda.h"
#include "tests/mainwindow/window_fixture.h"

namespace lumarex {
namespace {

using test::WindowTest;

// A show large enough that the reader hands frames to its helper thread: breaks come while
// frames are still being converted.
std::string WriteLargeShow(const std::string& path) {
  ShowStore show;
  for (uint32_t n = 0; n < 2000; ++n) {
    const auto slot = show.NewFrame(1300);
    for (uint32_t k = 0; k < slot.size(); ++k) {
      slot[k] = test::Lit(static_cast<int16_t>(k * 17), static_cast<int16_t>(n),
                          static_cast<uint8_t>(k), static_cast<uint8_t>(n), 200);
    }
    show.CommitFrame(1299, FrameTail::kAllReal);
  }
  test::RecordingDesktop quiet;
  EXPECT_TRUE(SaveShowFile(show, path, 0, 1999, quiet));
  return path;
}

TEST_F(WindowTest, ALoadLetsTheWindowWorkAndRefusesWhatWouldReachTheShowMeanwhile) {
  const std::string path = WriteLargeShow(dir.File("large.ild"));
  const std::string other = dir.File("other.ild");
  // A state of the program's own before the load is the state after it.
  form->Kill_Frame_2_4.SetEnabled(false);
  ASSERT_FALSE(form->Merge_File.Enabled());

  // Each block the reader fetches costs 10 ms.
  clock.stepPerReading = 10;
  std::vector<uint32_t> breaks;
  Tform1::LoadProgress midway;
  desktop.onMessages = [&] {
    // Only the read's breaks: the reader's first call and those after the read are no breaks.
    const ReadProgress& read = form->Readers.progress;
    if (read.size == 0 || read.position == read.size) return;
    breaks.push_back(clock.Peek());
    if (breaks.size() > 1) return;
    midway = form->Progress();
    EXPECT_TRUE(form->Loading);
    EXPECT_FALSE(form->Lade_File.Enabled());
    EXPECT_FALSE(form->Player.Play.Enabled());
    EXPECT_FALSE(form->Optimiereaufscannerwege1.Enabled());
    // Each of these would replace, clear or draw from the show being filled.
    desktop.openAnswers.push_back(other);
    form->Lade_File.ClickByOperator();
    form->Lade_FileClick();
    form->Merge_FileClick();
    EXPECT_FALSE(form->DropFile(other));
    form->Exit1.ClickByOperator();
    form->Player.Play.ClickByOperator();
    form->Player.Framescroll.MoveByOperator(7);
    form->Devices.Suche_Device.ClickByOperator();
    EXPECT_FALSE(form->KeyPressed(Tform1::Key::kEscape));
  };
  desktop.openAnswers.push_back(path);
  form->Lade_FileClick();
  desktop.onMessages = nullptr;

  EXPECT_GT(midway.frames, 0u);
  EXPECT_GT(midway.permille, 0u);
  EXPECT_LT(midway.permille, 1000u);
  ASSERT_GE(breaks.size(), 5u);
  for (size_t k = 1; k < breaks.size(); ++k) {
    EXPECT_LE(breaks[k] - breaks[k - 1], kLoadBreakIntervalMs + clock.stepPerReading)
        << "between breaks " << k - 1 << " and " << k;
  }
  EXPECT_EQ(desktop.dialogs.size(), 1u);
  EXPECT_EQ(desktop.openAnswers.front(), other) << "nothing asked for another file";

  // The show is the file's, as a reader that was never interrupted reads it.
  ShowStore expected;
  IldaReader reader;
  SilentDesktopServices silent;
  reader.ReadIlda(expected, path, false, silent);
  ASSERT_EQ(form->Store.FrameCount, expected.FrameCount);
  for (uint32_t n = 0; n < expected.FrameCount; ++n) {
    ASSERT_TRUE(std::ranges::equal(form->Store.Frame(n), expected.Frame(n))) << "frame " << n;
  }
  EXPECT_EQ(form->Store.IoStatus, expected.IoStatus);

  // Afterwards everything is as it was, but for "Merge File", which a loaded show enables.
  EXPECT_FALSE(form->Loading);
  EXPECT_TRUE(form->Merge_File.Enabled());
  EXPECT_FALSE(form->Kill_Frame_2_4.Enabled());
  const std::vector<const Control*> held = {&form->Lade_File, &form->Exit1, &form->Player.Play,
                                            &form->Player.Framescroll, &form->Devices.Suche_Device};
  for (const Control* c : held) EXPECT_TRUE(c->Enabled()) << c->Caption();

  // A file dropped while the show plays is refused like "Load File", and taken after the stop.
  form->Player.Play.Click();
  EXPECT_FALSE(form->DropFile(path));
  form->Player.Stop.Click();
  EXPECT_TRUE(form->DropFile(path));
  EXPECT_EQ(form->Store.FrameCount, expected.FrameCount);
}

}  // namespace
}  // namespace lumarex
