#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "timecode/mtc_decoder.h"
#include "timecode/timecode_input.h"

namespace lumarex {

struct MtcInputOptions {
  // When not empty, the input also connects to every MIDI output port whose name contains
  // this (in any case), as they are at Open.
  std::string portNamePart;
  // "jack" or "alsa"; empty: LUMAREX_MIDI_API when set, else JACK when a JACK server runs,
  // else ALSA's sequencer.
  std::string api;
};

// "mtc", or "mtc:PORT" with PORT a part of the names of the ports to connect; none for
// anything else.
std::optional<MtcInputOptions> ParseMtcSource(std::string_view text);

// MIDI timecode through RtMidi: a virtual input port "Lumarex MTC" that other programs connect
// to, and with a name part one more input per matching output port, connected to it. Each
// port decodes with a decoder of its own, so that two senders never mix their quarter frames;
// the latest time from any of them is the reading. Messages are decoded on RtMidi's thread of
// the port (JACK's process thread of its client, or RtMidi's ALSA input thread); those threads
// belong to the ports' RtMidiIn objects and end with them, in the destructor.
class MtcInput final : public TimecodeInput {
 public:
  static constexpr const char* kPortName = "Lumarex MTC";

  // Opens the ports; none, with the reason in `error`, when no MIDI system runs or a port
  // cannot be opened. A name part that matches no port is no failure: ConnectedPorts says
  // what was found. Blocks while the ports open (a JACK client takes some milliseconds).
  // `clock` is read on the ports' threads and must outlive the input.
  static std::unique_ptr<MtcInput> Open(const Clock& clock, const MtcInputOptions& options,
                                        std::string& error);
  // Closes every port; no callback runs after it.
  ~MtcInput() override;
  MtcInput(const MtcInput&) = delete;
  MtcInput& operator=(const MtcInput&) = delete;

  // Any thread.
  std::optional<TimecodeReading> Latest() const override;
  std::string Name() const override { return "mtc"; }
  uint64_t Ignored() const override { return Counters().ignored; }

  // "jack" or "alsa".
  const std::string& Api() const { return api_; }
  // The output ports the name part matched, by their names.
  const std::vector<std::string>& ConnectedPorts() const { return connected_; }
  // Summed over the ports. Any thread.
  MtcCounters Counters() const;

 private:
  struct Port;

  explicit MtcInput(const Clock& clock);
  bool OpenPorts(const std::string& api, const std::string& portNamePart, std::string& error);
  // RtMidi's callback; `user` is the port.
  static void Received(double stamp, std::vector<unsigned char>* bytes, void* user);

  const Clock& clock_;
  std::string api_;
  std::vector<std::string> connected_;
  // Guards the ports' decoders and the reading: the ports' threads decode under it.
  mutable std::mutex mutex_;
  std::optional<TimecodeReading> latest_;
  // Last: the ports' threads use the members above until the ports are gone.
  std::vector<std::unique_ptr<Port>> ports_;
};

}  // namespace lumarex
