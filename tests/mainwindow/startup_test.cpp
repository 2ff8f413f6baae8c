#include "mainwindow/tform1.h"

#include "platform/single_instance.h"
#include "tests/mainwindow/window_fixture.h"

namespace lumarex {
namespace {

using test::WindowTest;

TEST_F(WindowTest, StartupDrawsThePanelsOpensDeviceZeroAndRunsTheBall) {
  EXPECT_EQ(form->DeviceFenster.TextAt(10, 180), "Timer anfragen 200 je Sek");
  EXPECT_EQ(form->DeviceFenster.TextAt(150, 225), ": 0");
  EXPECT_EQ(form->DeviceFenster.TextAt(130, 20), ": Fake DAC          ");
  EXPECT_EQ(form->DeviceFenster.TextAt(130, 35), ": 30 K");
  EXPECT_EQ(form->Scanninfo.TextAt(30, 255), "Output        Size X : 50 %        ");
  EXPECT_EQ(form->Savefrom.TextAt(10, 33), "Save File End");
  EXPECT_EQ(form->Statusfenster.TextAt(65, 195), "Grafik Show               ");
  EXPECT_EQ(form->Store.Palette[0], (RgbColour{255, 0, 0}));
  EXPECT_FALSE(form->Merge_File.Enabled());
  EXPECT_TRUE(form->Parameter_Auf.Visible());
  EXPECT_FALSE(form->Parameter_Zu.Visible());
  EXPECT_EQ(form->Player.Speedanzeige.Caption(), "Speed : Frames je Sek: 25");
  EXPECT_NE(driver.Log().find("Start 100"), std::string::npos) << driver.Log();
  ASSERT_TRUE(startTimer.Enabled());
  EXPECT_EQ(startTimer.Interval(), 20u);

  // Odd ticks skip; each even tick draws a picture, sends the ball and turns it a degree.
  const uint64_t presented = preview.presented;
  driver.ClearLog();
  startTimer.Fire();
  EXPECT_EQ(preview.presented, presented);
  startTimer.Fire();
  EXPECT_EQ(preview.presented, presented + 1);
  EXPECT_EQ(form->AnimationAngle, 1);
  EXPECT_EQ(form->PreviewPicture().Batches()[0].lineWidth, 2.0f);
  EXPECT_EQ(driver.Writes(), 1);
  EXPECT_GT(driver.LastFrame().size(), 1440u);
  // A busy laser still sees the ball in the preview, and nothing is sent to it.
  driver.SetReady(false);
  startTimer.Fire();
  startTimer.Fire();
  EXPECT_EQ(driver.Writes(), 1);
  EXPECT_EQ(form->AnimationAngle, 2);

  // The pointer above the steering strip leans the ball one way, below it the other.
  desktop.windowTop = 300;
  desktop.pointerY = 100;
  startTimer.Fire();
  startTimer.Fire();
  EXPECT_GT(form->Animation().Rotated()[720].Y, 29900);
  desktop.pointerY = 1100;
  startTimer.Fire();
  startTimer.Fire();
  EXPECT_LT(form->Animation().Rotated()[720].Y, -29900);

  // The marks do nothing while the ball turns; the mode change ends it for good.
  form->Filestart.Click();
  EXPECT_EQ(form->Savefrom.TextAt(10, 9), "Save File Start");
  form->OGL_Effekt.SetPosition(2);
  EXPECT_FALSE(startTimer.Enabled());
  EXPECT_EQ(form->Statusfenster.TextAt(60, 195), "Beam Show Real            ");
  form->DrawStatusFrame();
  EXPECT_EQ(form->Statusfenster.TextAt(65, 195), "Seziermodus               ");
}

TEST_F(WindowTest, OptimiserNeedsAShowAndHandsThePreviewBack) {
  form->Optimiereaufscannerwege1Click();
  EXPECT_EQ(desktop.messages.back(), "Kein File geladen :-(");
  EXPECT_FALSE(preview.released);

  LoadShow(3);
  bool optimiserShown = false;
  form->OnShowOptimiserWindow = [&] { optimiserShown = true; };
  form->Optimiereaufscannerwege1Click();
  EXPECT_TRUE(optimiserShown);
  EXPECT_TRUE(preview.released);
  EXPECT_EQ(form->Optimiser.Statusfenster.TextAt(105, 12), "> Orginal Frame <");
  form->Optimiser.Bildposition.SetPosition(2);
  EXPECT_EQ(form->CurrentFrame, 2);

  form->ReturnFromOptimiser();
  EXPECT_FALSE(preview.released);
  EXPECT_EQ(form->CurrentFrame, 0);
  EXPECT_EQ(form->Player.Framescroll.Position(), 0);
  EXPECT_EQ(form->Statusfenster.TextAt(10, 10), "Frame Nr");
  EXPECT_TRUE(preview.lastHadBatches);
}

TEST(SingleInstance, ASecondCopyFindsTheFirstAndEndsSilently) {
  test::TempDir dir;
  ASSERT_EQ(setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1), 0);
  SingleInstanceGuard first(Tform1::kInstanceName);
  ASSERT_TRUE(first.Acquired());
  SingleInstanceGuard second(Tform1::kInstanceName);
  EXPECT_FALSE(second.Acquired());
  EXPECT_TRUE(second.AnotherInstanceRuns());

  test::RecordingDesktop desktop;
  ManualClock clock;
  ManualTimer startTimer, showplayTimer;
  CountingPreview preview;
  Tform1 form(Tform1Services{desktop, clock, startTimer, showplayTimer, preview});
  StartupOptions options;
  options.bindDevices = false;
  options.audioOutput = false;
  EXPECT_EQ(form.ProgramStart(&second, options), StartOutcome::kAnotherInstance);
  EXPECT_TRUE(desktop.messages.empty());
  EXPECT_FALSE(startTimer.Enabled());

  first.Release();
  SingleInstanceGuard third(Tform1::kInstanceName);
  EXPECT_TRUE(third.Acquired());
  unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace lumarex
