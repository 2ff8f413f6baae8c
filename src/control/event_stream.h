#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "control/control_registry.h"
#include "platform/clock.h"

namespace lumarex {

// What an installation's supervisor reads: one JSON object a line for every command the
// registry handled and every change of the show on stage or of the playing state, each with
// the milliseconds since the stream began:
//   {"t_ms":1234,"source":"osc","command":"Play","done":true}
//   {"t_ms":1300,"event":"show","file":"a.ild","entry":1}
//   {"t_ms":1400,"event":"playing","value":1}
// A command's argument (the entry, the path, a control's value) comes as "argument". Lines are
// flushed as they are written. User-interface thread only.
class EventStream {
 public:
  EventStream(ControlRegistry& registry, std::ostream& out, const Clock& clock);
  ~EventStream();
  EventStream(const EventStream&) = delete;
  EventStream& operator=(const EventStream&) = delete;

  // Writes what changed since the last look; the registry calls it after every command, a
  // caller also now and then (an operator's click in the window does not pass the registry).
  void Poll();

 private:
  void WriteCommand(const CommandRecord& record);
  void WriteLine(const std::string& json);

  ControlRegistry& registry_;
  std::ostream& out_;
  const Clock& clock_;
  uint32_t startMs_;
  ControlRegistry::ListenerId commandListener_;
  ControlRegistry::ListenerId stateListener_;
  std::string lastShow_;
  size_t lastEntry_ = 0;
  bool lastPlaying_ = false;
};

// The line of the --verbose log for a command: "osc: Go 2", "key: Play (refused)".
std::string CommandLogLine(const CommandRecord& record);

}  // namespace lumarex
