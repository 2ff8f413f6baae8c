#include <filesystem>

#include "show/beside_files.h"
#include "tests/mainwindow/window_fixture.h"
#include "tests/music/test_audio.h"

namespace lumarex {
namespace {

using test::WindowTest;

TEST_F(WindowTest, LoadTakesMusicAndShowParametersMergeAppendsSaveWritesBoth) {
  form->Save_LDS_Cat_2008Click();
  EXPECT_EQ(desktop.messages.back(), "Keine Frames vorhanden  :-(");
  EXPECT_TRUE(desktop.dialogs.empty()) << "no dialog for an empty show";

  // Music and a parameter set beside the show, both found in other letter cases.
  test::WriteWav(dir.File("SHOW.WAV"), 44100, 2, test::MakeTone(2 * 44100));
  form->Output.Scanspeed.SetPosition(40);
  ASSERT_TRUE(form->Parameters.SaveShowParameters(dir.File("Show.ild")));
  form->Output.Scanspeed.SetPosition(25);

  const std::string show = LoadShow(5);
  EXPECT_EQ(desktop.dialogs.back(), std::string("OpenDialog1|") + Tform1::LoadFilter());
  EXPECT_EQ(form->Store.FrameCount, 5);
  EXPECT_EQ(form->Statusfenster.TextAt(10, 115), "File        : SHOW.ILD");
  EXPECT_EQ(form->Statusfenster.TextAt(10, 160).rfind("I.O. in : ", 0), 0u);
  EXPECT_EQ(form->Statusfenster.TextAt(10, 175), "Showlänge ");
  EXPECT_EQ(form->Statusfenster.TextAt(110, 175), ": 00 : 02 : 00");
  EXPECT_TRUE(form->MusicLoaded);
  EXPECT_TRUE(form->Musik.Visible());
  EXPECT_EQ(form->Output.Scanspeed.Position(), 40);
  EXPECT_TRUE(form->Parameter.Visible());
  EXPECT_EQ(form->Player.Framescroll.Max(), 4);
  EXPECT_EQ(form->Savefrom.TextAt(83, 33).rfind(": 4", 0), 0u);
  EXPECT_TRUE(form->Merge_File.Enabled());
  EXPECT_FALSE(form->Loading);

  // A cancelled load keeps the show.
  form->Lade_FileClick();
  EXPECT_EQ(form->Store.FrameCount, 5);

  // Merging three frames puts an empty frame between the shows.
  {
    test::RecordingDesktop quiet;
    ShowStore other;
    for (int n = 0; n < 3; ++n) {
      const auto slot = other.NewFrame(2);
      slot[1] = test::Lit(5, 5, 0, 255, 0);
      other.CommitFrame(1, FrameTail::kAllReal);
    }
    ASSERT_TRUE(SaveShowFile(other, dir.File("other.ild"), 0, 2, quiet));
  }
  desktop.openAnswers.push_back(dir.File("other.ild"));
  form->Merge_FileClick();
  EXPECT_EQ(form->Store.FrameCount, 9);
  EXPECT_EQ(form->Statusfenster.TextAt(30, 170), "Gesamtframes : 8      ");
  EXPECT_FALSE(form->MusicLoaded);
  EXPECT_EQ(form->Store.SaveRangeEnd, 8);

  // Saving writes the range and the show's parameters beside the copy.
  form->Player.Framescroll.SetPosition(2);
  form->Filestart.Click();
  desktop.saveAnswers.push_back(dir.File("copy"));
  form->ULF1Click();
  EXPECT_EQ(desktop.dialogs.back(), "Save_Ulf|JoJo Ulf Files | *.Ulf");
  EXPECT_EQ(form->Store.IoStatus, "I.O.");
  EXPECT_TRUE(std::filesystem::exists(dir.File("copy.ULF")));
  EXPECT_TRUE(FindShowParametersBeside(dir.File("copy.ULF")).has_value());
  EXPECT_EQ(form->Statusfenster.TextAt(30, 10), "Save Frame Nr");
  EXPECT_EQ(form->Statusfenster.TextAt(110, 10).rfind(": 8", 0), 0u);
  (void)show;
}

TEST_F(WindowTest, StopRewindsTheMusicSoTheNextPlayStartsBothTogether) {
  test::WriteWav(dir.File("show.wav"), 44100, 2, test::MakeTone(3 * 44100));
  LoadShow(50);
  ASSERT_TRUE(form->MusicLoaded);
  form->Player.Play.Click();
  EXPECT_EQ(form->Music->Status(), TPlayerStatus::sndPlaying);
  for (int tick = 0; tick < 300; ++tick) TickAfter(5);
  form->Player.Stop.Click();
  EXPECT_NE(form->Music->Status(), TPlayerStatus::sndPlaying);
  EXPECT_EQ(form->Music->Position(), 0);
  EXPECT_EQ(form->Statusfenster.TextAt(10, 115), std::string(24, ' '));
}

TEST_F(WindowTest, EverySecondFrameGoesAfterTheQuestionAndTheMarksKeepTheirOrder) {
  LoadShow(7);
  desktop.confirm = false;
  form->Kill_Frame_2_4Click();
  EXPECT_EQ(desktop.questions.back(), "Soll wirklich jedes 2te Frame gelöscht werden ?");
  EXPECT_EQ(form->Store.FrameCount, 7);

  desktop.confirm = true;
  std::vector<uint16_t> lastIndexBefore(form->Store.LastPointIndex.begin(),
                                        form->Store.LastPointIndex.begin() + 7);
  form->Kill_Frame_2_4Click();
  ASSERT_EQ(form->Store.FrameCount, 4);
  EXPECT_EQ(form->Store.LastPointIndex[2], lastIndexBefore[3]);
  EXPECT_EQ(form->Store.LastPointIndex[3], lastIndexBefore[5]);
  for (uint32_t n = 4; n < 7; ++n) EXPECT_EQ(form->Store.LastPointIndex[n], 0) << n;
  EXPECT_EQ(form->Player.Framescroll.Max(), 3);
  EXPECT_EQ(form->Savefrom.TextAt(83, 33), ": 3" + std::string(12, ' '));

  // The start mark cannot pass the end, nor the end the start.
  form->Player.Framescroll.SetPosition(1);
  form->FileendeClick();
  form->Player.Framescroll.SetPosition(3);
  form->FilestartClick();
  EXPECT_EQ(form->Store.SaveRangeStart, 1);
  EXPECT_EQ(form->Savefrom.TextAt(10, 9), "Save File Start : 1" + std::string(24, ' '));
  form->Player.Framescroll.SetPosition(0);
  form->FileendeClick();
  EXPECT_EQ(form->Store.SaveRangeEnd, 1);
}

TEST_F(WindowTest, ScopeDrawsTheWaveAroundTheCentreLine) {
  WaveBuffer wave{};
  form->DrawScope(wave);
  for (size_t x = 1; x <= 253; ++x) ASSERT_EQ(form->ScopeTrace[x], 90) << x;
  for (const StatusOperation& op : form->Oszilloskop.Operations()) {
    if (op.kind == StatusOperation::Kind::kLine) {
      EXPECT_EQ(op.y1, op.y2);
    }
  }
  // Full scale on both channels at column 10 only, half scale negative at column 20.
  wave[20] = 0x7FFF7FFFu;
  wave[40] = 0xC000C000u;
  form->DrawScope(wave);
  EXPECT_EQ(form->ScopeTrace[10], 90 + 89);
  EXPECT_EQ(form->ScopeTrace[20], 90 - 45);
  EXPECT_EQ(form->ScopeTrace[11], 90);
  form->ClearScope();
  EXPECT_FALSE(form->Player.MusicPlaying);
}

}  // namespace
}  // namespace lumarex
