#include "midi/midi_input.h"

#include <RtMidi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "control/remote_command.h"
#include "midi/midi_map_file.h"

namespace lumarex {
namespace {

bool ContainsAnyCase(std::string_view text, std::string_view part) {
  const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

RtMidi::Api RtApi(MidiApi api) {
  return api == MidiApi::kJack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

}  // namespace

// One RtMidiIn with what its error callback reported. RtMidi reports through the callback
// instead of throwing once one is set; the constructor, before that, throws.
struct MidiInput::Port {
  std::unique_ptr<RtMidiIn> in;
  std::mutex mutex;  // the callback may come from an ALSA input thread
  std::string error;

  static void Failed(RtMidiError::Type type, const std::string& text, void* user) {
    auto& port = *static_cast<Port*>(user);
    std::lock_guard lock(port.mutex);
    if (port.error.empty() && type != RtMidiError::DEBUG_WARNING) port.error = text;
  }

  // Empty when all went well since the last call.
  std::string TakeError() {
    std::lock_guard lock(mutex);
    return std::exchange(error, {});
  }

  // A client of `api`, its callback set, no port open yet; none with `error` set.
  static std::unique_ptr<Port> Open(MidiApi api, MidiInput& input, std::string& error) {
    auto port = std::make_unique<Port>();
    try {
      port->in = std::make_unique<RtMidiIn>(RtApi(api), kPortName);
    } catch (const RtMidiError& e) {
      error = std::string(MidiApiName(api)) + ": " + e.getMessage();
      return nullptr;
    }
    port->in->setErrorCallback(&Port::Failed, port.get());
    port->in->setCallback(&MidiInput::Received, &input);
    // Port listing is where a JACK client finds out that no server runs.
    port->in->getPortCount();
    if (std::string failed = port->TakeError(); !failed.empty()) {
      error = std::string(MidiApiName(api)) + ": " + failed;
      return nullptr;
    }
    return port;
  }
};

std::optional<MidiApi> ParseMidiApi(std::string_view text) {
  for (const MidiApi api : {MidiApi::kAuto, MidiApi::kJack, MidiApi::kAlsa}) {
    const std::string_view name = MidiApiName(api);
    if (text.size() == name.size() && ContainsAnyCase(text, name)) return api;
  }
  return std::nullopt;
}

const char* MidiApiName(MidiApi api) {
  switch (api) {
    case MidiApi::kAuto:
      return "auto";
    case MidiApi::kJack:
      return "jack";
    case MidiApi::kAlsa:
      return "alsa";
  }
  return "auto";
}

MidiInput::MidiInput() = default;

MidiInput::~MidiInput() {
  Stop();
}

MidiCounters MidiInput::Counters() const {
  return {received_.load(), handled_.load(), ignored_.load()};
}

bool MidiInput::Start(ControlRegistry& registry, UiDispatcher& dispatcher,
                      const MidiInputOptions& options, std::string& error) {
  Stop();
  if (options.channel && (*options.channel < 1 || *options.channel > 16)) {
    error = "MIDI channel " + std::to_string(*options.channel) + ": 1..16 expected";
    return false;
  }
  MidiMap map = MidiMap::Default();
  if (!options.mapFile.empty() && !ReadMidiMapFile(options.mapFile, map, error)) return false;
  if (options.channel) map.channel = *options.channel;

  MidiApi api = options.api;
  if (api == MidiApi::kAuto) {
    if (const char* chosen = std::getenv("LUMAREX_MIDI_API"); chosen && *chosen) {
      const auto parsed = ParseMidiApi(chosen);
      if (!parsed) {
        error = std::string("LUMAREX_MIDI_API=") + chosen + ": jack or alsa expected";
        return false;
      }
      api = *parsed;
    }
  }

  map_ = std::move(map);
  learn_.Cancel();
  registry_ = &registry;
  dispatcher_ = &dispatcher;
  alive_ = std::make_shared<bool>(true);
  log_.clear();
  received_ = 0;
  handled_ = 0;
  ignored_ = 0;
  if (api == MidiApi::kAuto) {
    // Without a JACK server a JACK client fails at once.
    std::string noServer;
    api = Port::Open(MidiApi::kJack, *this, noServer) ? MidiApi::kJack : MidiApi::kAlsa;
  }
  if (!OpenPorts(api, options.portNamePart, error)) {
    Stop();
    return false;
  }
  return true;
}

bool MidiInput::OpenPorts(MidiApi api, const std::string& portNamePart, std::string& error) {
  ports_.clear();
  connected_.clear();
  auto own = Port::Open(api, *this, error);
  if (!own) return false;
  own->in->openVirtualPort(kPortName);
  if (std::string failed = own->TakeError(); !failed.empty()) {
    error = std::string(MidiApiName(api)) + ": " + failed;
    return false;
  }
  api_ = api;
  std::vector<std::string> matches;
  if (!portNamePart.empty()) {
    const unsigned count = own->in->getPortCount();
    for (unsigned n = 0; n < count; ++n) {
      std::string name = own->in->getPortName(n);
      if (ContainsAnyCase(name, portNamePart)) matches.push_back(std::move(name));
    }
  }
  ports_.push_back(std::move(own));

  for (const std::string& name : matches) {
    auto port = Port::Open(api, *this, error);
    if (!port) return false;
    // Ports may have come or gone since the listing: find this one's number again.
    const unsigned count = port->in->getPortCount();
    unsigned number = 0;
    while (number < count && port->in->getPortName(number) != name) ++number;
    if (number == count) continue;
    port->in->openPort(number,
                       std::string(kPortName) + " in " + std::to_string(connected_.size() + 1));
    if (std::string failed = port->TakeError(); !failed.empty()) {
      error = std::string(MidiApiName(api)) + ": " + name + ": " + failed;
      return false;
    }
    connected_.push_back(name);
    ports_.push_back(std::move(port));
  }
  return true;
}

void MidiInput::Stop() {
  // Destroying an RtMidiIn closes its JACK client (which waits for the process callback to
  // return) or joins its ALSA input thread: after this, no callback runs.
  ports_.clear();
  connected_.clear();
  if (alive_) *alive_ = false;
  alive_.reset();
  registry_ = nullptr;
  dispatcher_ = nullptr;
  api_ = MidiApi::kAuto;
}

void MidiInput::Received(double /*stamp*/, std::vector<unsigned char>* bytes, void* user) {
  auto& input = *static_cast<MidiInput*>(user);
  ++input.received_;
  const auto message = DecodeMidiMessage(*bytes);
  if (!message) {
    ++input.ignored_;
    return;
  }
  input.dispatcher_->Post([&input, alive = input.alive_, m = *message] {
    if (*alive) input.Handle(m);
  });
}

void MidiInput::Handle(const MidiMessage& message) {
  log_.push_back(MidiMessageText(message));
  if (log_.size() > kLogLength) log_.pop_front();
  if (learn_.Offer(message)) {
    ++handled_;
    return;
  }
  ControlRegistry& registry = *registry_;
  const auto command = map_.Translate(
      message, [&registry](std::string_view name) { return registry.FindControl(name); });
  if (!command) {
    ++ignored_;
    return;
  }
  ApplyRemoteCommand(registry, *command);
  ++handled_;
}

}  // namespace lumarex
