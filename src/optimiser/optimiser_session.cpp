#include "optimiser/optimiser_session.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "analysis/show_analysis.h"

namespace lumarex {

OptimiserSession::OptimiserSession(ShowStore& store, DesktopServices& desktop,
                                   uint16_t& currentFrame)
    : Controls(store, desktop), store_(store), desktop_(desktop), currentFrame_(currentFrame) {
  Controls.OnReoptimise([this] { OptimiseAndShow(currentFrame_); });
  Bildposition.OnChange([this] { Bildpositionchange(); });
  Statusfenster.SetHint("Statusinformation");
  Bildposition.SetHint("FrameScroll");
  Controls.Info_Center.SetHint("Show Optimierungswerte");
  Optimiere_Frame.SetHint("Optimiere Frame");
  Optimiere_File.SetHint("Optimiere File");
  Opti_Frame.OnClick([this] { Opti_Frameclick(); });
  Optimieren_File_Seek.OnClick([this] { RunWholeFile(false); });
  Optimieren_File_Speed.OnClick([this] { RunWholeFile(true); });
  Optimieren_Stop.OnClick([this] { Optimieren_StopClick(); });
  Zurueck.OnClick([this] { Zurueckclick(); });
  Save_Ini.OnClick([this] { Save_IniClick(); });
  Load_Ini.OnClick([this] { Load_IniClick(); });
}

void OptimiserSession::Open() {
  StopRequested = 0;
  Controls.Open();
  OptiNoDraw = 0;
  DrawStatisticsFrame(Statusfenster, store_.FrameCount);
  Bildposition.SetRange(0, std::max(0, int32_t{store_.FrameCount} - 1));
  desktop_.ProcessPendingMessages();
  currentFrame_ = 0;
  OptimiseAndShow(0);
  Bildposition.SetPosition(0);
}

void OptimiserSession::Optimise(uint32_t frame) {
  bufferParameters_ = Controls.Parameters();
  core_.OptimiseFrame(store_, frame, bufferParameters_);
  bufferFrame_ = frame;
}

void OptimiserSession::OptimiseAndShow(uint32_t frame) {
  const uint16_t lastIndex = frame < ShowStore::kSlotCount ? store_.LastPointIndex[frame] : 0;
  Optimise(frame);
  const uint16_t m = core_.OptiLastIndex();
  optimised_ = MeasureOptimised(core_.Optimised());
  DrawOptimisedColumn(Statusfenster, core_.PathCount(), m, optimised_, DecimalSeparator);
  unoptimised_ = MeasureUnoptimised(store_, frame);
  DrawUnoptimisedColumn(Statusfenster, frame, lastIndex, unoptimised_, DecimalSeparator);
  if (OptiNoDraw == 1) return;
  const std::span<const ShowPoint> optimised = core_.Optimised();
  ShowScannerLoad(
      frame < ShowStore::kSlotCount ? store_.Frame(frame) : std::span<const ShowPoint>{},
      Scannerlast_Original);
  ShowScannerLoad(optimised.first(std::min<size_t>(optimised.size(), m + 1u)),
                  Scannerlast_Optimiert);
  if (drawComparison_) drawComparison_(frame, m);
}

void OptimiserSession::ShowScannerLoad(std::span<const ShowPoint> points, Label& label) {
  // The comparison view draws show coordinates over the DAC's whole field, no calibration.
  loadPoints_.resize(points.size());
  for (size_t k = 0; k < points.size(); ++k) {
    const ShowPoint& p = points[k];
    DacPoint& d = loadPoints_[k];
    d.x = static_cast<uint16_t>(int32_t{p.X} + 32768);
    d.y = static_cast<uint16_t>(int32_t{p.Y} + 32768);
    const bool lit = p.Visible != 0;
    d.r = lit ? p.R : 0;
    d.g = lit ? p.G : 0;
    d.b = lit ? p.B : 0;
    d.i = static_cast<uint8_t>((d.r + d.g + d.b) / 3);
  }
  if (loadPoints_.size() < 2) {
    label.SetCaption("");
    return;
  }
  ScannerRating rating;
  rating.kpps = kLoadRatingKpps;
  const FrameAnalysis a = AnalyseFrame(loadPoints_, kLoadPointRate, rating);
  label.SetCaption("Scannerlast " + std::to_string(std::lround(a.scannerLoad)) + " %");
  label.SetColour(a.overRated ? kOverRatedColour : kLoadColour);
}

bool OptimiserSession::StoreOptimisedFrame(uint32_t frame) {
  if (frame >= store_.FrameCount || !core_.HasStorableResult()) return false;
  // ReplaceFrame keeps a frame without points in the two-zero-point empty form.
  store_.ReplaceFrame(frame, core_.Optimised());
  bufferFrame_ = -1;  // the buffer now describes the frame as it was before
  return true;
}

void OptimiserSession::Opti_Frameclick() {
  OptiNoDraw = 0;
  StopRequested = 1;
  if (bufferFrame_ != currentFrame_ || !(bufferParameters_ == Controls.Parameters())) {
    Optimise(currentFrame_);
  }
  StoreOptimisedFrame(currentFrame_);
  OptimiseAndShow(currentFrame_);
}

WholeFileRun OptimiserSession::RunWholeFile(bool speed) {
  WholeFileRun run;
  run.firstFrame = currentFrame_;
  if (running_) return run;
  running_ = true;
  OptiNoDraw = speed ? 1 : 0;
  StopRequested = 0;
  for (uint32_t f = currentFrame_; f < store_.FrameCount; ++f) {
    Bildposition.SetPosition(static_cast<int32_t>(f));
    desktop_.ProcessPendingMessages();
    if (StopRequested == 1) {
      run.stopped = true;
      OptiNoDraw = 0;
      running_ = false;
      return run;
    }
    // A scroll or parameter change between two frames may have optimised another frame, or
    // this one under other parameters, into the buffer since.
    if (bufferFrame_ != f || !(bufferParameters_ == Controls.Parameters())) Optimise(f);
    const bool ownOrder = core_.KeptFrameOrder();
    if (StoreOptimisedFrame(f)) {
      ++run.framesStored;
      if (ownOrder) ++run.framesInOwnOrder;
    } else {
      run.leftUnchanged.push_back(f);
    }
  }
  Bildposition.SetPosition(0);
  OptiNoDraw = 0;
  running_ = false;
  return run;
}

void OptimiserSession::Zurueckclick() {
  if (OnReturnToPlayer) {
    OnReturnToPlayer();
  } else {
    Close();
  }
}

void OptimiserSession::Save_IniClick() {
  Controls.SaveParameterSet(
      desktop_.ChooseFileToSave("Saven_Ini", "Optimierungs Satz *.osa|*.osa"));
}

void OptimiserSession::Load_IniClick() {
  Controls.LoadParameterSet(
      desktop_.ChooseFileToOpen("Laden_Ini", "Optimierungs Satz  *.osa|*.osa"));
}

void OptimiserSession::Close() {
  StopRequested = 1;
  currentFrame_ = 0;
}

void OptimiserSession::Bildpositionchange() {
  currentFrame_ = static_cast<uint16_t>(Bildposition.Position());
  OptimiseAndShow(currentFrame_);
}

}  // namespace lumarex
