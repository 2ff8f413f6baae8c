#include <gtest/gtest.h>

#include "preview/output_picture.h"
#include "tests/mainwindow/window_fixture.h"

namespace lumarex {
namespace {

using test::Blanked;
using test::Lit;

bool SamePicture(const DrawList& a, const DrawList& b) {
  const auto av = a.Vertices();
  const auto bv = b.Vertices();
  return a.Clears() == b.Clears() && std::ranges::equal(a.Batches(), b.Batches()) &&
         std::ranges::equal(av, bv);
}

// The main window with an output view: Extras > Ausgabeansicht, then "Scanner-Simulation"
// and its rating beside it.
class OutputViewTest : public test::WindowTest {
 protected:
  void SetUp() override {
    driver.AddDevice("FakeDac", "Fake DAC", 30000);
    form = std::make_unique<Tform1>(
        Tform1Services{desktop, clock, startTimer, showplayTimer, preview, &outputView});
    StartupOptions options;
    options.audioOutput = false;
    options.driverFolder = FAKE_JMLASER_DIR;
    ASSERT_EQ(form->ProgramStart(nullptr, options), StartOutcome::kRunning);
  }

  DrawList Commanded() {
    const LaserAusgabe& o = form->Output;
    DrawList list;
    BuildOutputPicture(o.LastDacPoints(), OutputWindowOf(o.ScaleX, o.OffsetX, o.ScaleY, o.OffsetY),
                       list, &o.OutputProjection);
    return list;
  }

  CountingPreview outputView;
};

TEST_F(OutputViewTest, TheScannerSimulationDrawsTheBeamPathAndOffLeavesThePictureAsItWas) {
  ShowStore store;
  const std::vector<ShowPoint> square = {
      Blanked(20000, 20000),          Lit(20000, 20000, 0, 255, 0),  Lit(-20000, 20000, 0, 255, 0),
      Lit(-20000, -20000, 0, 255, 0), Lit(20000, -20000, 0, 255, 0), Lit(20000, 20000, 0, 255, 0)};
  const auto slot = store.NewFrame(static_cast<uint32_t>(square.size()));
  std::copy(square.begin(), square.end(), slot.begin());
  store.CommitFrame(static_cast<uint16_t>(square.size() - 1), FrameTail::kAllReal);
  const std::string path = dir.File("square.ild");
  test::RecordingDesktop quiet;
  ASSERT_TRUE(SaveShowFile(store, path, 0, 0, quiet));
  desktop.openAnswers.push_back(path);
  form->Lade_FileClick();

  form->Ausgabeansicht.ClickByOperator();
  ASSERT_TRUE(form->Output.OutputFrame(0));
  ASSERT_FALSE(form->Output.LastDacPoints().empty());
  EXPECT_FALSE(form->Scanner_Simulation.Checked());
  EXPECT_EQ(form->Scanner_Kpps.Position(), 30);
  EXPECT_TRUE(SamePicture(form->OutputPicture(), Commanded()));

  const uint64_t before = outputView.presented;
  form->Scanner_Simulation.ClickByOperator();
  EXPECT_TRUE(form->Scanner_Simulation.Checked());
  EXPECT_GT(outputView.presented, before) << "the view is drawn again at once";
  EXPECT_FALSE(SamePicture(form->OutputPicture(), Commanded()));
  DrawList at30;
  at30.CopyFrom(form->OutputPicture());
  form->Scanner_Kpps.MoveByOperator(12);
  EXPECT_FALSE(SamePicture(form->OutputPicture(), at30)) << "a new rating redraws";

  form->Scanner_Simulation.ClickByOperator();
  EXPECT_TRUE(SamePicture(form->OutputPicture(), Commanded()));
}

}  // namespace
}  // namespace lumarex
