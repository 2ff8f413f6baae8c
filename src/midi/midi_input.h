#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_registry.h"
#include "midi/midi_learn.h"
#include "midi/midi_map.h"
#include "midi/midi_message.h"
#include "platform/ui_dispatcher.h"

namespace lumarex {

// The MIDI system the input opens its ports on.
enum class MidiApi : uint8_t {
  kAuto,  // LUMAREX_MIDI_API when set, else JACK when a JACK server runs, else ALSA
  kJack,
  kAlsa,
};
// "auto", "jack", "alsa" (any case); none for anything else.
std::optional<MidiApi> ParseMidiApi(std::string_view text);
const char* MidiApiName(MidiApi api);

struct MidiInputOptions {
  // When not empty, the input also connects to every MIDI output port whose name contains
  // this (in any case), as they are at Start.
  std::string portNamePart;
  // 1..16: only this channel is heard, whatever the map file says.
  std::optional<int> channel;
  // A map file (midi_map_file.h) read onto the default map; empty: the default map.
  std::string mapFile;
  MidiApi api = MidiApi::kAuto;
};

struct MidiCounters {
  uint64_t received = 0;  // every message a port delivered
  uint64_t handled = 0;   // mapped onto a command and applied, or taken by learn
  uint64_t ignored = 0;   // nothing in the map, another channel, or no channel message
};

// MIDI input through RtMidi. Start opens a virtual input port "Lumarex" that other programs
// connect to, and with a port name part one more input per matching output port, connected
// to it. Each message is decoded on RtMidi's thread (JACK's process thread, or the thread
// RtMidi runs for an ALSA port), posted to the user-interface thread, logged, offered to
// learn, mapped and applied through the registry there. Those threads belong to the ports'
// RtMidiIn objects and end with them, in Stop.
//
// User-interface thread only, except Counters. The registry and the dispatcher must outlive
// the input (or its Stop).
class MidiInput {
 public:
  static constexpr const char* kPortName = "Lumarex";
  static constexpr size_t kLogLength = 16;

  MidiInput();
  // Stops: see Stop.
  ~MidiInput();
  MidiInput(const MidiInput&) = delete;
  MidiInput& operator=(const MidiInput&) = delete;

  // Reads the map and opens the ports (an input that runs is stopped first). False with the
  // reason in `error` when the map file, the channel or a port fails; nothing is open then.
  // A name part that matches no port is no failure: ConnectedPorts says what was found.
  // Blocks while the ports open (a JACK client takes some milliseconds).
  bool Start(ControlRegistry& registry, UiDispatcher& dispatcher, const MidiInputOptions& options,
             std::string& error);
  // Closes every port; when it returns no callback runs any more, and messages posted but not
  // yet run do nothing.
  void Stop();

  bool Running() const { return !ports_.empty(); }
  // The system the ports are open on (kJack or kAlsa while running).
  MidiApi Api() const { return api_; }
  // The output ports the name part matched, by their names.
  const std::vector<std::string>& ConnectedPorts() const { return connected_; }
  // From any thread. Reset by Start.
  MidiCounters Counters() const;
  // The last kLogLength channel messages as text (MidiMessageText), oldest first, whether
  // they did something or not.
  const std::deque<std::string>& Log() const { return log_; }

  // The map in use, and learn over it (both read anew by Start).
  MidiMap& Map() { return map_; }
  MidiLearn& Learn() { return learn_; }

 private:
  struct Port;

  // RtMidi's callback; `user` is the input.
  static void Received(double stamp, std::vector<unsigned char>* bytes, void* user);
  void Handle(const MidiMessage& message);
  bool OpenPorts(MidiApi api, const std::string& portNamePart, std::string& error);

  ControlRegistry* registry_ = nullptr;
  UiDispatcher* dispatcher_ = nullptr;
  MidiApi api_ = MidiApi::kAuto;
  MidiMap map_;
  MidiLearn learn_{map_};
  std::vector<std::string> connected_;
  std::deque<std::string> log_;
  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> handled_{0};
  std::atomic<uint64_t> ignored_{0};
  // Posted messages find a stopped input through this; replaced by each Start.
  std::shared_ptr<bool> alive_;
  // Last: the ports' threads call into the members above until the ports are gone.
  std::vector<std::unique_ptr<Port>> ports_;
};

}  // namespace lumarex
