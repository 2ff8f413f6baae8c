#include "remote/remote_inputs.h"

#include "dmx/dmx_input.h"
#include "midi/midi_input.h"
#include "osc/osc_server.h"

namespace lumarex {

RemoteInputs::RemoteInputs(ControlRegistry& registry, UiDispatcher& dispatcher)
    : registry_(registry), dispatcher_(dispatcher) {}

RemoteInputs::~RemoteInputs() = default;

bool RemoteInputs::Start(const RemoteInputOptions& options, std::string& error) {
  std::string why;
  if (options.oscPort && !StartOsc(*options.oscPort, why)) {
    error = "OSC: " + why;
  } else if ((options.artnet || options.sacn) && !StartDmx(options, why)) {
    error = "DMX: " + why;
  } else if (options.midiPort && !StartMidi(options, why)) {
    error = "MIDI: " + why;
  } else {
    return true;
  }
  return false;
}

bool RemoteInputs::StartOsc(uint16_t port, std::string& error) {
  osc_.reset();
  std::string why;
  osc_ = OscServer::Start(registry_, dispatcher_, port, why);
  if (!osc_) error = why;
  return osc_ != nullptr;
}

void RemoteInputs::StopOsc() {
  osc_.reset();
}

bool RemoteInputs::StartDmx(const RemoteInputOptions& options, std::string& error) {
  dmx_.reset();
  DmxInputOptions dmx;
  dmx.artnet = options.artnet;
  dmx.sacn = options.sacn;
  dmx.universe = options.dmxUniverse;
  dmx.address = options.dmxAddress;
  dmx.artnetNodeAddress = options.artnetAddress;
  dmx.sacnInterface = options.sacnInterface;
  std::string why;
  dmx_ = DmxInput::Start(registry_, dispatcher_, dmx, why);
  if (!dmx_) error = why;
  return dmx_ != nullptr;
}

void RemoteInputs::StopDmx() {
  dmx_.reset();
}

bool RemoteInputs::StartMidi(const RemoteInputOptions& options, std::string& error) {
  midi_.reset();
  MidiInputOptions midi;
  midi.portNamePart = options.midiPort.value_or("");
  midi.channel = options.midiChannel;
  midi.mapFile = options.midiMap;
  std::string why;
  midi_ = std::make_unique<MidiInput>();
  if (!midi_->Start(registry_, dispatcher_, midi, why)) {
    midi_.reset();
    error = why;
  }
  return midi_ != nullptr;
}

void RemoteInputs::StopMidi() {
  midi_.reset();
}

}  // namespace lumarex
