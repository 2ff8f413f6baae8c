#pragma once

#include <cstdint>

#include "params/parameter_record.h"
#include "widgets/button.h"
#include "widgets/image.h"
#include "widgets/range_slider.h"
#include "widgets/track_bar.h"
#include "widgets/value_control.h"

namespace lumarex {

// The main window's controls that a parameter record captures and sets, with the state beside
// them that the record reads. They belong to the output transform and the main window; this
// layer only holds them by reference, so it needs neither.
struct ParameterControls {
  TrackBar& Scanspeed;
  // The frame change mode is a byte beside its button: the button's click toggles it, a
  // record sets it outright together with the button's caption.
  Button& Framewechsel;
  uint8_t& FrameChangeMode;
  TrackBar& Farbverschiebung;
  TrackBar& Extrapoints;
  TrackBar& Scanner_Invers;
  RangeSlider& Achse_X;
  RangeSlider& Achse_Y;
  RangeSlider& Rot_to_Laser;
  RangeSlider& Gruen_to_Laser;
  RangeSlider& Blau_to_Laser;
  TrackBar& Dimmen_RGB;
  // The power lock: while false no parameter file changes Dimmen_RGB.
  const bool& PowerUnlocked;
  ValueControl& Irq_Speed;  // the output rate (a scroll bar on the window)
  TrackBar& OGL_Effekt;
  // The overwrite protection is on while Parameter_Auf is hidden (Parameter_Zu showing).
  Image& Parameter_Auf;
  Image& Parameter_Zu;
  // Shown when a show's parameter set was found or saved.
  Image& Parameter;
};

// A zeroed record filled from the controls.
ParameterRecord CaptureParameterRecord(const ParameterControls& controls);

// Sets the controls from a record, each through its change handler: speed, frame change mode,
// colour shift and extra points; size, offset and colour ranges unless the record comes from a
// show file while the overwrite protection is on; the power only while unlocked; then rate,
// preview mode and orientation. Each range slider takes its pair at once and runs its handler
// once, so a saved window loads back as it was whatever stood before.
void ApplyParameterRecord(const ParameterControls& controls, const ParameterRecord& record,
                          bool fromShowFile);

inline bool OverwriteProtected(const ParameterControls& controls) {
  return !controls.Parameter_Auf.Visible();
}

}  // namespace lumarex
