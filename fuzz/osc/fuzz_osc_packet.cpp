// One UDP datagram as the OSC server takes it: liblo's validation and dispatch of messages
// and (nested) bundles, with every type tag it knows, into our decoder. liblo itself is not
// instrumented; what it hands us is, and so is everything we do with it.
#include <lo/lo.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "osc/osc_dispatch.h"

namespace {

lumarex::OscDispatch& Dispatch() {
  // One server for the whole run; its socket is never read, the bytes come by hand.
  static lo_server server = lo_server_new_with_proto("0", LO_UDP, nullptr);
  static lumarex::OscDispatch dispatch(server);
  return dispatch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const lumarex::OscDatagram d = Dispatch().Dispatch(std::span<const uint8_t>(data, size));
  // Every message is accounted for once: as a command, a subscription or ignored.
  if (d.commands.size() + d.subscriptions.size() + d.ignored != d.messages) __builtin_trap();
  volatile size_t sink = 0;
  for (const lumarex::RemoteCommand& c : d.commands) {
    using Kind = lumarex::RemoteCommand::Kind;
    if ((c.kind == Kind::kSet || c.kind == Kind::kLoad) && c.text.empty()) __builtin_trap();
    sink = sink + c.text.size() + static_cast<size_t>(c.value & 1);
  }
  // Bytes dispatched by hand have no sender to subscribe.
  if (!d.subscriptions.empty()) __builtin_trap();
  (void)sink;
  return 0;
}
