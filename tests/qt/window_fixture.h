#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <memory>
#include <string>

#include "qt/program.h"
#include "show/demo_show.h"
#include "show/show_files.h"
#include "tests/support/test_files.h"

namespace lumarex::test {

// The desktop program as it starts, with the built driver library (its virtual DAC), silent
// music, and dialogs and boxes answered by the test.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt::Program::Options options;
    options.startup.audioOutput = false;
    options.startup.driverFolder = std::string(LUMAREX_BIN_DIR) + "/";
    program = std::make_unique<qt::Program>(options);
    program->Desktop().scripted = true;
    ASSERT_EQ(program->Start(nullptr), StartOutcome::kRunning);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&program->Main()));
  }
  void TearDown() override { program.reset(); }

  Tform1& Form() { return program->Form(); }
  qt::MainWindow& Main() { return program->Main(); }

  // The demo show written as ILDA, loaded through "Load File" with its dialog answered.
  std::string LoadDemo() {
    ShowStore store;
    BuildDemoShow(store);
    RecordingDesktop quiet;
    const std::string path = dir.File("demo.ild");
    EXPECT_TRUE(SaveShowFile(store, path, 0, store.FrameCount - 1, quiet));
    program->Desktop().scriptedPaths.push_back(path);
    Main().Action("Lade_File")->trigger();
    return path;
  }

  TempDir dir;
  std::unique_ptr<qt::Program> program;
};

// The number of pixels that are not black.
inline int LitPixels(const QImage& image) {
  int lit = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) lit += (image.pixel(x, y) & 0xFFFFFF) != 0 ? 1 : 0;
  }
  return lit;
}

}  // namespace lumarex::test
