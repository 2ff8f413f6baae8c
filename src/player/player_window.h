#pragma once

#include <cstdint>

#include "music/bassdll_player.h"

namespace lumarex {

// What the show player asks of the main window it lives in: the preview, the status panel's
// labels and oscilloscope, the file menus and the start animation.
class PlayerWindow {
 public:
  virtual ~PlayerWindow() = default;

  // Disables Start_Timer: the start animation ends for good.
  virtual void StopStartAnimation() = 0;
  // Draws frame n, moves Framescroll to it and shows its statistics.
  virtual void DrawPreviewFrame(uint16_t n) = 0;
  virtual void ClearPreview() = 0;
  virtual void DrawStatusLabels() = 0;
  // The seven menu items that may not run while the show plays.
  virtual void SetFileMenusEnabled(bool enabled) = 0;
  virtual void DrawScope(const WaveBuffer& wave) = 0;
  virtual void ClearScope() = 0;
  virtual void ProcessPendingMessages() = 0;
};

}  // namespace lumarex
