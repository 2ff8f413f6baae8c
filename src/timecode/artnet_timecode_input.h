#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "timecode/artnet_timecode_decoder.h"
#include "timecode/timecode_input.h"

namespace lumarex {

struct ArtnetTimecodeOptions {
  // Art-Net's own port; tests take another (0: one the system picks).
  uint16_t port = kArtnetTimecodePort;
};

// ArtTimeCode from a desk or a show controller, usually broadcast. The socket is bound to
// every address (a socket bound to one would not see the broadcasts) with SO_REUSEADDR, so
// that another Art-Net program on this computer, the DMX input among them, keeps the port
// too. An ArtTimeCode names the frame the sender is at as it sends, so a reading's time is
// true at its arrival.
//
// The receiving thread is the input's own: it waits in poll() on the socket and an eventfd,
// and ends when the destructor signals that eventfd, which joins it.
class ArtnetTimecodeInput final : public TimecodeInput {
 public:
  // Binds and starts receiving; none, with the reason in `error`, when the socket cannot be
  // had. `clock` is read on the receiving thread and must outlive the input.
  static std::unique_ptr<ArtnetTimecodeInput> Open(const Clock& clock,
                                                   const ArtnetTimecodeOptions& options,
                                                   std::string& error);
  ~ArtnetTimecodeInput() override;
  ArtnetTimecodeInput(const ArtnetTimecodeInput&) = delete;
  ArtnetTimecodeInput& operator=(const ArtnetTimecodeInput&) = delete;

  // Any thread.
  std::optional<TimecodeReading> Latest() const override;
  std::string Name() const override { return "artnet"; }
  uint64_t Ignored() const override { return Counters().ignored; }

  // The port bound (the system's choice when the options asked for 0).
  uint16_t Port() const { return port_; }
  // Any thread.
  ArtnetTimecodeCounters Counters() const;

 private:
  ArtnetTimecodeInput(const Clock& clock, int socket, int wake, uint16_t port);
  void Receive();

  const Clock& clock_;
  const int socket_;
  const int wake_;  // the eventfd that ends the thread
  const uint16_t port_;
  // Guards the decoder and the reading: the receiving thread decodes under it.
  mutable std::mutex mutex_;
  ArtnetTimecodeDecoder decoder_;
  std::optional<TimecodeReading> latest_;
  // Last: it runs as soon as it is made and uses all of the above.
  std::thread thread_;
};

}  // namespace lumarex
