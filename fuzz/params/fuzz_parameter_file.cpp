// Any bytes as a projector parameter file, loaded onto the real calibration controls: only 50
// and 51 bytes may be taken, and whatever a record holds, every control must end within its
// range with the derived state in step.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "output/laser_ausgabe.h"
#include "params/parameter_files.h"

namespace {

using namespace lumarex;

struct Window {
  Window() {
    output.ApplyStartupSettings();
    files.ShowStartupProtection();
    char pattern[] = "/tmp/fuzz-parameter-XXXXXX.pro";
    const int fd = mkstemps(pattern, 4);
    if (fd < 0) std::abort();
    close(fd);
    path = pattern;
  }
  ~Window() { unlink(path.c_str()); }

  ShowStore store;
  JMLaser dac;
  StatusImage scanninfo{250, 430};
  StatusImage deviceFenster{250, 243};
  LaserAusgabe output{store, dac, scanninfo, deviceFenster};
  TrackBar Irq_Speed{1, 50, 25};
  TrackBar OGL_Effekt{0, 3, 0};
  Image Parameter_Auf, Parameter_Zu, Parameter;
  ParameterControls controls{output.Scanspeed,
                             output.Framewechsel,
                             output.FrameChangeMode,
                             output.Farbverschiebung,
                             output.Extrapoints,
                             output.Scanner_Invers,
                             output.Achse_X,
                             output.Achse_Y,
                             output.Rot_to_Laser,
                             output.Gruen_to_Laser,
                             output.Blau_to_Laser,
                             output.Dimmen_RGB,
                             output.PowerUnlocked,
                             Irq_Speed,
                             OGL_Effekt,
                             Parameter_Auf,
                             Parameter_Zu,
                             Parameter};
  SilentDesktopServices desktop;
  ParameterFiles files{controls, store, desktop};
  std::string path;
};

bool Within(const ValueControl& c) {
  return c.Position() >= c.Min() && c.Position() <= c.Max();
}

bool Within(const RangeSlider& s) {
  return s.Min() <= s.Left() && s.Left() <= s.Right() && s.Right() <= s.Max();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Window w;
  std::FILE* file = std::fopen(w.path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  // The first byte's low bit decides whether the sliders are protected from a show file.
  if (size > 0 && (data[0] & 1) != 0) {
    w.files.Parameter_AufClick();
  } else {
    w.files.Parameter_ZuClick();
  }
  const ProjectorLoad outcome = w.files.LoadProjectorParameters(w.path);
  if ((outcome == ProjectorLoad::kApplied) != (size == 50 || size == 51)) std::abort();
  if (outcome == ProjectorLoad::kApplied) {
    // The same record again, as a show's: under protection the windows must stay put.
    const int32_t left = w.output.Achse_X.Left();
    const int32_t right = w.output.Achse_X.Right();
    ParameterRecord record;
    for (size_t i = 0; i < size; ++i) record.bytes[i] = data[i];
    ApplyParameterRecord(w.controls, record, true);
    if (w.files.Protected() &&
        (w.output.Achse_X.Left() != left || w.output.Achse_X.Right() != right)) {
      std::abort();
    }
  }

  LaserAusgabe& o = w.output;
  const bool inRange =
      Within(o.Scanspeed) && Within(o.Farbverschiebung) && Within(o.Extrapoints) &&
      Within(o.Scanner_Invers) && Within(o.Dimmen_RGB) && Within(w.Irq_Speed) &&
      Within(w.OGL_Effekt) && Within(o.Achse_X) && Within(o.Achse_Y) && Within(o.Rot_to_Laser) &&
      Within(o.Gruen_to_Laser) && Within(o.Blau_to_Laser) && o.FrameChangeMode <= 1 &&
      o.Framewechsel.Caption() == (o.FrameChangeMode == 1 ? "IQ-Fahrt" : "Centerfahrt") &&
      o.Orientation == o.Scanner_Invers.Position() &&
      o.OffsetX == ((o.Achse_X.Left() + o.Achse_X.Right()) / 2 - 50) * 655 &&
      o.OffsetY == ((o.Achse_Y.Left() + o.Achse_Y.Right()) / 2 - 50) * 655;
  if (!inRange) std::abort();
  return 0;
}
