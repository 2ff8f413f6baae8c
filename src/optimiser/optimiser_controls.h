#pragma once

#include <functional>
#include <optional>
#include <string>

#include "optimiser/optimiser_parameters.h"
#include "optimiser/osa_file.h"
#include "platform/desktop_services.h"
#include "show/show_store.h"
#include "widgets/status_image.h"
#include "widgets/track_bar.h"

namespace lumarex {

// The optimiser window's parameter controls: nine track bars with their change handlers, the
// labels they write on Info_Center, the dwell indicator pictures, and the saving and loading
// of optimisation sets. The parameters are derived from the positions afresh whenever they
// are asked for. Every handler except the direction factor's ends by asking for the frame on
// show to be optimised and drawn again (OnReoptimise). User-interface thread only.
class OptimiserControls {
 public:
  OptimiserControls(ShowStore& store, DesktopServices& desktop);
  OptimiserControls(const OptimiserControls&) = delete;
  OptimiserControls& operator=(const OptimiserControls&) = delete;

  TrackBar Interpolation_Seek{6, 34, 34};
  TrackBar Interpolation_Geblankt{6, 32, 32};
  TrackBar Seek_Start{0, 10, 10};
  TrackBar Seek_End{0, 10, 0};
  TrackBar Blank_Start{0, 10, 8};
  TrackBar Blank_End{0, 10, 2};
  TrackBar Suchraster{0, 3, 0};
  TrackBar Min_Points{0, 5, 1};
  TrackBar Richtungsrechenfaktor{0, 5, 0};
  // Carried by the window but served by no handler and stored in no set.
  TrackBar Minuspunkte{0, 10, 0};

  StatusImage Info_Center{203, 193};
  StatusImage Sichtbarpoints{103, 20};
  StatusImage Geblanktepoints{103, 20};

  // What re-optimising and redrawing the frame on show means; the optimiser session sets it.
  void OnReoptimise(std::function<void()> reoptimise) { reoptimise_ = std::move(reoptimise); }

  // Steps of opening the window: the opening texts, then every control to its opening
  // position (each control that moves runs its handler).
  void Open();

  OptimiserParameters Parameters() const;
  double DirectionFactor() const { return directionFactor_; }
  ParameterSet Positions() const;
  // Moves the controls to a set's positions in the file's order; each is clamped to its range
  // and each that moves runs its handler.
  void ApplyPositions(const ParameterSet& set);

  // "Save Optimierungs Parameter" once the save dialog has answered (nullopt: cancelled).
  void SaveParameterSet(const std::optional<std::string>& chosen);
  // "Load Optimierungs Parameter" once the open dialog has answered (nullopt: cancelled).
  // True when a set was loaded.
  bool LoadParameterSet(const std::optional<std::string>& chosen);

 private:
  void Interpolation_Seekchange();
  void Interpolation_Geblanktchange();
  void Seek_Startchange();
  void Seek_Endchange();
  void Blank_Startchange();
  void Blank_Endchange();
  void Suchrasterchange();
  void Min_PointsChange();
  void RichtungsrechenfaktorChange();
  void DrawVisibleWidthLabel();
  void DrawDwellIndicators(bool lit);
  void Reoptimise() const;

  ShowStore& store_;
  DesktopServices& desktop_;
  std::function<void()> reoptimise_;
  double directionFactor_ = 1.0;
};

// MinPoints for the positions 0..5 of Min_Points.
inline constexpr uint16_t kMinPointsByPosition[6] = {0, 1, 25, 50, 100, 200};
// The radius of a dwell dot for a count of 0..10.
int DwellDotRadius(int count);

}  // namespace lumarex
