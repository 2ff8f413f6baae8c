#include "osc/osc_dispatch.h"

#include <charconv>
#include <cstring>
#include <string_view>
#include <utility>

#include "osc/osc_decoder.h"

namespace lumarex {
namespace {

std::optional<uint16_t> ParsePort(const char* text) {
  if (text == nullptr) return std::nullopt;
  const std::string_view s(text);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || value < 1 || value > 65535) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

}  // namespace

OscDispatch::OscDispatch(lo_server server) : server_(server) {
  // Path and types NULL: every message comes here, and liblo never answers a path ending in
  // '/' with its own list of methods (it does so only when no method took the message).
  lo_server_add_method(server_, nullptr, nullptr, &OscDispatch::OnMessage, this);
  lo_server_add_bundle_handlers(server_, &OscDispatch::OnBundleStart, &OscDispatch::OnBundleEnd,
                                this);
  // A show controller wants the command now; a bundle timed for later is taken at once too
  // rather than held in liblo's queue, which only a server loop of liblo's would empty.
  lo_server_enable_queue(server_, 0, 1);
}

int OscDispatch::OnMessage(const char* path, const char* types, lo_arg** argv, int /*argc*/,
                           lo_message message, void* self) {
  static_cast<OscDispatch*>(self)->Take(path, types, argv, message);
  // Taken: no other method, and no reply from liblo itself.
  return 0;
}

int OscDispatch::OnBundleStart(lo_timetag /*time*/, void* self) {
  ++static_cast<OscDispatch*>(self)->openBundles_;
  return 0;
}

int OscDispatch::OnBundleEnd(void* self) {
  --static_cast<OscDispatch*>(self)->openBundles_;
  return 0;
}

void OscDispatch::Take(const char* path, const char* types, lo_arg** argv, lo_message message) {
  ++current_.messages;
  const OscRequest request = DecodeOscMessage(path ? path : "", types ? types : "", argv);
  switch (request.kind) {
    case OscRequest::Kind::kIgnored:
      ++current_.ignored;
      return;
    case OscRequest::Kind::kCommand:
      current_.commands.push_back(request.command);
      return;
    case OscRequest::Kind::kSubscribe:
      break;
  }
  const lo_address source = message ? lo_message_get_source(message) : nullptr;
  const char* host = source ? lo_address_get_hostname(source) : nullptr;
  const auto port = request.replyPort != 0
                        ? std::optional<uint16_t>(request.replyPort)
                        : ParsePort(source ? lo_address_get_port(source) : nullptr);
  // Bytes dispatched by hand come from nowhere: there is no one to answer.
  if (host == nullptr || *host == '\0' || !port) {
    ++current_.ignored;
    return;
  }
  current_.subscriptions.push_back({host, *port});
}

OscDatagram OscDispatch::Finish(bool refused) {
  OscDatagram done = std::exchange(current_, {});
  if (refused || openBundles_ != 0) {
    // Half a bundle is no bundle: what it asked for is dropped with the bad part.
    done.messages += refused ? 1 : 0;
    done.ignored = done.messages;
    done.commands.clear();
    done.subscriptions.clear();
  }
  openBundles_ = 0;
  return done;
}

std::optional<OscDatagram> OscDispatch::Receive() {
  // 0: nothing was waiting (or an empty datagram, which carries nothing); below 0: liblo
  // refused the datagram, having dispatched what came before the bad part.
  const int result = lo_server_recv_noblock(server_, 0);
  if (result == 0 && current_.messages == 0) return std::nullopt;
  return Finish(result < 0);
}

OscDatagram OscDispatch::Dispatch(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return {};
  // liblo takes the bytes as writable; it gets a copy of its own.
  buffer_.assign(bytes.begin(), bytes.end());
  const int result = lo_server_dispatch_data(server_, buffer_.data(), buffer_.size());
  return Finish(result < 0);
}

}  // namespace lumarex
