// "Testbild": the grid the operator squares up on the wall while adjusting a projection.

#include "mainwindow/tform1.h"

namespace lumarex {

namespace {

// Five lines each way over the whole show field, drawn in steps of 2048 units, with dark points
// held at both ends of each (longer than the largest colour shift lags, so no move between
// lines is lit); the outline shows keystone at once.
uint32_t StageGrid(std::span<SequencePoint> staged) {
  constexpr int32_t kLow = -32767;
  constexpr int32_t kHigh = 32767;
  constexpr int32_t kStep = 2048;
  constexpr int kLines = 5;
  constexpr int kDwell = 11;
  uint32_t n = 0;
  // Across (rows) first, then up (columns): `along` runs the line, `at` places it.
  const auto add = [&](bool columns, int32_t along, int32_t at, bool lit) {
    if (n >= staged.size()) return;
    const int32_t x = columns ? at : along;
    const int32_t y = columns ? along : at;
    staged[n++] = lit ? SequencePoint{x, y, 255, 255, 255, 0} : SequencePoint{x, y, 0, 0, 0, 0};
  };
  for (const bool columns : {false, true}) {
    for (int line = 0; line < kLines; ++line) {
      const int32_t at = kLow + static_cast<int32_t>(int64_t{kHigh - kLow} * line / (kLines - 1));
      for (int k = 0; k < kDwell; ++k) add(columns, kLow, at, false);
      for (int32_t along = kLow; along < kHigh; along += kStep) add(columns, along, at, true);
      add(columns, kHigh, at, true);
      for (int k = 0; k < kDwell; ++k) add(columns, kHigh, at, false);
    }
  }
  return n;
}

}  // namespace

void Tform1::SetTestPattern(bool on) {
  if (on == testPattern_) return;
  if (on) {
    if (Player.Playing()) Player.Stop.Click();
    animationBeforeTestPattern_ = startTimer_.Enabled();
    testPattern_ = true;
    // Loading a show stopped the output; the grid needs it running.
    Dac.jmLaserStartOutput(Projectors.Handle(Projectors.Selected()));
    startTimer_.SetEnabled(true);
    return;
  }
  testPattern_ = false;
  startTimer_.SetEnabled(animationBeforeTestPattern_);
  // One dark point in the centre, so that the grid does not stay on the wall.
  LaserAusgabe& o = Projectors.Output(Projectors.Selected());
  const int32_t handle = Projectors.Handle(Projectors.Selected());
  if (Dac.jmLaserIsDeviceReady(handle) == 1) {
    o.StagedPoints()[0] = SequencePoint{0, 0, 0, 0, 0, 0};
    o.TransformAndSend(1);
  }
  // As after a load: dark until Play starts the output again.
  Dac.jmLaserStopOutput(handle);
}

void Tform1::SendTestPattern() {
  LaserAusgabe& o = Projectors.Output(Projectors.Selected());
  const int32_t handle = Projectors.Handle(Projectors.Selected());
  const uint32_t staged = StageGrid(o.StagedPoints());
  if (Dac.jmLaserIsDeviceReady(handle) == 1) o.TransformAndSend(staged);
}

}  // namespace lumarex
