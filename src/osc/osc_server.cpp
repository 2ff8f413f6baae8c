#include "osc/osc_server.h"

#include <fcntl.h>
#include <lo/lo.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>

namespace lumarex {
namespace {

// At most this many datagrams in a row before the feedback gets its turn.
constexpr int kBurst = 64;

// liblo reports errors through a handler without user data. Only the creation of a server
// is of interest (its reason goes into Start's error text); the handler is also called on
// the receiving thread for every malformed datagram, where this is null and it stays silent.
thread_local std::string* tCreationError = nullptr;
thread_local int tCreationErrno = 0;

void NoteError(int number, const char* message, const char* /*where*/) {
  if (tCreationError == nullptr) return;
  tCreationErrno = number;
  *tCreationError = message ? message : "unknown error";
}

std::optional<uint16_t> BoundPort(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return std::nullopt;
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
  }
  return std::nullopt;
}

}  // namespace

std::unique_ptr<OscServer> OscServer::Start(ControlRegistry& registry, UiDispatcher& dispatcher,
                                            uint16_t port, std::string& error) {
  std::string reason;
  tCreationError = &reason;
  tCreationErrno = 0;
  // "0" asks the kernel for a free port (NULL would have liblo guess numbers).
  const std::string service = std::to_string(port);
  lo_server server = lo_server_new_with_proto(service.c_str(), LO_UDP, &NoteError);
  tCreationError = nullptr;
  if (server == nullptr) {
    if (port == 0) {
      error = "no free UDP port: " + reason;
    } else if (tCreationErrno == LO_NOPORT || tCreationErrno == EADDRINUSE) {
      // liblo tries the port it was given over and over, then calls it "no free port".
      error = "port " + service + " is in use";
    } else {
      error = "port " + service + ": " + (reason.empty() ? "cannot listen" : reason);
    }
    return nullptr;
  }
  const int listening = lo_server_get_socket_fd(server);
  // liblo leaves the socket to programs we start, which would then hold our port after we
  // have let it go.
  fcntl(listening, F_SETFD, fcntl(listening, F_GETFD) | FD_CLOEXEC);
  // liblo answers 0 for a port the kernel chose; the socket knows.
  const auto bound = BoundPort(listening);
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (!bound || wakeFd < 0) {
    error = "port " + service + ": " + (wakeFd < 0 ? "no eventfd" : "no socket address");
    if (wakeFd >= 0) close(wakeFd);
    lo_server_free(server);
    return nullptr;
  }
  error.clear();
  return std::unique_ptr<OscServer>(new OscServer(registry, dispatcher, server, *bound, wakeFd));
}

OscServer::OscServer(ControlRegistry& registry, UiDispatcher& dispatcher, lo_server server,
                     uint16_t port, int wakeFd)
    : registry_(registry),
      dispatcher_(dispatcher),
      server_(server),
      port_(port),
      wakeFd_(wakeFd),
      dispatch_(server) {
  status_ = ReadStatus();
  published_ = status_;
  lastPublished_ = status_;
  listener_ = registry_.AddStateListener([this, alive = alive_] {
    // The registry calls the listeners from a copy: one may run after a listener before it
    // destroyed this server.
    if (*alive) Publish(ReadStatus(), nullptr);
  });
  // The receiving thread: owned by this server, ended and joined by its destructor.
  thread_ = std::thread([this] { Run(); });
}

OscServer::~OscServer() {
  *alive_ = false;
  registry_.RemoveListener(listener_);
  stopping_ = true;
  Wake();
  if (thread_.joinable()) thread_.join();
  for (Subscriber& s : subscribers_) lo_address_free(s.address);
  lo_server_free(server_);  // closes the socket
  close(wakeFd_);
}

OscCounters OscServer::Counters() const {
  OscCounters c;
  c.received = received_.load();
  c.handled = handled_.load();
  c.ignored = ignored_.load();
  c.refused = refused_.load();
  return c;
}

void OscServer::Wake() const {
  const uint64_t one = 1;
  // Fails only when the counter is full, and then the loop is woken anyway.
  if (write(wakeFd_, &one, sizeof one) < 0) return;
}

// --- The receiving thread ---

void OscServer::Run() {
  const int listening = lo_server_get_socket_fd(server_);
  pollfd fds[2] = {{listening, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  while (!stopping_.load()) {
    fds[0].revents = 0;
    fds[1].revents = 0;
    if (poll(fds, 2, WaitMs(Clock::now())) < 0 && errno != EINTR) {
      // Nothing sensible to wait on; do not spin.
      std::this_thread::sleep_for(kFramePoll);
    }
    if (fds[1].revents & POLLIN) {
      uint64_t count = 0;
      if (read(wakeFd_, &count, sizeof count) < 0) count = 0;
    }
    if (fds[0].revents & POLLERR) {
      // A pending socket error would wake every poll at once; reading it clears it.
      int pending = 0;
      socklen_t length = sizeof pending;
      getsockopt(listening, SOL_SOCKET, SO_ERROR, &pending, &length);
    }
    if (fds[0].revents & POLLIN) {
      for (int n = 0; n < kBurst; ++n) {
        std::optional<OscDatagram> datagram = dispatch_.Receive();
        if (!datagram) break;
        Deliver(std::move(*datagram));
      }
    }
    TakePublished();
    const Clock::time_point now = Clock::now();
    SendDue(now);
    PollFrameIfDue(now);
  }
}

void OscServer::Deliver(OscDatagram datagram) {
  if (!datagram.commands.empty()) {
    dispatcher_.Post([this, alive = alive_, commands = std::move(datagram.commands)] {
      if (!*alive) return;
      for (const RemoteCommand& command : commands) {
        if (!ApplyRemoteCommand(registry_, command)) refused_.fetch_add(1);
      }
    });
  }
  for (const OscSubscription& subscription : datagram.subscriptions) {
    dispatcher_.Post([this, alive = alive_, subscription] {
      if (*alive) Publish(ReadStatus(), &subscription);
    });
  }
  // Counted once posted, so that whoever sees the count finds the task queued.
  ignored_.fetch_add(datagram.ignored);
  handled_.fetch_add(datagram.messages - datagram.ignored);
  received_.fetch_add(datagram.messages);
}

void OscServer::TakePublished() {
  std::vector<OscSubscription> greetings;
  {
    std::lock_guard lock(mutex_);
    if (publishedNew_) status_ = published_;
    publishedNew_ = false;
    greetings.swap(greetings_);
  }
  for (const OscSubscription& g : greetings) Subscribe(g);
}

void OscServer::Subscribe(const OscSubscription& subscription) {
  const auto same = std::find_if(subscribers_.begin(), subscribers_.end(), [&](const auto& s) {
    return s.host == subscription.host && s.port == subscription.port;
  });
  if (same != subscribers_.end()) {
    same->throttle.SendAll();
    return;
  }
  lo_address address =
      lo_address_new(subscription.host.c_str(), std::to_string(subscription.port).c_str());
  if (address == nullptr) return;
  if (subscribers_.size() >= kMaxSubscribers) {
    lo_address_free(subscribers_.front().address);
    subscribers_.erase(subscribers_.begin());
  }
  if (subscribers_.empty()) nextPoll_ = Clock::now() + kFramePoll;
  Subscriber& added = subscribers_.emplace_back();
  added.host = subscription.host;
  added.port = subscription.port;
  added.address = address;
  added.throttle.SendAll();
}

void OscServer::SendDue(Clock::time_point now) {
  for (Subscriber& s : subscribers_) {
    for (const StatusThrottle::Line line : s.throttle.TakeDue(status_, now)) {
      lo_message message = lo_message_new();
      switch (line) {
        case StatusThrottle::Line::kPlaying:
          lo_message_add_int32(message, status_.playing ? 1 : 0);
          break;
        case StatusThrottle::Line::kFrame:
          lo_message_add_int32(message, status_.frame);
          break;
        case StatusThrottle::Line::kShow:
          lo_message_add_string(message, status_.show.c_str());
          break;
        case StatusThrottle::Line::kSetList:
          lo_message_add_int32(message, status_.setListEntry);
          break;
      }
      // From the server's socket: the reply comes from the port the subscriber sent to.
      // A subscriber that has gone away costs a datagram nobody reads.
      lo_send_message_from(s.address, server_, StatusThrottle::Address(line), message);
      lo_message_free(message);
    }
  }
}

void OscServer::PollFrameIfDue(Clock::time_point now) {
  if (subscribers_.empty() || now < nextPoll_ || pollQueued_.exchange(true)) return;
  nextPoll_ = now + kFramePoll;
  dispatcher_.Post([this, alive = alive_] {
    if (!*alive) return;
    pollQueued_ = false;
    Publish(ReadStatus(), nullptr);
    // Unchanged state publishes nothing, but the loop waits for this poll before the next.
    Wake();
  });
}

int OscServer::WaitMs(Clock::time_point now) const {
  std::optional<Clock::time_point> next;
  const auto consider = [&next](Clock::time_point at) { next = next ? std::min(*next, at) : at; };
  for (const Subscriber& s : subscribers_) {
    if (const auto due = s.throttle.NextDue(status_)) consider(*due);
  }
  if (!subscribers_.empty() && !pollQueued_.load()) consider(nextPoll_);
  if (!next) return -1;  // until a datagram comes or the loop is woken
  if (*next <= now) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
  return static_cast<int>(std::min<decltype(ms)>(ms, INT_MAX));
}

// --- The user-interface thread ---

OscStatus OscServer::ReadStatus() const {
  OscStatus s;
  s.playing = registry_.Playing();
  s.frame = registry_.Frame();
  s.show = registry_.ShowName();
  s.setListEntry = static_cast<int32_t>(std::min<size_t>(registry_.SetListEntry(), INT32_MAX));
  return s;
}

void OscServer::Publish(const OscStatus& status, const OscSubscription* greet) {
  if (greet == nullptr && lastPublished_ == status) return;
  lastPublished_ = status;
  {
    std::lock_guard lock(mutex_);
    published_ = status;
    publishedNew_ = true;
    if (greet) greetings_.push_back(*greet);
  }
  Wake();
}

}  // namespace lumarex
