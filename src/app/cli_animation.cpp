#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "app/cli_context.h"
#include "app/cli_output.h"
#include "app/cli_pictures.h"
#include "preview/start_animation.h"

namespace lumarex::cli {

namespace {

struct AnimationOptions {
  int angle = 0;
  int pointer = 340;
  bool json = false;
  std::optional<std::string> png;
  int size = 680;
  std::optional<int> device;
  int pictures = 0;
  std::optional<std::string> rig;
  CalibrationOptions calibration;
};

// One picture every second tick of the 20 ms start timer.
constexpr std::chrono::milliseconds kPicturePeriod{40};

// The angle after a picture, as the start timer steps it: 1..360 once round.
uint16_t NextAngle(uint16_t angle) {
  if (angle >= 360) angle = 0;
  return static_cast<uint16_t>(angle + 1);
}

void SendPictures(const AnimationOptions& o, StartAnimation& animation, int32_t tilt,
                  CliContext& context) {
  OutputRig rig(context);
  if (o.rig && !rig.LoadRig(*o.rig, context)) return;
  if (!rig.ApplyCalibration(o.calibration)) {
    context.exitCode = kExitUsage;
    return;
  }
  if (!rig.OpenDevice(*o.device, context)) return;
  DrawList picture;
  auto angle = static_cast<uint16_t>(o.angle);
  auto due = std::chrono::steady_clock::now();
  int sent = 0;
  for (int k = 0; k < o.pictures; ++k) {
    std::this_thread::sleep_until(due);
    due += kPicturePeriod;
    animation.AnimationStep(angle, tilt, picture);
    angle = NextAngle(angle);
    if (!rig.WaitUntilReady(rig.Patience(rig.output.LastDacPoints().size(), sent > 0))) {
      std::cerr << "lumarex-cli: the device did not become ready after " << sent << " pictures\n";
      context.Failed();
      break;
    }
    // After a wait (a DAC that dropped out and came back) the pictures go on at their pace
    // from now, instead of catching up in a burst.
    due = std::max(due, std::chrono::steady_clock::now());
    const uint32_t staged = animation.StagePoints(rig.output.StagedPoints());
    rig.output.TransformAndSend(staged);
    rig.form.Projectors.SendStaged(rig.output.StagedPoints().first(staged));
    ++sent;
  }
  rig.dac.jmLaserStopOutput(rig.dac.DeviceHandle);
  const DeviceEntry& entry = rig.selection.DeviceTable[static_cast<size_t>(*o.device)];
  (o.json ? std::cerr : std::cout)
      << "Sent " << sent << (sent == 1 ? " picture" : " pictures") << " of the ball to device "
      << *o.device << " (" << entry.FriendlyName << ")\n";
}

void Animation(const AnimationOptions& o, CliContext& context) {
  StartAnimation animation;
  const int32_t tilt = TiltFromPointer(o.pointer);
  DrawList list;
  animation.AnimationStep(static_cast<uint16_t>(o.angle), tilt, list);

  if (o.png && !RenderPng(list, kPreviewView, o.size, *o.png)) {
    context.Failed();
    return;
  }
  if (o.json) {
    std::vector<SequencePoint> staged(kSpherePoints);
    animation.StagePoints(staged);
    nlohmann::json stagedJson = nlohmann::json::array();
    for (const SequencePoint& s : staged) stagedJson.push_back({s.x, s.y, s.r, s.g, s.b, s.i});
    const nlohmann::json out = {{"angle", o.angle},
                                {"tilt", tilt},
                                {"batches", BatchesJson(list)},
                                {"staged", std::move(stagedJson)}};
    std::cout << out.dump() << '\n';
  } else {
    std::cout << "Start animation at angle " << o.angle << ", tilt " << tilt << '\n';
    PrintBatchSummary(list);
  }
  if (o.device) SendPictures(o, animation, tilt, context);
}

void AddAnimationCommand(CLI::App& app, CliContext& context) {
  auto o = std::make_shared<AnimationOptions>();
  CLI::App* cmd =
      app.add_subcommand("animation", "Draw the start animation's ball, or send it to a laser");
  cmd->add_option("--angle", o->angle, "Spin angle in degrees (default 0)")
      ->check(CLI::Range(0, 65535));
  cmd->add_option("--pointer", o->pointer,
                  "Mouse pointer's height in pixels below the steering strip's top (default 340)");
  cmd->add_flag("--json", o->json, "Print the draw list and the staged points as JSON");
  cmd->add_option("--png", o->png, "Write the picture as PNG, rendered with OpenGL");
  cmd->add_option("--size", o->size, "Side of the PNG in pixels (default 680)")
      ->check(CLI::Range(16, 8192));
  CLI::Option* device = cmd->add_option("--device", o->device, "Send the pictures to this device");
  CLI::Option* pictures =
      cmd->add_option("--pictures", o->pictures, "How many pictures to send, one each 40 ms")
          ->check(CLI::PositiveNumber);
  device->needs(pictures);
  pictures->needs(device);
  AddCalibrationOptions(*cmd, o->calibration);
  AddRigOption(*cmd, o->rig);
  cmd->callback([o, &context] { Animation(*o, context); });
}

const CommandRegistration kRegistration{58, AddAnimationCommand};

}  // namespace

}  // namespace lumarex::cli
