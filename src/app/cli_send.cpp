#include <CLI/CLI.hpp>
#include <chrono>
#include <iostream>
#include <optional>

#include "app/cli_context.h"
#include "app/cli_load.h"
#include "app/cli_output.h"
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
  std::optional<std::string> params;
  std::optional<std::string> rig;
  CalibrationOptions calibration;
};

using SteadyClock = std::chrono::steady_clock;

void Send(const SendOptions& o, CliContext& context) {
  context.Window(true);
  if (!LoadWithMerges(context, o.file, {})) return;
  const ShowStore& store = context.Store();
  if (o.frame < 0 || o.frame >= store.FrameCount) {
    std::cerr << "lumarex-cli: frame " << o.frame << " is not in the show (" << store.FrameCount
              << " frames; " << store.IoStatus << ")\n";
    // After a failed load the frame is missing because the show is: that is the failure.
    if (!context.loadFailed) context.exitCode = kExitUsage;
    return;
  }

  OutputRig rig(context);
  if (o.rig && !rig.LoadRig(*o.rig, context)) return;
  if (o.params && !LoadProjectorParameters(context, *o.params)) return;
  if (!rig.ApplyCalibration(o.calibration)) {
    context.exitCode = kExitUsage;
    return;
  }
  if (!rig.OpenDevice(o.device, context)) return;

  const auto start = SteadyClock::now();
  const auto until = o.seconds ? start + std::chrono::duration_cast<SteadyClock::duration>(
                                             std::chrono::duration<double>(*o.seconds))
                               : SteadyClock::time_point::max();
  int sent = 0;
  size_t lastPoints = 0;
  for (;;) {
    if (o.seconds ? SteadyClock::now() >= until : sent >= o.count) break;
    if (!rig.WaitUntilReady(rig.Patience(lastPoints, sent > 0))) {
      std::cerr << "lumarex-cli: the device did not become ready after " << sent << " frames\n";
      context.Failed();
      break;
    }
    rig.output.OutputFrame(static_cast<uint16_t>(o.frame));
    rig.form.Projectors.SendFrame(static_cast<uint16_t>(o.frame));
    lastPoints = rig.output.LastDacPoints().size();
    ++sent;
  }
  rig.dac.jmLaserStopOutput(rig.dac.DeviceHandle);

  const DeviceEntry& entry = rig.selection.DeviceTable[static_cast<size_t>(o.device)];
  std::cout << "Sent " << sent << (sent == 1 ? " frame" : " frames") << " of " << lastPoints
            << " points to device " << o.device << " (" << entry.FriendlyName << ") at "
            << rig.output.LastWriteRate() << " points per second\n";
  rig.ReportFurtherOutputs(std::cout);
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
  cmd->add_option("--params", o->params,
                  "Projector parameter file (.PRO) loaded before the calibration options");
  AddCalibrationOptions(*cmd, o->calibration);
  AddRigOption(*cmd, o->rig);
  cmd->callback([o, &context] { Send(*o, context); });
}

const CommandRegistration kRegistration{54, AddSendCommand};

}  // namespace

}  // namespace lumarex::cli
