#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "control/control_registry.h"
#include "platform/desktop_services.h"
#include "remote/remote_inputs.h"
#include "remote/show_clock.h"

namespace lumarex {

// The "Fernsteuerung" tool window without its window: OSC, Art-Net, sACN and MIDI switched on
// and off while the show runs, a line of state for each, the last commands the remote inputs
// gave, MIDI learn (pick a command or control, move a key or knob, it is mapped; the map
// saved to a file), and the show's clock: system, the music's, or timecode with its line of
// state. User-interface thread only.
class RemotePanel {
 public:
  static constexpr const char* kCaption = "Fernsteuerung";
  static constexpr size_t kMessageLines = 12;
  static constexpr uint16_t kDefaultOscPort = 7700;

  // `settings` are the inputs' options the switches use (the command line's, at first).
  RemotePanel(RemoteInputs& inputs, ControlRegistry& registry, DesktopServices& desktop,
              const RemoteInputOptions& settings);
  ~RemotePanel();
  RemotePanel(const RemotePanel&) = delete;
  RemotePanel& operator=(const RemotePanel&) = delete;

  RemoteInputOptions& Settings() { return settings_; }

  // The switches: true when the input is on afterwards as asked; a failure to open is told in
  // the input's state line.
  bool OscOn() const;
  bool SetOsc(bool on);
  bool ArtnetOn() const;
  bool SetArtnet(bool on);
  bool SacnOn() const;
  bool SetSacn(bool on);
  bool MidiOn() const;
  bool SetMidi(bool on);

  // One line for each input, in the order OSC, Art-Net, sACN, MIDI: "OSC: an, Port 7700, 12
  // empfangen, 1 ignoriert", "Art-Net: aus", "MIDI: Fehler: ...".
  std::vector<std::string> StateLines() const;
  // The last commands of remote inputs, oldest first ("osc: Go 2").
  const std::deque<std::string>& Messages() const { return messages_; }

  // MIDI learn. The targets are the commands and every control of the registry, as text.
  std::vector<std::string> LearnTargets() const;
  // Waits for a key or knob to map onto target `index`; false when MIDI is off.
  bool BeginLearn(size_t index);
  void CancelLearn();
  // "MIDI lernen: aus", "... wartet auf Taste oder Regler für Play", "... note 65 = Play".
  std::string LearnLine() const;
  // Saves the map through the save dialog; false when nothing was written (a failure is told
  // in a message).
  bool SaveMidiMap();

  // The clock and timecode options, once the window has a show clock: the window edits the
  // draft and applies it; the line tells how the clock stands, or why the options failed.
  void BindClock(ShowClock* clock);
  bool HasClock() const { return clock_ != nullptr; }
  ClockSettings& ClockDraft() { return clockDraft_; }
  bool ApplyClock();
  std::string ClockLine() const;

  // The window's timer calls this now and then: counters and learn move on their own.
  void Poll();
  std::function<void()> OnChanged;

 private:
  bool RestartDmx();
  void Changed();

  RemoteInputs& inputs_;
  ControlRegistry& registry_;
  DesktopServices& desktop_;
  RemoteInputOptions settings_;
  std::string oscError_;
  std::string dmxError_;
  std::string midiError_;
  std::deque<std::string> messages_;
  std::string lastState_;
  ControlRegistry::ListenerId commandListener_;
  ShowClock* clock_ = nullptr;
  ClockSettings clockDraft_;
  std::string clockError_;
};

}  // namespace lumarex
