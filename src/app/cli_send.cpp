#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <thread>

#include "app/cli_context.h"
#include "app/cli_load.h"
#include "output/device_selection.h"
#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "widgets/status_image.h"

namespace lumarex::cli {

namespace {

struct SendOptions {
  std::string file;
  int frame = 0;
  int device = 0;
  int count = 1;
  std::optional<double> seconds;
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
};

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
// dragging them in turn (and the parameter files) would.
void ApplyRange(RangeSlider& slider, const Range& range) {
  slider.SetLeft(range.left);
  slider.SetRight(range.right);
}

bool ApplyCalibration(const SendOptions& o, LaserAusgabe& output) {
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

using SteadyClock = std::chrono::steady_clock;

// Polls without blocking inside the library; a device that stays busy longer than a frame
// could take at the slowest rate (plus a second for a network DAC to reconnect) has failed.
bool WaitUntilReady(JMLaser& dac, std::chrono::milliseconds patience) {
  const auto deadline = SteadyClock::now() + patience;
  for (;;) {
    if (dac.jmLaserIsDeviceReady(dac.DeviceHandle) == 1) return true;
    if (SteadyClock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void Send(const SendOptions& o, CliContext& context) {
  if (!LoadWithMerges(context, o.file, {})) return;
  const ShowStore& store = context.store;
  if (o.frame < 0 || o.frame >= store.FrameCount) {
    std::cerr << "lumarex-cli: frame " << o.frame << " is not in the show (" << store.FrameCount
              << " frames; " << store.IoStatus << ")\n";
    context.exitCode = kExitUsage;
    return;
  }

  JMLaser dac;
  dac.Bind(context.desktop);
  StatusImage scanninfo(250, 430);
  StatusImage deviceFenster(250, 243);
  LaserAusgabe output(store, dac, scanninfo, deviceFenster);
  DeviceSelection selection(dac, output, deviceFenster);
  selection.StartupProbe();
  if (!dac.DacLibraryLoaded() || selection.DeviceCount <= 0) {
    std::cerr << "lumarex-cli: no laser device to send to\n";
    context.exitCode = 1;
    return;
  }
  const int32_t listed = std::min(selection.DeviceCount, DeviceSelection::kTableSize);
  if (o.device < 0 || o.device >= listed) {
    std::cerr << "lumarex-cli: there is no device " << o.device << " (" << listed << " found)\n";
    context.exitCode = kExitUsage;
    return;
  }

  output.ApplyStartupSettings();
  if (!ApplyCalibration(o, output)) {
    context.exitCode = kExitUsage;
    return;
  }
  if (o.device == 0) {
    dac.jmLaserStartOutput(dac.DeviceHandle);
  } else {
    // As the operator would: search, then choose the device's item (which starts it).
    selection.Search();
    selection.Ausgabedevice.ChooseByOperator(o.device + 1);
  }

  const auto start = SteadyClock::now();
  const auto until = o.seconds ? start + std::chrono::duration_cast<SteadyClock::duration>(
                                             std::chrono::duration<double>(*o.seconds))
                               : SteadyClock::time_point::max();
  int sent = 0;
  size_t lastPoints = 0;
  for (;;) {
    if (o.seconds ? SteadyClock::now() >= until : sent >= o.count) break;
    const int64_t slowestPassMs =
        static_cast<int64_t>(lastPoints) * 1000 / std::max(output.Scanspeed.Min() * 1000, 1);
    if (!WaitUntilReady(dac, std::chrono::milliseconds(1000 + 2 * slowestPassMs))) {
      std::cerr << "lumarex-cli: the device did not become ready after " << sent << " frames\n";
      context.exitCode = 1;
      break;
    }
    output.OutputFrame(static_cast<uint16_t>(o.frame));
    lastPoints = output.LastDacPoints().size();
    ++sent;
  }
  dac.jmLaserStopOutput(dac.DeviceHandle);

  const DeviceEntry& entry = selection.DeviceTable[static_cast<size_t>(o.device)];
  std::cout << "Sent " << sent << (sent == 1 ? " frame" : " frames") << " of " << lastPoints
            << " points to device " << o.device << " (" << entry.FriendlyName << ") at "
            << output.ScanSpeedPps << " points per second\n";
}

void AddSendCommand(CLI::App& app, CliContext& context) {
  auto o = std::make_shared<SendOptions>();
  CLI::App* cmd = app.add_subcommand(
      "send", "Write one frame of a show to a laser device through the output calibration");
  cmd->add_option("IN", o->file, "Show file")->required();
  cmd->add_option("--frame", o->frame, "Frame number")->required();
  cmd->add_option("--device", o->device, "Device index as `devices` lists it (default 0)");
  CLI::Option* count =
      cmd->add_option("--count", o->count, "How many times to write the frame (default 1)")
          ->check(CLI::PositiveNumber);
  cmd->add_option("--seconds", o->seconds, "Write the frame whenever the device is ready, for S s")
      ->check(CLI::NonNegativeNumber)
      ->excludes(count);
  cmd->add_option("--scan-speed", o->scanSpeed, "Scanner speed in K points per second")
      ->check(CLI::Range(20, 80));
  cmd->add_option("--size-x", o->sizeX, "Size / offset window of X, L:R in 0..100");
  cmd->add_option("--size-y", o->sizeY, "Size / offset window of Y, L:R in 0..100");
  cmd->add_option("--orientation", o->orientation, "Swap / invert, 0..7")->check(CLI::Range(0, 7));
  cmd->add_option("--colour-shift", o->colourShift, "Points by which colours lag, 0..10")
      ->check(CLI::Range(0, 10));
  cmd->add_option("--extra-points", o->extraPoints, "Dwell points per blank change, 0..5")
      ->check(CLI::Range(0, 5));
  cmd->add_option("--frame-change", o->frameChange, "Move between frames: centre or direct")
      ->check(CLI::IsMember({"centre", "direct"}));
  cmd->add_option("--red", o->red, "Red range, L:R in 0..80");
  cmd->add_option("--green", o->green, "Green range, L:R in 0..80");
  cmd->add_option("--blue", o->blue, "Blue range, L:R in 0..80");
  cmd->add_option("--power", o->power, "Overall power, 4..10 (40..100 %)")
      ->check(CLI::Range(4, 10));
  cmd->callback([o, &context] { Send(*o, context); });
}

const CommandRegistration kRegistration{54, AddSendCommand};

}  // namespace

}  // namespace lumarex::cli
