#include "remote/remote_panel.h"

#include <string>

#include "control/event_stream.h"
#include "dmx/dmx_input.h"
#include "midi/midi_input.h"
#include "osc/osc_server.h"

namespace lumarex {

namespace {

constexpr const char kMapFilter[] = "MIDI-Zuordnung  *.json|*.json";

// The commands MIDI learn offers before the controls.
constexpr const char* kLearnCommands[] = {"Play",     "Stop",  "Blackout", "Next",
                                          "Previous", "power", "rate"};

std::string Counted(uint64_t received, uint64_t ignored) {
  return std::to_string(received) + " empfangen, " + std::to_string(ignored) + " ignoriert";
}

}  // namespace

RemotePanel::RemotePanel(RemoteInputs& inputs, ControlRegistry& registry, DesktopServices& desktop,
                         const RemoteInputOptions& settings)
    : inputs_(inputs),
      registry_(registry),
      desktop_(desktop),
      settings_(settings),
      commandListener_(registry.AddCommandListener([this](const CommandRecord& r) {
        if (r.source == CommandSource::kKey || r.source == CommandSource::kWidget) return;
        messages_.push_back(CommandLogLine(r));
        if (messages_.size() > kMessageLines) messages_.pop_front();
        Changed();
      })) {}

RemotePanel::~RemotePanel() {
  registry_.RemoveListener(commandListener_);
}

void RemotePanel::Changed() {
  if (OnChanged) OnChanged();
}

bool RemotePanel::OscOn() const {
  return inputs_.Osc() != nullptr;
}

bool RemotePanel::SetOsc(bool on) {
  oscError_.clear();
  if (!on) {
    inputs_.StopOsc();
  } else if (!OscOn()) {
    if (!settings_.oscPort) settings_.oscPort = kDefaultOscPort;
    inputs_.StartOsc(*settings_.oscPort, oscError_);
  }
  Changed();
  return OscOn() == on;
}

bool RemotePanel::ArtnetOn() const {
  return inputs_.Dmx() != nullptr && settings_.artnet;
}

bool RemotePanel::SacnOn() const {
  return inputs_.Dmx() != nullptr && settings_.sacn;
}

bool RemotePanel::SetArtnet(bool on) {
  settings_.artnet = on;
  return RestartDmx() && ArtnetOn() == on;
}

bool RemotePanel::SetSacn(bool on) {
  settings_.sacn = on;
  return RestartDmx() && SacnOn() == on;
}

// Art-Net and sACN share one input: switching either starts it anew with both settings.
bool RemotePanel::RestartDmx() {
  dmxError_.clear();
  inputs_.StopDmx();
  const bool ok = !(settings_.artnet || settings_.sacn) || inputs_.StartDmx(settings_, dmxError_);
  Changed();
  return ok;
}

bool RemotePanel::MidiOn() const {
  return inputs_.Midi() != nullptr;
}

bool RemotePanel::SetMidi(bool on) {
  midiError_.clear();
  if (!on) {
    inputs_.StopMidi();
  } else if (!MidiOn()) {
    if (!settings_.midiPort) settings_.midiPort = std::string();
    inputs_.StartMidi(settings_, midiError_);
  }
  Changed();
  return MidiOn() == on;
}

std::vector<std::string> RemotePanel::StateLines() const {
  std::vector<std::string> lines;
  if (const OscServer* osc = inputs_.Osc()) {
    const OscCounters c = osc->Counters();
    lines.push_back("OSC: an, Port " + std::to_string(osc->Port()) + ", " +
                    Counted(c.received, c.ignored));
  } else {
    lines.push_back(oscError_.empty() ? "OSC: aus" : "OSC: Fehler: " + oscError_);
  }
  const DmxInput* dmx = inputs_.Dmx();
  const DmxCounters d = dmx ? dmx->Counters() : DmxCounters{};
  const auto dmxLine = [&](const char* name, bool on, const DmxProtocolCounters& c) {
    if (on) return std::string(name) + ": an, " + Counted(c.received, c.ignored);
    if (!dmxError_.empty() && !dmx) return std::string(name) + ": Fehler: " + dmxError_;
    return std::string(name) + ": aus";
  };
  lines.push_back(dmxLine("Art-Net", ArtnetOn(), d.artnet));
  lines.push_back(dmxLine("sACN", SacnOn(), d.sacn));
  if (const MidiInput* midi = inputs_.Midi()) {
    const MidiCounters c = midi->Counters();
    std::string line = std::string("MIDI: an (") + MidiApiName(midi->Api()) + ")";
    for (const std::string& port : midi->ConnectedPorts()) line += ", " + port;
    lines.push_back(line + ", " + Counted(c.received, c.ignored));
  } else {
    lines.push_back(midiError_.empty() ? "MIDI: aus" : "MIDI: Fehler: " + midiError_);
  }
  return lines;
}

std::vector<std::string> RemotePanel::LearnTargets() const {
  std::vector<std::string> targets(std::begin(kLearnCommands), std::end(kLearnCommands));
  for (const NamedControl& c : registry_.Controls()) targets.push_back("control " + c.name);
  return targets;
}

bool RemotePanel::BeginLearn(size_t index) {
  MidiInput* midi = inputs_.Midi();
  const std::vector<std::string> targets = LearnTargets();
  if (!midi || index >= targets.size()) return false;
  const auto target = ParseMidiTarget(targets[index]);
  if (!target) return false;
  midi->Learn().Begin(*target);
  Changed();
  return true;
}

void RemotePanel::CancelLearn() {
  if (MidiInput* midi = inputs_.Midi()) midi->Learn().Cancel();
  Changed();
}

std::string RemotePanel::LearnLine() const {
  MidiInput* midi = inputs_.Midi();
  if (!midi) return "MIDI lernen: aus";
  MidiLearn& learn = midi->Learn();
  switch (learn.GetState()) {
    case MidiLearn::State::kIdle:
      return "MIDI lernen: bereit";
    case MidiLearn::State::kListening:
      return "MIDI lernen: wartet auf Taste oder Regler f\u00fcr " +
             MidiTargetText(*learn.Target());
    case MidiLearn::State::kLearned:
      return "MIDI lernen: " + MidiSourceText(*learn.LearnedSource()) + " = " +
             MidiTargetText(*learn.Target()) + (learn.Unsaved() ? " (nicht gespeichert)" : "");
  }
  return {};
}

bool RemotePanel::SaveMidiMap() {
  MidiInput* midi = inputs_.Midi();
  if (!midi) return false;
  const auto path = desktop_.ChooseFileToSave("MidiMap", kMapFilter);
  if (!path) return false;
  std::string error;
  const bool saved = midi->Learn().Save(*path, error);
  if (saved) {
    settings_.midiMap = *path;
  } else {
    desktop_.ShowMessage("MIDI-Zuordnung nicht gespeichert: " + error);
  }
  Changed();
  return saved;
}

void RemotePanel::BindClock(ShowClock* clock) {
  clock_ = clock;
  if (clock_) clockDraft_ = clock_->Settings();
  clockError_.clear();
  Changed();
}

bool RemotePanel::ApplyClock() {
  if (!clock_) return false;
  std::string error;
  const bool done = clock_->Apply(clockDraft_, error);
  clockError_ = done ? std::string() : "Uhr: Fehler: " + error;
  Changed();
  return done;
}

std::string RemotePanel::ClockLine() const {
  if (!clockError_.empty()) return clockError_;
  return clock_ ? clock_->StatusLine() : std::string();
}

void RemotePanel::Poll() {
  std::string state;
  for (const std::string& line : StateLines()) state += line + '\n';
  state += LearnLine() + '\n' + ClockLine();
  if (state == lastState_) return;
  lastState_ = state;
  Changed();
}

}  // namespace lumarex
