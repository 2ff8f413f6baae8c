#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "control/control_registry.h"
#include "platform/ui_dispatcher.h"

namespace lumarex {

class OscServer;
class DmxInput;
class MidiInput;

// Which remote inputs to switch on, as the command line gives them. Every input is off unless
// asked for.
struct RemoteInputOptions {
  std::optional<uint16_t> oscPort;      // --osc PORT
  bool artnet = false;                  // --artnet
  bool sacn = false;                    // --sacn
  std::optional<uint16_t> dmxUniverse;  // --dmx-universe U (0 for Art-Net, 1 for sACN)
  uint16_t dmxAddress = 1;              // --dmx-address A
  std::string artnetAddress;  // --artnet-address IP: an address of ours that desks send to
  std::string sacnInterface;  // --sacn-interface IP: the interface to join the group on
  std::optional<std::string> midiPort;  // --midi [NAME]: engaged = on, NAME may be empty
  std::optional<int> midiChannel;       // --midi-channel N (1..16)
  std::string midiMap;                  // --midi-map FILE
};

// The remote inputs of one window: OSC, Art-Net and sACN, MIDI, each switched on and off at
// run time. They act through the registry; this object owns their threads. User-interface
// thread only.
class RemoteInputs {
 public:
  RemoteInputs(ControlRegistry& registry, UiDispatcher& dispatcher);
  ~RemoteInputs();
  RemoteInputs(const RemoteInputs&) = delete;
  RemoteInputs& operator=(const RemoteInputs&) = delete;

  // Starts what the options ask for; false with `error` saying which input failed and why
  // ("OSC: port 7700 is in use"; the inputs started before it stay on).
  bool Start(const RemoteInputOptions& options, std::string& error);

  // Each input alone (started anew when it runs); false with the reason in `error`.
  bool StartOsc(uint16_t port, std::string& error);
  void StopOsc();
  bool StartDmx(const RemoteInputOptions& options, std::string& error);
  void StopDmx();
  bool StartMidi(const RemoteInputOptions& options, std::string& error);
  void StopMidi();

  OscServer* Osc() const { return osc_.get(); }
  DmxInput* Dmx() const { return dmx_.get(); }
  MidiInput* Midi() const { return midi_.get(); }

 private:
  ControlRegistry& registry_;
  UiDispatcher& dispatcher_;
  std::unique_ptr<OscServer> osc_;
  std::unique_ptr<DmxInput> dmx_;
  std::unique_ptr<MidiInput> midi_;
};

}  // namespace lumarex
