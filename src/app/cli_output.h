#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/cli_context.h"
#include "output/device_selection.h"
#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "widgets/status_image.h"

namespace CLI {
class App;
}

namespace lumarex::cli {

// The calibration options of the main window's right-hand column, shared by every command
// that sends to a laser or shows what it would send.
struct CalibrationOptions {
  std::optional<int> scanSpeed;
  std::optional<std::string> sizeX;
  std::optional<std::string> sizeY;
  std::optional<int> orientation;
  std::optional<int> colourShift;
  std::optional<int> extraPoints;
  std::optional<std::string> frameChange;
  std::optional<std::string> red;
  std::optional<std::string> green;
  std::optional<std::string> blue;
  std::optional<int> power;
  // A projection file (*.projection.json) for the output.
  std::optional<std::string> projection;
};

// `withProjection`: the command sends or draws output, so --projection applies.
void AddCalibrationOptions(CLI::App& command, CalibrationOptions& options,
                           bool withProjection = true);
// --rig FILE: the projectors a command sends to (*.rig.json).
void AddRigOption(CLI::App& command, std::optional<std::string>& rig);

// The laser side of the main window, as the commands that send or show output use it.
struct OutputRig {
  // The main window, started with its devices (the DAC library bound, device 0 opened and
  // armed) unless `withDevices` is false, when frames go through the transform to no device.
  explicit OutputRig(CliContext& context, bool withDevices = true, bool withAudio = false);

  Tform1& form;
  JMLaser& dac;
  LaserAusgabe& output;
  DeviceSelection& selection;

  // Moves the controls as the options say; false (reported on stderr) for a malformed range.
  bool ApplyCalibration(const CalibrationOptions& options);
  // Makes `device` the open one, as an operator would choose it (device 0 is open from the
  // start-up), and arms it. False, with the exit code set and the reason on stderr, when there
  // is no such device or it could not be opened.
  bool OpenDevice(int device, CliContext& context);
  // Loads a rig file into the window's projectors (before the other calibration options, which
  // then apply to output 1 on top of it); false, with the reason on stderr, when it fails.
  bool LoadRig(const std::string& path, CliContext& context);
  // Polls the open device, and every further enabled projector's, without blocking inside the
  // library; false when one stays busy for longer than `patience`.
  bool WaitUntilReady(std::chrono::milliseconds patience);
  // One line per further projector: what it took and refused.
  void ReportFurtherOutputs(std::ostream& out) const;
  // How long a device may take to take the next frame after one of `points` points at the
  // slowest scan speed, plus a second for a network DAC to connect. Once the device has taken
  // frames (`sentBefore`), a few seconds more: a DAC that drops out (power cycled, a network
  // that blinks) is tried again by its driver every second and plays on once it is back.
  std::chrono::milliseconds Patience(size_t points, bool sentBefore = false) const;
};

}  // namespace lumarex::cli
