#pragma once

#include <lo/lo_types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "control/control_registry.h"
#include "osc/osc_dispatch.h"
#include "osc/status_throttle.h"
#include "platform/ui_dispatcher.h"

namespace lumarex {

// What the server has taken so far. A message counts once what it asked for has been posted
// to the user-interface thread, so received == handled + ignored whenever no datagram is
// in the middle of its dispatch.
struct OscCounters {
  uint64_t received = 0;  // messages (each one of a bundle), and datagrams refused as malformed
  // Decoded into a command or a subscription. A command the registry then refuses (an
  // unknown control name, the power lock, a load in progress) counts as handled, and again
  // as refused once the user-interface thread has applied it.
  uint64_t handled = 0;
  // Unknown addresses, arguments of the wrong type, malformed datagrams, broken bundles.
  uint64_t ignored = 0;
  uint64_t refused = 0;
};

// Show control over OSC (UDP): the address space of osc/osc_decoder.h, and status feedback
// to the clients that sent /lumarex/subscribe.
//
// A thread of its own receives and decodes every datagram and posts the commands to the
// user-interface thread, where they are applied through the registry (the messages of one
// bundle in one task). Feedback: the user-interface thread reads the state from the registry
// (when it tells of a change, and every 40 ms while anyone is subscribed, for the frame) and
// hands it to the receiving thread, which sends each subscriber what changed, from the
// server's own socket and at most 25 messages a second per address. The last
// kMaxSubscribers subscriptions are served; an older one gives way to a new one.
class OscServer {
 public:
  static constexpr size_t kMaxSubscribers = 8;
  static constexpr std::chrono::milliseconds kFramePoll{40};

  // Listens on UDP `port` of every interface (0: a free port, see Port()). Call on the
  // user-interface thread; `registry` and `dispatcher` must outlive the server. nullptr with
  // `error` set ("port 7700 is in use") when it cannot listen.
  static std::unique_ptr<OscServer> Start(ControlRegistry& registry, UiDispatcher& dispatcher,
                                          uint16_t port, std::string& error);
  // Stops and joins the receiving thread, on the user-interface thread. Tasks it posted that
  // are still queued find the server gone and do nothing.
  ~OscServer();
  OscServer(const OscServer&) = delete;
  OscServer& operator=(const OscServer&) = delete;

  uint16_t Port() const { return port_; }
  // Any thread.
  OscCounters Counters() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Subscriber {
    std::string host;
    uint16_t port = 0;
    lo_address address = nullptr;
    StatusThrottle throttle;
  };

  OscServer(ControlRegistry& registry, UiDispatcher& dispatcher, lo_server server, uint16_t port,
            int wakeFd);

  // --- The receiving thread ---
  void Run();
  void Deliver(OscDatagram datagram);
  void TakePublished();
  void Subscribe(const OscSubscription& subscription);
  void SendDue(Clock::time_point now);
  void PollFrameIfDue(Clock::time_point now);
  int WaitMs(Clock::time_point now) const;

  // --- The user-interface thread ---
  OscStatus ReadStatus() const;
  // Hands the state to the receiving thread when it changed or a subscriber waits for it.
  void Publish(const OscStatus& status, const OscSubscription* greet);

  // --- Any thread ---
  void Wake() const;

  ControlRegistry& registry_;
  UiDispatcher& dispatcher_;
  lo_server server_;
  const uint16_t port_;
  const int wakeFd_;  // an eventfd: the user-interface thread and the destructor wake the loop
  std::atomic<bool> stopping_{false};
  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> handled_{0};
  std::atomic<uint64_t> ignored_{0};
  std::atomic<uint64_t> refused_{0};
  // A frame poll is queued and has not run yet: no second one is posted meanwhile.
  std::atomic<bool> pollQueued_{false};
  // Posted tasks find the server gone through this (read and written on the UI thread).
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  // From the user-interface thread to the receiving thread.
  std::mutex mutex_;
  OscStatus published_;
  bool publishedNew_ = false;
  std::vector<OscSubscription> greetings_;

  // The user-interface thread's own.
  std::optional<OscStatus> lastPublished_;
  ControlRegistry::ListenerId listener_ = 0;

  // The receiving thread's own (and the liblo server with it).
  OscDispatch dispatch_;
  OscStatus status_;
  std::vector<Subscriber> subscribers_;
  Clock::time_point nextPoll_{};

  // Owned by the server; started last in the constructor, joined by the destructor.
  std::thread thread_;
};

}  // namespace lumarex
