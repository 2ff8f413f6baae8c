#include "osc/osc_decoder.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

namespace lumarex {
namespace {

constexpr std::string_view kPrefix = "/lumarex/";
constexpr std::string_view kControlPrefix = "control/";

// liblo's argument pointers point into the message as it came: 4-byte aligned, while lo_arg
// is a union with 8-byte members. Reading through the union would be a misaligned access for
// h and d after an odd number of 4-byte arguments, so every value is copied out byte-wise.
template <typename T>
T Read(const lo_arg* argument) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(argument), sizeof value);
  return value;
}

int32_t Saturate(int64_t value) {
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value < kMin ? kMin : value > kMax ? kMax : value);
}

std::optional<int32_t> Rounded(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // Clamped before the conversion, which is undefined outside the range.
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  const double r = std::round(value);
  return static_cast<int32_t>(r < kMin ? kMin : r > kMax ? kMax : r);
}

RemoteCommand Command(RemoteCommand::Kind kind, std::string text = {}, int32_t value = 0) {
  RemoteCommand c;
  c.kind = kind;
  c.source = CommandSource::kOsc;
  c.text = std::move(text);
  c.value = value;
  return c;
}

OscRequest Request(RemoteCommand command) {
  OscRequest r;
  r.kind = OscRequest::Kind::kCommand;
  r.command = std::move(command);
  return r;
}

// The first argument as a number, for the commands that take one.
std::optional<int32_t> FirstNumber(std::string_view types, lo_arg* const* argv) {
  if (types.empty()) return std::nullopt;
  return OscNumber(types[0], argv ? argv[0] : nullptr);
}

OscRequest Valued(RemoteCommand::Kind kind, std::string name, std::string_view types,
                  lo_arg* const* argv) {
  const auto value = FirstNumber(types, argv);
  if (!value) return {};
  return Request(Command(kind, std::move(name), *value));
}

}  // namespace

std::optional<int32_t> OscNumber(char type, const lo_arg* argument) {
  // T and F carry no bytes: they need no argument to read.
  if (type == LO_TRUE) return 1;
  if (type == LO_FALSE) return 0;
  if (argument == nullptr) return std::nullopt;
  switch (type) {
    case LO_INT32:
      return Read<int32_t>(argument);
    case LO_INT64:
      return Saturate(Read<int64_t>(argument));
    case LO_FLOAT:
      return Rounded(Read<float>(argument));
    case LO_DOUBLE:
      return Rounded(Read<double>(argument));
    default:
      return std::nullopt;
  }
}

OscRequest DecodeOscMessage(std::string_view path, std::string_view types, lo_arg* const* argv) {
  using Kind = RemoteCommand::Kind;
  if (!path.starts_with(kPrefix)) return {};
  const std::string_view rest = path.substr(kPrefix.size());

  if (rest == "play") return Request(Command(Kind::kPlay));
  if (rest == "stop") return Request(Command(Kind::kStop));
  if (rest == "blackout") return Request(Command(Kind::kBlackout));
  if (rest == "setlist/next") return Request(Command(Kind::kNext));
  if (rest == "setlist/previous") return Request(Command(Kind::kPrevious));

  if (rest == "frame") return Valued(Kind::kSet, kFrameControl, types, argv);
  if (rest == "rate") return Valued(Kind::kSet, kRateControl, types, argv);
  if (rest == "power") return Valued(Kind::kSet, kPowerControl, types, argv);
  if (rest == "mode") return Valued(Kind::kSet, kModeControl, types, argv);
  if (rest == "setlist/go") return Valued(Kind::kGo, {}, types, argv);
  if (rest == "setlist/cue") return Valued(Kind::kCue, {}, types, argv);

  if (rest.starts_with(kControlPrefix)) {
    const std::string_view name = rest.substr(kControlPrefix.size());
    if (name.empty()) return {};
    return Valued(Kind::kSet, std::string(name), types, argv);
  }

  if (rest == "load") {
    if (types.empty() || (types[0] != LO_STRING && types[0] != LO_SYMBOL) || !argv || !argv[0]) {
      return {};
    }
    // liblo has checked that the string ends within the message.
    std::string file(reinterpret_cast<const char*>(argv[0]));
    if (file.empty()) return {};
    return Request(Command(Kind::kLoad, std::move(file)));
  }

  if (rest == "subscribe") {
    OscRequest r;
    r.kind = OscRequest::Kind::kSubscribe;
    if (types.empty()) return r;
    const auto port = FirstNumber(types, argv);
    if (!port || *port < 1 || *port > 65535) return {};
    r.replyPort = static_cast<uint16_t>(*port);
    return r;
  }
  return {};
}

}  // namespace lumarex
