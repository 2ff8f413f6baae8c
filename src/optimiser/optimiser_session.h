#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/scanner_model.h"
#include "optimiser/frame_statistics.h"
#include "optimiser/optiframe.h"
#include "optimiser/optimiser_controls.h"
#include "platform/desktop_services.h"
#include "show/show_store.h"
#include "widgets/button.h"
#include "widgets/image.h"
#include "widgets/label.h"
#include "widgets/menu_item.h"
#include "widgets/scroll_bar.h"
#include "widgets/status_image.h"

namespace lumarex {

// How a whole-file run ended.
struct WholeFileRun {
  uint32_t firstFrame = 0;
  uint32_t framesStored = 0;
  uint32_t framesInOwnOrder = 0;  // stored in their own path order, which travelled less
  bool stopped = false;           // ended by StopRequested before the last frame
  // Frames the optimiser had to leave as they were (too many paths or points).
  std::vector<uint32_t> leftUnchanged;
};

// The optimiser window without its window: the frame on show and its optimisation, the
// statistics panel, accepting one frame into the show, and the whole-file runs. The window
// binds its views to the controls here and draws the comparison through OnDrawComparison.
// User-interface thread only; a run lets pending messages be processed once per frame, and
// any handler may then run.
class OptimiserSession {
 public:
  // `currentFrame` is the frame on show that the player and the window share.
  OptimiserSession(ShowStore& store, DesktopServices& desktop, uint16_t& currentFrame);
  OptimiserSession(const OptimiserSession&) = delete;
  OptimiserSession& operator=(const OptimiserSession&) = delete;

  OptimiserControls Controls;
  StatusImage Statusfenster{320, 95};
  ScrollBar Bildposition{0, 0, 0};
  Button Opti_Frame{"Optimiere Frame"};
  Button Optimieren_File_Seek{"Optimiere File"};
  Button Optimieren_File_Speed{"Optimiere File Speed"};
  Button Optimieren_Stop{"Optimieren Stop"};
  // Picture buttons that show what the buttons beside them do; they have no action.
  Image Optimiere_Frame{"Optimiere_Frame"};
  Image Optimiere_File{"Optimiere_File"};
  // The scanner load of each frame of the comparison view, in a corner of its half: what
  // scanners of kLoadRating ask of the points as drawn there, at the panel's 25K.
  Label Scannerlast_Original;
  Label Scannerlast_Optimiert;
  static constexpr double kLoadRatingKpps = 30.0;
  static constexpr uint32_t kLoadPointRate = 25000;
  static constexpr uint32_t kLoadColour = 0xC0C0C0;
  static constexpr uint32_t kOverRatedColour = 0xFF4040;
  MenuItem Files{"Files"};
  MenuItem Zurueck{"Exit to Player"};
  MenuItem Save_Ini{"Save Optimierungs Parameter"};
  MenuItem Load_Ini{"Load Optimierungs Parameter"};

  // "Exit to Player" and closing the window: set by the main window, which takes the screen
  // back.
  std::function<void()> OnReturnToPlayer;
  void Zurueckclick();
  void Save_IniClick();
  void Load_IniClick();

  // The decimal separator of the statistics.
  char DecimalSeparator = ',';

  // (frame, OptiLastIndex): draws the comparison view; skipped during a speed run.
  void OnDrawComparison(std::function<void(uint32_t, uint16_t)> draw) {
    drawComparison_ = std::move(draw);
  }

  // Opening the window: parameters to their opening values, the statistics panel, the scroll
  // range, and frame 0 optimised on show.
  void Open();

  void OptimiseAndShow(uint32_t frame);
  // Copies the optimisation in OptiBuffer into frame `frame` of the show; false (and nothing
  // changed) when the optimiser had to leave the frame alone.
  bool StoreOptimisedFrame(uint32_t frame);

  // "Optimiere Frame": stores the optimisation on show (ending a run) and shows it again.
  void Opti_Frameclick();
  // "Optimiere File" (speed false) and "Optimiere File Speed" (true): every frame from the
  // one on show to the last is optimised and stored. A run asked for inside a run does
  // nothing.
  WholeFileRun RunWholeFile(bool speed);
  // "Optimieren Stop".
  void Optimieren_StopClick() { StopRequested = 1; }
  // Leaving for the player: any run ends, frame 0 is current again.
  void Close();

  uint8_t StopRequested = 0;
  uint8_t OptiNoDraw = 0;

  const Optiframe& Core() const { return core_; }
  const FrameMeasure& UnoptimisedMeasure() const { return unoptimised_; }
  const FrameMeasure& OptimisedMeasure() const { return optimised_; }

 private:
  void Bildpositionchange();
  void Optimise(uint32_t frame);
  void ShowScannerLoad(std::span<const ShowPoint> points, Label& label);

  ShowStore& store_;
  DesktopServices& desktop_;
  uint16_t& currentFrame_;
  Optiframe core_;
  std::function<void(uint32_t, uint16_t)> drawComparison_;
  FrameMeasure unoptimised_;
  FrameMeasure optimised_;
  // Which frame, under which parameters, OptiBuffer holds; a run stores a frame only from its
  // own optimisation.
  int64_t bufferFrame_ = -1;
  // A run button pressed while messages are processed inside a run starts no second run.
  bool running_ = false;
  OptimiserParameters bufferParameters_;
  // The frame being measured as the DAC would get it, kept from frame to frame.
  std::vector<DacPoint> loadPoints_;
};

}  // namespace lumarex
