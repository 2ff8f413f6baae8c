#include "app/cli_output.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <thread>

#include "projection/projection_file.h"

namespace lumarex::cli {

namespace {

struct Range {
  int left = 0;
  int right = 0;
};

// "L:R" with both ends on the slider's scale 0..max.
std::optional<Range> ParseRange(const std::string& text, int max) {
  Range range;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d:%d%c", &range.left, &range.right, &tail) != 2) return {};
  if (range.left < 0 || range.right < 0 || range.left > max || range.right > max) return {};
  return range;
}

// Left thumb first, then the right, each through the slider's change handler, as an operator
// dragging them in turn would.
void ApplyRange(RangeSlider& slider, const Range& range) {
  slider.SetLeft(range.left);
  slider.SetRight(range.right);
}

}  // namespace

void AddCalibrationOptions(CLI::App& cmd, CalibrationOptions& o, bool withProjection) {
  cmd.add_option("--scan-speed", o.scanSpeed, "Scanner speed in K points per second")
      ->check(CLI::Range(20, 80));
  cmd.add_option("--size-x", o.sizeX, "Size / offset window of X, L:R in 0..100");
  cmd.add_option("--size-y", o.sizeY, "Size / offset window of Y, L:R in 0..100");
  cmd.add_option("--orientation", o.orientation, "Swap / invert, 0..7")->check(CLI::Range(0, 7));
  cmd.add_option("--colour-shift", o.colourShift, "Points by which colours lag, 0..10")
      ->check(CLI::Range(0, 10));
  cmd.add_option("--extra-points", o.extraPoints, "Dwell points per blank change, 0..5")
      ->check(CLI::Range(0, 5));
  cmd.add_option("--frame-change", o.frameChange, "Move between frames: centre or direct")
      ->check(CLI::IsMember({"centre", "direct"}));
  cmd.add_option("--red", o.red, "Red range, L:R in 0..80");
  cmd.add_option("--green", o.green, "Green range, L:R in 0..80");
  cmd.add_option("--blue", o.blue, "Blue range, L:R in 0..80");
  cmd.add_option("--power", o.power, "Overall power, 4..10 (40..100 %)")->check(CLI::Range(4, 10));
  if (!withProjection) return;
  cmd.add_option("--projection", o.projection,
                 "Projection file (corners, warp, masks, safe area) for the output");
}

void AddRigOption(CLI::App& cmd, std::optional<std::string>& rig) {
  cmd.add_option("--rig", rig,
                 "Rig file (*.rig.json): the projectors to send to, each with its device, "
                 "calibration and projection");
}

OutputRig::OutputRig(CliContext& context, bool withDevices, bool withAudio)
    : form(context.Window(withDevices, withAudio)),
      dac(form.Dac),
      output(form.Output),
      selection(form.Devices) {}

bool OutputRig::ApplyCalibration(const CalibrationOptions& o) {
  struct RangeOption {
    const std::optional<std::string>& text;
    RangeSlider& slider;
    int max;
    const char* name;
  };
  const RangeOption ranges[] = {
      {o.sizeX, output.Achse_X, 100, "--size-x"},   {o.sizeY, output.Achse_Y, 100, "--size-y"},
      {o.red, output.Rot_to_Laser, 80, "--red"},    {o.green, output.Gruen_to_Laser, 80, "--green"},
      {o.blue, output.Blau_to_Laser, 80, "--blue"},
  };
  for (const RangeOption& r : ranges) {
    if (r.text && !ParseRange(*r.text, r.max)) {
      std::cerr << "lumarex-cli: " << r.name << " takes L:R with both in 0.." << r.max << '\n';
      return false;
    }
  }
  if (o.projection) {
    const ProjectionRead read = ReadProjectionFile(*o.projection);
    if (!read.ok) {
      std::cerr << "lumarex-cli: " << *o.projection << ": " << read.error << '\n';
      return false;
    }
    output.OutputProjection.Set(read.projection);
  }

  if (o.scanSpeed) output.Scanspeed.SetPosition(*o.scanSpeed);
  if (o.sizeX) ApplyRange(output.Achse_X, *ParseRange(*o.sizeX, 100));
  if (o.sizeY) ApplyRange(output.Achse_Y, *ParseRange(*o.sizeY, 100));
  if (o.orientation) output.Scanner_Invers.SetPosition(*o.orientation);
  if (o.colourShift) output.Farbverschiebung.SetPosition(*o.colourShift);
  if (o.extraPoints) output.Extrapoints.SetPosition(*o.extraPoints);
  if (o.frameChange) {
    const bool direct = *o.frameChange == "direct";
    if (direct != (output.FrameChangeMode == 1)) output.Framewechsel.Click();
  }
  if (o.red) ApplyRange(output.Rot_to_Laser, *ParseRange(*o.red, 80));
  if (o.green) ApplyRange(output.Gruen_to_Laser, *ParseRange(*o.green, 80));
  if (o.blue) ApplyRange(output.Blau_to_Laser, *ParseRange(*o.blue, 80));
  if (o.power) output.Dimmen_RGB.SetPosition(*o.power);
  return true;
}

bool OutputRig::OpenDevice(int device, CliContext& context) {
  if (!dac.DacLibraryLoaded() || selection.DeviceCount <= 0) {
    std::cerr << "lumarex-cli: no laser device to send to\n";
    context.Failed();
    return false;
  }
  const int32_t listed = std::min(selection.DeviceCount, DeviceSelection::kTableSize);
  if (device < 0 || device >= listed) {
    std::cerr << "lumarex-cli: there is no device " << device << " (" << listed << " found)\n";
    context.exitCode = kExitUsage;
    return false;
  }
  if (device != 0) {
    // As the operator would: search, then choose the device's item (which starts it).
    selection.Search();
    selection.Ausgabedevice.ChooseByOperator(device + 1);
  }
  if (dac.DeviceHandle < 0) {
    std::cerr << "lumarex-cli: device " << device << " could not be opened (" << dac.DeviceHandle
              << ")\n";
    context.Failed();
    return false;
  }
  // Armed again: loading a projector file, like every command of the window, stopped the
  // output that the start-up had started, and only Play would start it again.
  dac.jmLaserStartOutput(dac.DeviceHandle);
  return true;
}

bool OutputRig::LoadRig(const std::string& path, CliContext& context) {
  const std::string fault = form.Projectors.Load(path);
  if (fault.empty()) return true;
  std::cerr << "lumarex-cli: " << path << ": " << fault << '\n';
  context.Failed();
  return false;
}

void OutputRig::ReportFurtherOutputs(std::ostream& out) const {
  const ProjectorRig& p = form.Projectors;
  for (int k = 2; k <= p.Count(); ++k) {
    out << "Output " << k << " (" << (p.DeviceName(k).empty() ? "no device" : p.DeviceName(k))
        << (p.Enabled(k) ? "" : ", off") << "): " << p.Accepted(k) << " frames taken, "
        << p.Refused(k) << " refused\n";
  }
}

bool OutputRig::WaitUntilReady(std::chrono::milliseconds patience) {
  using SteadyClock = std::chrono::steady_clock;
  const auto deadline = SteadyClock::now() + patience;
  const ProjectorRig& projectors = form.Projectors;
  const auto allReady = [&] {
    if (dac.jmLaserIsDeviceReady(dac.DeviceHandle) != 1) return false;
    for (int k = 2; k <= projectors.Count(); ++k) {
      if (projectors.Enabled(k) && projectors.Handle(k) >= 0 &&
          dac.jmLaserIsDeviceReady(projectors.Handle(k)) != 1) {
        return false;
      }
    }
    return true;
  };
  for (;;) {
    if (allReady()) return true;
    if (SteadyClock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::chrono::milliseconds OutputRig::Patience(size_t points, bool sentBefore) const {
  const int64_t slowestPassMs =
      static_cast<int64_t>(points) * 1000 / std::max(output.Scanspeed.Min() * 1000, 1);
  const int64_t outageMs = sentBefore ? 5000 : 0;
  return std::chrono::milliseconds(1000 + outageMs + 2 * slowestPassMs);
}

}  // namespace lumarex::cli
