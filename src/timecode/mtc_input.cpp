#include "timecode/mtc_input.h"

#include <RtMidi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <span>
#include <utility>

namespace lumarex {
namespace {

constexpr std::string_view kSourceName = "mtc";

bool ContainsAnyCase(std::string_view text, std::string_view part) {
  const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

bool SameAnyCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ContainsAnyCase(a, b);
}

RtMidi::Api RtApi(const std::string& api) {
  return api == "jack" ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

}  // namespace

// One RtMidiIn, the decoder of what it receives, and what its error callback reported.
// RtMidi reports through that callback instead of throwing once one is set; its constructor,
// before that, throws.
struct MtcInput::Port {
  MtcInput* owner = nullptr;
  std::unique_ptr<RtMidiIn> in;
  MtcDecoder decoder;  // under the owner's mutex
  std::mutex errorMutex;
  std::string error;

  static void Failed(RtMidiError::Type type, const std::string& text, void* user) {
    auto& port = *static_cast<Port*>(user);
    std::lock_guard lock(port.errorMutex);
    if (port.error.empty() && type != RtMidiError::DEBUG_WARNING) port.error = text;
  }

  // Empty when all went well since the last call.
  std::string TakeError() {
    std::lock_guard lock(errorMutex);
    return std::exchange(error, {});
  }

  // A client of `api` that hears timecode and SysEx, no port open yet; none with `error` set.
  static std::unique_ptr<Port> Open(const std::string& api, MtcInput& owner, std::string& error) {
    auto port = std::make_unique<Port>();
    port->owner = &owner;
    try {
      port->in = std::make_unique<RtMidiIn>(RtApi(api), kPortName);
    } catch (const RtMidiError& e) {
      error = api + ": " + e.getMessage();
      return nullptr;
    }
    port->in->setErrorCallback(&Port::Failed, port.get());
    // RtMidi drops SysEx (the full frame) and timing messages (F1 with the clock) unless told.
    port->in->ignoreTypes(false, false, true);
    port->in->setCallback(&MtcInput::Received, port.get());
    // Port listing is where a JACK client finds out that no server runs.
    port->in->getPortCount();
    if (std::string failed = port->TakeError(); !failed.empty()) {
      error = api + ": " + failed;
      return nullptr;
    }
    return port;
  }
};

std::optional<MtcInputOptions> ParseMtcSource(std::string_view text) {
  if (text == kSourceName) return MtcInputOptions{};
  if (text.size() <= kSourceName.size() + 1 || text.substr(0, kSourceName.size()) != kSourceName ||
      text[kSourceName.size()] != ':') {
    return std::nullopt;
  }
  MtcInputOptions options;
  options.portNamePart = std::string(text.substr(kSourceName.size() + 1));
  return options;
}

MtcInput::MtcInput(const Clock& clock) : clock_(clock) {}

MtcInput::~MtcInput() {
  // Destroying an RtMidiIn closes its JACK client (which waits for the process callback to
  // return) or joins its ALSA input thread.
  ports_.clear();
}

std::unique_ptr<MtcInput> MtcInput::Open(const Clock& clock, const MtcInputOptions& options,
                                         std::string& error) {
  std::string api = options.api;
  if (api.empty()) {
    if (const char* chosen = std::getenv("LUMAREX_MIDI_API"); chosen && *chosen) api = chosen;
  }
  for (const char* known : {"jack", "alsa"}) {
    if (SameAnyCase(api, known)) api = known;
  }
  if (!api.empty() && api != "jack" && api != "alsa") {
    error = (options.api.empty() ? "LUMAREX_MIDI_API=" : "MIDI system ") + api +
            ": jack or alsa expected";
    return nullptr;
  }

  std::unique_ptr<MtcInput> input(new MtcInput(clock));
  if (!api.empty()) {
    if (!input->OpenPorts(api, options.portNamePart, error)) return nullptr;
    return input;
  }
  // Without a server a JACK client fails at once; without /dev/snd/seq so does ALSA.
  std::string noJack;
  if (input->OpenPorts("jack", options.portNamePart, noJack)) return input;
  std::string noAlsa;
  if (input->OpenPorts("alsa", options.portNamePart, noAlsa)) return input;
  error = "no MIDI system runs (" + noJack + "; " + noAlsa + ")";
  return nullptr;
}

bool MtcInput::OpenPorts(const std::string& api, const std::string& portNamePart,
                         std::string& error) {
  ports_.clear();
  connected_.clear();
  auto own = Port::Open(api, *this, error);
  if (!own) return false;
  own->in->openVirtualPort(kPortName);
  if (std::string failed = own->TakeError(); !failed.empty()) {
    error = api + ": " + failed;
    return false;
  }
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
    if (!port) {
      ports_.clear();
      return false;
    }
    // Ports may have come or gone since the listing: find this one's number again.
    const unsigned count = port->in->getPortCount();
    unsigned number = 0;
    while (number < count && port->in->getPortName(number) != name) ++number;
    if (number == count) continue;
    port->in->openPort(number,
                       std::string(kPortName) + " in " + std::to_string(connected_.size() + 1));
    if (std::string failed = port->TakeError(); !failed.empty()) {
      error = api + ": " + name + ": " + failed;
      ports_.clear();
      connected_.clear();
      return false;
    }
    connected_.push_back(name);
    ports_.push_back(std::move(port));
  }
  api_ = api;
  return true;
}

void MtcInput::Received(double /*stamp*/, std::vector<unsigned char>* bytes, void* user) {
  auto& port = *static_cast<Port*>(user);
  MtcInput& input = *port.owner;
  // The arrival is the callback's moment on our clock: RtMidi's stamp is only the time since
  // the message before.
  const uint32_t nowMs = input.clock_.NowMs();
  std::lock_guard lock(input.mutex_);
  const auto time =
      port.decoder.Feed(std::span<const uint8_t>(bytes->data(), bytes->size()), nowMs);
  if (!time) return;
  const uint64_t count = input.latest_ ? input.latest_->count + 1 : 1;
  input.latest_ = TimecodeReading{time->tc, time->atMs, nowMs, count};
}

std::optional<TimecodeReading> MtcInput::Latest() const {
  std::lock_guard lock(mutex_);
  return latest_;
}

MtcCounters MtcInput::Counters() const {
  std::lock_guard lock(mutex_);
  MtcCounters sum;
  for (const auto& port : ports_) {
    const MtcCounters& c = port->decoder.Counters();
    sum.quarterFrames += c.quarterFrames;
    sum.fullFrames += c.fullFrames;
    sum.times += c.times;
    sum.ignored += c.ignored;
  }
  return sum;
}

}  // namespace lumarex
