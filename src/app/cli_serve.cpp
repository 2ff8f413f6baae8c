#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/cli_context.h"
#include "app/cli_output.h"
#include "app/cli_timecode.h"
#include "control/control_registry.h"
#include "control/event_stream.h"
#include "control/set_list_chase.h"
#include "remote/remote_inputs.h"

namespace lumarex::cli {

namespace {

struct ServeOptions {
  std::optional<std::string> setList;
  RemoteInputOptions inputs;
  int device = 0;
  bool play = false;
  bool loop = false;
  bool events = false;
  TimecodeOptions timecode;
  std::optional<std::string> projection;
  std::optional<std::string> rig;
};

// Set by SIGTERM and SIGINT; the command's loop looks at it between the tasks it runs.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RequestStop(int) {
  stopRequested.store(true);
}

void Serve(const ServeOptions& o, CliContext& context) {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  OutputRig rig(context, true, true);
  Tform1& form = rig.form;
  if (o.rig && !rig.LoadRig(*o.rig, context)) return;
  if (o.projection) {
    CalibrationOptions projection;
    projection.projection = o.projection;
    if (!rig.ApplyCalibration(projection)) {
      context.exitCode = kExitUsage;
      return;
    }
  }
  if (!rig.OpenDevice(o.device, context)) return;
  CliWindow& cli = context.Cli();

  bool failed = false;
  const std::unique_ptr<AudioTimeSource> audioClock =
      OpenAudioClock(o.timecode, form, context, failed);
  if (failed) return;
  std::unique_ptr<ChaseTimeSource> chase = OpenChase(o.timecode, context, failed);
  if (failed) return;
  const DetachedTimeSource detach{form.Player};
  if (audioClock) form.Player.SetTimeSource(audioClock.get());
  if (chase) form.Player.SetTimeSource(chase.get());

  ControlRegistry registry(form, cli.dispatcher);
  std::unique_ptr<SetListChase> setListChase;
  if (chase) setListChase = std::make_unique<SetListChase>(registry, *chase, cli.dispatcher);
  std::unique_ptr<EventStream> events;
  if (o.events) events = std::make_unique<EventStream>(registry, std::cout, cli.clock);
  if (context.verbose) {
    registry.AddCommandListener(
        [](const CommandRecord& r) { std::cerr << CommandLogLine(r) << '\n'; });
  }
  if (o.loop && !form.Wiederholen.Checked()) form.Wiederholen.Click();
  if (o.setList) {
    const SetList::ReadResult read = registry.OpenSetList(*o.setList, CommandSource::kWidget);
    if (!read.ok) {
      std::cerr << "lumarex-cli: " << *o.setList << ": " << read.error << '\n';
      context.Failed();
      return;
    }
    if (o.play) registry.Play(CommandSource::kWidget);
  }

  RemoteInputs inputs(registry, cli.dispatcher);
  std::string error;
  if (!inputs.Start(o.inputs, error)) {
    std::cerr << "lumarex-cli: " << error << '\n';
    context.Failed();
    return;
  }

  while (!stopRequested.load()) {
    cli.dispatcher.RunUntil([] { return stopRequested.load(); }, std::chrono::milliseconds(100));
    // An end of show, or a device that stops taking frames, is seen here too.
    if (events) events->Poll();
  }
  // The inputs first, so that nothing arrives after the laser went dark.
  inputs.StopOsc();
  inputs.StopDmx();
  inputs.StopMidi();
  // As the window closes: the laser dark and the device stopped (the close stops it too).
  if (!form.Loading) form.Player.HaltPlayback();
  if (events) events->Poll();
}

void AddServeCommand(CLI::App& app, CliContext& context) {
  auto o = std::make_shared<ServeOptions>();
  CLI::App* cmd = app.add_subcommand(
      "serve",
      "Start as the window does and wait for commands from a set list, OSC, Art-Net, sACN and "
      "MIDI until SIGTERM or SIGINT (the laser dark at the end)");
  cmd->add_option("--setlist", o->setList,
                  "Set list (.m3u, .m3u8); its first entry is cued, or played with --play");
  cmd->add_option("--osc", o->inputs.oscPort, "Receive OSC on this UDP port");
  cmd->add_flag("--artnet", o->inputs.artnet, "Receive Art-Net DMX (UDP 6454)");
  cmd->add_flag("--sacn", o->inputs.sacn, "Receive sACN / E1.31 DMX (UDP 5568)");
  cmd->add_option("--dmx-universe", o->inputs.dmxUniverse,
                  "DMX universe (default 0 for Art-Net, 1 for sACN)");
  cmd->add_option("--dmx-address", o->inputs.dmxAddress,
                  "First of the four DMX channels (default 1)")
      ->check(CLI::Range(1, 509));
  cmd->add_option("--artnet-address", o->inputs.artnetAddress,
                  "Also take Art-Net sent to this IPv4 address of ours, and answer polls from it "
                  "(for a desk on this computer, e.g. 127.0.0.2)");
  cmd->add_option("--sacn-interface", o->inputs.sacnInterface,
                  "Join the sACN multicast group on the interface of this IPv4 address "
                  "(127.0.0.1 for senders on this computer)");
  cmd->add_option("--midi", o->inputs.midiPort,
                  "Receive MIDI on the input port \"Lumarex\"; with NAME, connect every output "
                  "port whose name contains it")
      ->expected(0, 1)
      ->default_str("");
  cmd->add_option("--midi-channel", o->inputs.midiChannel,
                  "Only this MIDI channel, 1..16 (default: any)")
      ->check(CLI::Range(1, 16));
  cmd->add_option("--midi-map", o->inputs.midiMap, "MIDI map file (JSON)");
  AddTimecodeOptions(*cmd, o->timecode, true);
  cmd->add_option("--projection", o->projection,
                  "Projection file (corners, warp, masks, safe area) for the output");
  AddRigOption(*cmd, o->rig);
  cmd->add_option("--device", o->device, "Device index as `devices` lists it (default 0)");
  cmd->add_flag("--play", o->play, "Play the set list's first entry at once");
  cmd->add_flag("--loop", o->loop,
                "Start the set list again after its last entry (Extras > Wiederholen)");
  cmd->add_flag("--events", o->events,
                "Print one JSON object a line for every command handled and every change of "
                "show or playing state");
  cmd->callback([o, &context] { Serve(*o, context); });
}

const CommandRegistration kRegistration{62, AddServeCommand};

}  // namespace

}  // namespace lumarex::cli
