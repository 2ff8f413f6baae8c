#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "output/dac_point.h"
#include "preview/draw_list.h"
#include "projection/projection_stage.h"

namespace lumarex {

// The part of the DAC's field that the show's full coordinate range is mapped into by the
// size and offset sliders, in DAC coordinates (0..65535, centre 32768, Y upwards).
struct OutputWindow {
  int32_t left = 0;
  int32_t right = 65535;
  int32_t bottom = 0;
  int32_t top = 65535;
};

// The window of the calibration's scales and offsets (before any wrap at the field's edge).
OutputWindow OutputWindowOf(double scaleX, int32_t offsetX, double scaleY, int32_t offsetY);

// What the picture holds, for the operator's eye and for tests.
struct OutputPictureCounts {
  uint32_t litSegments = 0;
  uint32_t blankedMoves = 0;
  uint32_t dwellPoints = 0;  // places where the beam stays for more than one point
};

// The calibration window's outline and, with a projection, the window where corners and warp
// put it and the outlines of masks, zones and safe area: what both output views draw first.
void AddOutputOutlines(const std::optional<OutputWindow>& window, const ProjectionStage* projection,
                       DrawList& out);

// What the laser really draws: the DacPoint list of the last write, mapped back onto the
// panel in kPreviewView so that the DAC's whole field fills it. The calibration window is
// outlined faintly, blanked moves are faint grey, lit vectors have their output colours (after
// colour ranges and power), and each dwell place gets a faint square. With a projection the
// window is drawn where corners and warp put it, and the masks (red), limit zones (amber) and
// the safe area (green) are outlined.
OutputPictureCounts BuildOutputPicture(std::span<const DacPoint> points,
                                       const std::optional<OutputWindow>& window, DrawList& out,
                                       const ProjectionStage* projection = nullptr);

}  // namespace lumarex
