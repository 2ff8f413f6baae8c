#include "params/parameter_controls.h"

namespace lumarex {

namespace {

struct RangeFields {
  RangeSlider& slider;
  ParameterField right;
  ParameterField left;
};

// The sliders in the order the record holds them, which is also the order they are set in.
void ForEachRange(const ParameterControls& c, auto&& action) {
  const RangeFields ranges[] = {
      {c.Achse_X, ParameterField::kAchseXRight, ParameterField::kAchseXLeft},
      {c.Achse_Y, ParameterField::kAchseYRight, ParameterField::kAchseYLeft},
      {c.Rot_to_Laser, ParameterField::kRotRight, ParameterField::kRotLeft},
      {c.Gruen_to_Laser, ParameterField::kGruenRight, ParameterField::kGruenLeft},
      {c.Blau_to_Laser, ParameterField::kBlauRight, ParameterField::kBlauLeft},
  };
  for (const RangeFields& range : ranges) action(range);
}

}  // namespace

ParameterRecord CaptureParameterRecord(const ParameterControls& c) {
  ParameterRecord record;
  record.Set(ParameterField::kScanspeed, c.Scanspeed.Position());
  record.Set(ParameterField::kFrameChangeMode, c.FrameChangeMode);
  record.Set(ParameterField::kFarbverschiebung, c.Farbverschiebung.Position());
  record.Set(ParameterField::kExtrapoints, c.Extrapoints.Position());
  record.SetOrientation(c.Scanner_Invers.Position());
  ForEachRange(c, [&record](const RangeFields& range) {
    record.Set(range.right, range.slider.Right());
    record.Set(range.left, range.slider.Left());
  });
  record.Set(ParameterField::kDimmenRgb, c.Dimmen_RGB.Position());
  record.Set(ParameterField::kIrqSpeed, c.Irq_Speed.Position());
  record.Set(ParameterField::kOglEffekt, c.OGL_Effekt.Position());
  return record;
}

void ApplyParameterRecord(const ParameterControls& c, const ParameterRecord& record,
                          bool fromShowFile) {
  c.Scanspeed.SetPosition(record.Get(ParameterField::kScanspeed));
  // There are two modes only: any byte but 1 is the centre move, so the caption never goes
  // stale on a mode that has no name.
  if (record.Get(ParameterField::kFrameChangeMode) == 1) {
    c.FrameChangeMode = 1;
    c.Framewechsel.SetCaption("IQ-Fahrt");
  } else {
    c.FrameChangeMode = 0;
    c.Framewechsel.SetCaption("Centerfahrt");
  }
  c.Farbverschiebung.SetPosition(record.Get(ParameterField::kFarbverschiebung));
  c.Extrapoints.SetPosition(record.Get(ParameterField::kExtrapoints));

  if (!fromShowFile || !OverwriteProtected(c)) {
    ForEachRange(c, [&record](const RangeFields& range) {
      range.slider.SetThumbs(record.Get(range.left), record.Get(range.right));
    });
  }
  if (c.PowerUnlocked) c.Dimmen_RGB.SetPosition(record.Get(ParameterField::kDimmenRgb));

  c.Irq_Speed.SetPosition(record.Get(ParameterField::kIrqSpeed));
  c.OGL_Effekt.SetPosition(record.Get(ParameterField::kOglEffekt));
  c.Scanner_Invers.SetPosition(record.Orientation());
}

}  // namespace lumarex
