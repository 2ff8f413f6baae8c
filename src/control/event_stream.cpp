#include "control/event_stream.h"

#include <nlohmann/json.hpp>

namespace lumarex {

EventStream::EventStream(ControlRegistry& registry, std::ostream& out, const Clock& clock)
    : registry_(registry),
      out_(out),
      clock_(clock),
      startMs_(clock.NowMs()),
      commandListener_(
          registry.AddCommandListener([this](const CommandRecord& r) { WriteCommand(r); })),
      stateListener_(registry.AddStateListener([this] { Poll(); })) {}

EventStream::~EventStream() {
  registry_.RemoveListener(commandListener_);
  registry_.RemoveListener(stateListener_);
}

void EventStream::WriteLine(const std::string& json) {
  out_ << json << '\n' << std::flush;
}

void EventStream::WriteCommand(const CommandRecord& record) {
  nlohmann::ordered_json line = {{"t_ms", clock_.NowMs() - startMs_},
                                 {"source", SourceName(record.source)},
                                 {"command", record.command}};
  if (!record.argument.empty()) line["argument"] = record.argument;
  line["done"] = record.done;
  WriteLine(line.dump());
}

void EventStream::Poll() {
  const std::string show = registry_.ShowName();
  const size_t entry = registry_.SetListEntry();
  if (show != lastShow_ || entry != lastEntry_) {
    lastShow_ = show;
    lastEntry_ = entry;
    const nlohmann::ordered_json line = {
        {"t_ms", clock_.NowMs() - startMs_}, {"event", "show"}, {"file", show}, {"entry", entry}};
    WriteLine(line.dump());
  }
  const bool playing = registry_.Playing();
  if (playing != lastPlaying_) {
    lastPlaying_ = playing;
    const nlohmann::ordered_json line = {
        {"t_ms", clock_.NowMs() - startMs_}, {"event", "playing"}, {"value", playing ? 1 : 0}};
    WriteLine(line.dump());
  }
}

std::string CommandLogLine(const CommandRecord& record) {
  std::string line = std::string(SourceName(record.source)) + ": " + record.command;
  if (!record.argument.empty()) line += " " + record.argument;
  if (!record.done) line += " (refused)";
  return line;
}

}  // namespace lumarex
