#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "output/device_selection.h"
#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "params/parameter_controls.h"
#include "projection/projection.h"
#include "rig/helper_thread.h"
#include "rig/rig_file.h"
#include "show/show_store.h"
#include "widgets/status_image.h"
#include "widgets/track_bar.h"

namespace lumarex {

// The projectors ("Projektoren") a show plays to: output 1 is the main window's device and
// calibration, outputs 2..8 each have a device, a calibration and a projection of their own
// and an enabled flag. Every frame the player sends to output 1 goes to every further enabled
// output whose device is ready, through that output's calibration and projection, and each
// further output counts the frames its device took and refused (output 1's are the player's).
// The main window's calibration controls edit the selected output: its view binds to
// Output(Selected()), and the status images Scanninfo and DeviceFenster show the selected
// output's values. User-interface thread only.
class ProjectorRig {
 public:
  static constexpr int kMaxOutputs = static_cast<int>(kMaxRigOutputs);

  // `first` is output 1 and `firstControls` its parameter controls (the main window's, rate
  // and preview effect included). Further outputs write their texts on the same status images.
  ProjectorRig(const ShowStore& store, JMLaser& dac, LaserAusgabe& first,
               const ParameterControls& firstControls, DeviceSelection& devices,
               StatusImage& scanninfo, StatusImage& deviceFenster);
  ~ProjectorRig();
  ProjectorRig(const ProjectorRig&) = delete;
  ProjectorRig& operator=(const ProjectorRig&) = delete;

  // --- The outputs, numbered 1..Count() ---
  int Count() const { return static_cast<int>(further_.size()) + 1; }
  LaserAusgabe& Output(int k);
  // Adds an output with the start-up calibration, no device and no projection, enabled;
  // answers its number, or 0 when there are eight.
  int AddOutput();
  // Removes output k (2..Count()); the ones after it move down. Its device is closed.
  void RemoveOutput(int k);
  // Removes every further output.
  void Clear();

  bool Enabled(int k) const;
  // Output 1 is always enabled: it is the main window's.
  void SetEnabled(int k, bool enabled);

  // The device of output k: its name ("" without one) and its handle (-1 without one).
  std::string DeviceName(int k) const;
  int32_t Handle(int k) const;
  // Opens `device` (a name, a friendly name or an index of the device list) for output k,
  // arms it and closes the one it had. Output 1 chooses it in the device list, as the operator
  // would. Answers the reason when it cannot ("" when done); a device another output has is
  // refused.
  std::string OpenDevice(int k, const std::string& device);

  // The calibration record of output k and its setting, as a .PRO file holds it. For output 1
  // the whole record applies (the rate and preview effect too), as loading the file would.
  ParameterControls Controls(int k);

  // The projection of output k; false, with the projection as it was, when its corners are no
  // convex quadrilateral.
  bool SetProjection(int k, std::optional<Projection> projection);
  const std::optional<Projection>& GetProjection(int k);

  // --- Sending ---
  // Frame n to every further enabled output whose device is ready. BeginFrame(n), when called
  // first, starts preparing their lists on a thread beside the caller's (while it sends to
  // output 1); SendFrame(n) then prepares what is left, waits and writes each in turn.
  void BeginFrame(uint16_t n);
  void SendFrame(uint16_t n);
  // The start animation's points, as staged for output 1, to the same outputs.
  void SendStaged(std::span<const SequencePoint> staged);
  // The frames output k (2..) took and refused since the last reset.
  uint32_t Accepted(int k) const;
  uint32_t Refused(int k) const;
  void ResetCounters();

  // --- The rig file ---
  // Loads a rig file: the outputs it lists, each entry's device, calibration, projection and
  // enabled flag. Every file is read and every device found before anything changes, so a bad
  // file (or a missing device) changes nothing. Answers the reason when it fails, "" when done.
  std::string Load(const std::string& path);
  // Saves the rig: beside `path` (NAME.rig.json), each output's calibration as NAME.K.PRO and
  // its projection as NAME.K.projection.json. Answers the reason when it fails.
  std::string Save(const std::string& path);

  // --- Selection and the named controls of the selected output's projection ---
  // The selected output, 1..Count().
  TrackBar Projektor{1, 1, 1};
  int Selected() const { return Projektor.Position(); }
  // The corners of the selected output's projection, in DAC units, in the order
  // top left, top right, bottom right, bottom left: Ecke1_X, Ecke1_Y, ..., Ecke4_Y.
  std::array<TrackBar, 8> Ecken;
  static std::string CornerName(size_t index);
  // Called after the selection changed (the view binds to the selected output's controls) and
  // after the set of outputs, a device, a projection or a flag changed.
  std::function<void()> OnSelectionChanged;
  std::function<void()> OnChanged;
  // Called after a further output wrote a frame, with its number.
  std::function<void(int)> OnWritten;
  // Writes the selected output's values on Scanninfo and DeviceFenster.
  void ShowSelected();

 private:
  struct Further;
  Further& At(int k);
  const Further& At(int k) const;
  std::optional<int32_t> FindDevice(const std::string& device) const;
  void SyncCorners();
  void CornerMoved(size_t index);
  void CloseDevice(Further& f);
  void UpdateCompanions();
  void Changed();
  // Waits for a frame BeginFrame started, before the set of outputs changes.
  void FinishPreparing();

  const ShowStore& store_;
  JMLaser& dac_;
  LaserAusgabe& first_;
  ParameterControls firstControls_;
  DeviceSelection& devices_;
  StatusImage& scanninfo_;
  StatusImage& deviceFenster_;
  std::vector<std::unique_ptr<Further>> further_;
  bool syncing_ = false;
  // The outputs whose frame BeginFrame started, and which frame.
  std::vector<Further*> preparing_;
  std::optional<uint16_t> begun_;
  // Last, so that it is gone (its thread joined) before the outputs its jobs prepare.
  HelperThread helper_;
};

}  // namespace lumarex
