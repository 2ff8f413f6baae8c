#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mainwindow/tform1.h"
#include "show/show_files.h"
#include "tests/output/fake_driver.h"
#include "tests/support/frame_builder.h"
#include "tests/support/test_files.h"

namespace lumarex::test {

// A clock moved by hand that also moves by `stepPerReading` whenever it is read, as time
// passes for a long read that looks at it between blocks.
class StepClock final : public Clock {
 public:
  uint32_t NowMs() const override { return now_ += stepPerReading; }
  // Where it stands, without moving it.
  uint32_t Peek() const { return now_; }
  void Set(uint32_t ms) { now_ = ms; }
  void Advance(uint32_t ms) { now_ += ms; }

  uint32_t stepPerReading = 0;

 private:
  mutable uint32_t now_ = 0;
};

// The main window with a hand-driven clock and timers, a scripted desktop and the stand-in
// driver library with one device, started as the program starts it.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver.AddDevice("FakeDac", "Fake DAC", 30000);
    form = std::make_unique<Tform1>(
        Tform1Services{desktop, clock, startTimer, showplayTimer, preview});
    StartupOptions options;
    options.audioOutput = false;
    options.driverFolder = FAKE_JMLASER_DIR;
    ASSERT_EQ(form->ProgramStart(nullptr, options), StartOutcome::kRunning);
  }

  // A show of `frames` frames, frame n holding n + 2 points, written as ILDA and loaded with
  // "Load File".
  std::string LoadShow(uint32_t frames, const std::string& name = "show.ild") {
    ShowStore store;
    for (uint32_t n = 0; n < frames; ++n) {
      std::vector<ShowPoint> points{Blanked(0, 0)};
      for (uint32_t k = 0; k <= n; ++k) {
        points.push_back(Lit(static_cast<int16_t>(100 * k), static_cast<int16_t>(n), 255, 0, 0));
      }
      const auto slot = store.NewFrame(static_cast<uint32_t>(points.size()));
      std::copy(points.begin(), points.end(), slot.begin());
      store.CommitFrame(static_cast<uint16_t>(points.size() - 1), FrameTail::kAllReal);
    }
    const std::string path = dir.File(name);
    RecordingDesktop quiet;
    EXPECT_TRUE(SaveShowFile(store, path, 0, static_cast<int32_t>(frames) - 1, quiet));
    desktop.openAnswers.push_back(path);
    form->Lade_FileClick();
    return path;
  }

  // One tick of the frame clock `ms` after the last.
  void TickAfter(uint32_t ms) {
    clock.Advance(ms);
    showplayTimer.Fire();
  }

  testing::FakeDriver driver{FAKE_JMLASER_DIR};
  RecordingDesktop desktop;
  StepClock clock;
  ManualTimer startTimer;
  ManualTimer showplayTimer;
  CountingPreview preview;
  TempDir dir;
  std::unique_ptr<Tform1> form;
};

}  // namespace lumarex::test
