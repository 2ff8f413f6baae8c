#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/scanner_model.h"
#include "output/dac_point.h"
#include "preview/draw_list.h"
#include "preview/output_picture.h"
#include "projection/projection_stage.h"

namespace lumarex {

// What the scanners make of the DacPoint list of the last write: the output view with the beam
// path of the scanner model in place of the commanded points, so that overshoot, rounded
// corners and blanking tails show as the laser shows them. The model starts at rest on the
// frame's last point and runs the frame twice; the second pass is drawn, as the frame looks
// while it repeats. Lit where the delayed colour is lit, in that colour; dark stretches of
// the path faint grey as in the commanded view. The samples are kept from picture to picture,
// so once they have grown to a frame's size nothing is allocated.
class SimulatedOutputPicture {
 public:
  // Beam samples per point: enough for the curves between the points to look smooth.
  static constexpr uint32_t kSamplesPerPoint = 4;

  // Counts of the drawn path: litSegments its lit sample steps, blankedMoves its dark
  // stretches that move; dwellPoints the places where the commanded beam stays.
  OutputPictureCounts Build(std::span<const DacPoint> points, uint32_t pointRate,
                            const ScannerRating& rating, const std::optional<OutputWindow>& window,
                            DrawList& out, const ProjectionStage* projection = nullptr);

  // The beam samples of the pass drawn last.
  std::span<const BeamSample> Samples() const { return samples_; }

 private:
  std::vector<BeamSample> samples_;
};

}  // namespace lumarex
