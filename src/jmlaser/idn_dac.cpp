#include "jmlaser/idn_dac.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "jmlaser/frame_slots.h"
#include "jmlaser/idn_protocol.h"
#include "jmlaser/scan_watchdog.h"
#include "jmlaser/worker_stream.h"

namespace lumarex::jmlaser {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int32_t kMaxRate = 100000;
constexpr int32_t kMaxFrame = 65535;
constexpr int kMaxSleepMs = 10;

uint32_t NowUs() {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now().time_since_epoch())
          .count());
}

// "a.b.c.d:port/service" as the family writes it.
struct Target {
  sockaddr_in address{};
  uint8_t serviceId = 0;
};

std::optional<Target> ParseLocator(const std::string& locator) {
  const size_t slash = locator.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  const auto hostPort = ParseHostPort(locator.substr(0, slash), idn::kPort);
  const std::string service = locator.substr(slash + 1);
  if (!hostPort || service.empty() || service.size() > 3 ||
      !std::all_of(service.begin(), service.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const auto address = ParseIpv4(hostPort->host, hostPort->port);
  const int id = std::stoi(service);
  if (!address || id > 255) return std::nullopt;
  return Target{*address, static_cast<uint8_t>(id)};
}

// The stream of one IDN projector service. Its worker thread belongs to the stream and is
// joined by its destructor; nothing it does waits on the network. The unit counts as lost
// when it has answered no ping for lostAfterMs (UDP says nothing else about a unit that went
// away); the worker then pings it on the retry schedule instead of every pingIntervalMs, and
// once it answers, the stream starts as at open: the channel configuration goes out again with
// the program's next frame.
class IdnStream final : public WorkerStream {
 public:
  IdnStream(const DeviceInfo& info, const Target& target, const IdnOptions& options)
      : WorkerStream(info),
        options_(options),
        target_(target),
        link_(BindUdpAt(in_addr{htonl(INADDR_ANY)}, 0, false)),
        writer_(target.serviceId, 0),
        watchdog_(options.watchdogHold) {
    if (link_.Valid()) {
      ::connect(link_.Get(), reinterpret_cast<const sockaddr*>(&target_.address),
                sizeof target_.address);
    }
    worker_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, milliseconds(options.openWaitMs), [this] { return connected_; });
  }

  IdnStream(const IdnStream&) = delete;
  IdnStream& operator=(const IdnStream&) = delete;

  ~IdnStream() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
  }

 private:
  // --- worker thread ---------------------------------------------------------------------

  // Pings are hello commands outside the session; only channel messages keep it alive.
  void Send(const std::vector<uint8_t>& datagram, bool sessionMessage = true) {
    (void)!::send(link_.Get(), datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sessionMessage) lastSent_ = steady_clock::now();
  }

  void SendFrame(bool withConfig) {
    writer_.Frame(current_.points, current_.pointsPerSecond, channels_, withConfig, blanked_,
                  NowUs(), datagrams_);
    for (const auto& d : datagrams_) Send(d);
    const auto now = steady_clock::now();
    if (withConfig) lastConfig_ = now;
    channelOpen_ = true;
    // One pass of this frame must go by before the next may follow it; until then a new
    // frame waits here and the device reads busy.
    passEnd_ = now + std::chrono::microseconds(int64_t{1000000} *
                                               static_cast<int64_t>(current_.points.size()) /
                                               std::max(current_.pointsPerSecond, 1));
  }

  void Listen() {
    std::array<uint8_t, 64> reply{};
    for (;;) {
      const ssize_t got = ::recv(link_.Get(), reply.data(), reply.size(), MSG_DONTWAIT);
      if (got < 0) return;
      // Only the command byte counts: some units answer a ping with nothing else.
      if (got >= 1 && reply[0] == idn::kPingResponse) lastHeard_ = steady_clock::now();
    }
  }

  void Run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      const uint64_t stops = stops_;
      const bool started = started_;
      channels_ = usedChannels_;
      lock.unlock();
      const int sleepMs = Step(started, stops);
      lock.lock();
      if (sleepMs > 0) {
        wake_.wait_for(lock, milliseconds(sleepMs), [&] {
          return quit_ || stops != stops_ || started != started_ ||
                 (incoming_.valid && steady_clock::now() >= passEnd_);
        });
      }
    }
    lock.unlock();
    // Closing darkens the projector: the channel closes, then the session.
    if (link_.Valid()) {
      if (channelOpen_) Send(writer_.CloseChannel(NowUs()));
      Send(writer_.CloseSession());
    }
  }

  int Step(bool started, uint64_t stops) {
    if (!link_.Valid()) return kMaxSleepMs;
    const auto now = steady_clock::now();
    Listen();
    const bool alive = lastHeard_.time_since_epoch().count() != 0 &&
                       now - lastHeard_ < milliseconds(options_.lostAfterMs);
    if (alive != alive_) {
      alive_ = alive;
      // Lost or back, the unit starts from nothing: the channel opens again with the next
      // frame, which carries the configuration; nothing held is sent to it again.
      current_.valid = false;
      channelOpen_ = false;
      blanked_ = false;
      watchdog_.Disarm();
      std::lock_guard lock(mutex_);
      if (alive) {
        DeviceBack();
      } else {
        DeviceLost(now);
      }
    }
    if (alive_ ? now - lastPing_ >= milliseconds(options_.pingIntervalMs) : retry_.Due(now)) {
      Send(writer_.Ping(), false);
      lastPing_ = now;
      if (!alive_) retry_.Failed(now);
    }
    if (stops != stopsSeen_) {
      stopsSeen_ = stops;
      current_.valid = false;
      blanked_ = false;
      watchdog_.Disarm();
      if (channelOpen_) Send(writer_.CloseChannel(NowUs()));
      channelOpen_ = false;
    }
    // A lost unit gets nothing but pings until it answers.
    if (!started || !alive_) return kMaxSleepMs;

    if (now >= passEnd_ && TakeIncoming()) {
      blanked_ = false;
      SendFrame(!channelOpen_ || now - lastConfig_ >= milliseconds(options_.configIntervalMs));
      return 0;
    }
    if (!current_.valid) {
      if (now - lastSent_ >= milliseconds(options_.keepAliveMs)) Send(writer_.KeepAlive(NowUs()));
      return kMaxSleepMs;
    }
    if (!blanked_ && watchdog_.ShouldBlank(now)) {
      // IDN blanks by sending the held frame again with every colour dark: the projector
      // repeats that instead, the scanners keep their place.
      blanked_ = true;
      SendFrame(true);
      return 0;
    }
    if (now - lastConfig_ >= milliseconds(options_.configIntervalMs)) SendFrame(true);
    const auto untilConfig = std::chrono::duration_cast<milliseconds>(
        lastConfig_ + milliseconds(options_.configIntervalMs) - now);
    return static_cast<int>(std::clamp<int64_t>(untilConfig.count(), 1, kMaxSleepMs));
  }

  bool TakeIncoming() { return WorkerStream::TakeIncoming(current_, watchdog_); }

  // --- worker only -------------------------------------------------------------------------
  const IdnOptions options_;
  const Target target_;
  UniqueFd link_;
  idn::StreamWriter writer_;
  ScanWatchdog watchdog_;
  HeldFrame current_;
  std::vector<std::vector<uint8_t>> datagrams_;
  int32_t channels_ = 4;
  uint64_t stopsSeen_ = 0;
  bool channelOpen_ = false;
  bool blanked_ = false;
  bool alive_ = false;  // a ping was answered within lostAfterMs
  steady_clock::time_point lastSent_;
  steady_clock::time_point lastConfig_;
  steady_clock::time_point lastPing_;
  steady_clock::time_point lastHeard_;
  steady_clock::time_point passEnd_;
  std::thread worker_;
};

struct Unit {
  sockaddr_in address{};
  idn::ScanReply scan;
  std::optional<idn::ServiceMap> services;
  bool named = false;
};

}  // namespace

void IdnFamily::Discover(std::vector<DeviceInfo>& devices) {
  UniqueFd socket = BindUdpAt(in_addr{htonl(INADDR_ANY)}, 0, false);
  if (!socket.Valid()) return;
  uint16_t sequence = 0;
  auto send = [&](uint8_t command, const sockaddr_in& to) {
    SendDatagram(socket.Get(), idn::EncodeRequest(command, sequence++), to);
  };
  std::vector<sockaddr_in> named;
  for (const std::string& host : options_.hosts) {
    const auto target = ParseHostPort(host, options_.port);
    if (!target) continue;
    if (const auto address = ResolveIpv4(target->host, target->port)) named.push_back(*address);
  }
  const std::vector<in_addr> broadcasts = BroadcastAddresses(options_.broadcast);
  for (const in_addr& b : broadcasts) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = b;
    to.sin_port = htons(options_.port);
    send(idn::kScanRequest, to);
  }
  for (const sockaddr_in& to : named) send(idn::kScanRequest, to);

  auto key = [](const sockaddr_in& a) {
    return FormatIpv4(a.sin_addr) + ":" + std::to_string(ntohs(a.sin_port));
  };
  std::map<std::string, Unit> units;
  std::vector<std::string> order;
  const auto deadline = steady_clock::now() + milliseconds(options_.searchWindowMs);
  for (;;) {
    const bool allNamedDone =
        broadcasts.empty() && std::all_of(named.begin(), named.end(), [&](const sockaddr_in& a) {
          const auto u = units.find(key(a));
          return u != units.end() && u->second.services;
        });
    if (allNamedDone) break;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{socket.Get(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    std::array<uint8_t, 1500> datagram{};
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t got = ::recvfrom(socket.Get(), datagram.data(), datagram.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got <= 0) continue;
    const std::span<const uint8_t> bytes(datagram.data(), static_cast<size_t>(got));
    const std::string id = key(from);
    if (const auto scan = idn::ParseScanReply(bytes)) {
      if (units.count(id) != 0) continue;
      Unit unit;
      unit.address = from;
      unit.scan = *scan;
      units.emplace(id, std::move(unit));
      order.push_back(id);
      send(idn::kServiceMapRequest, from);
    } else if (auto map = idn::ParseServiceMap(bytes)) {
      const auto unit = units.find(id);
      if (unit != units.end()) unit->second.services = std::move(*map);
    }
  }

  for (const std::string& id : order) {
    const Unit& unit = units.at(id);
    // A unit that is malfunctioning, offline or excluded from streaming takes no frames.
    if ((unit.scan.status &
         (idn::kStatusMalfunction | idn::kStatusOffline | idn::kStatusExcluded)) != 0) {
      continue;
    }
    std::vector<idn::ServiceEntry> services;
    if (unit.services) {
      for (const idn::ServiceEntry& s : unit.services->services) {
        if (s.serviceType == idn::kServiceLaserProjector) services.push_back(s);
      }
    } else {
      // No service map in time: service 0 reaches the unit's default service.
      services.push_back(idn::ServiceEntry{0, idn::kServiceLaserProjector, 1, 0, "Laser"});
    }
    const std::string host =
        unit.scan.hostName.empty() ? FormatIpv4(unit.address.sin_addr) : unit.scan.hostName;
    for (const idn::ServiceEntry& s : services) {
      DeviceInfo info;
      info.friendlyName = DisplaySafe(host + " " + s.name);
      info.name = "IDN " + host + " " + s.name;
      // Two units may carry the same factory name; their addresses tell them apart.
      const bool taken = std::any_of(devices.begin(), devices.end(),
                                     [&](const DeviceInfo& d) { return d.name == info.name; });
      if (taken) info.name += " " + id;
      info.family = this;
      info.locator = id + "/" + std::to_string(s.serviceId);
      info.remote = true;
      info.maxSpeed = kMaxRate;
      info.maxFrameSize = kMaxFrame;
      devices.push_back(std::move(info));
    }
  }
}

std::unique_ptr<DacStream> IdnFamily::Open(const DeviceInfo& device) {
  const auto target = ParseLocator(device.locator);
  if (!target) return nullptr;
  return std::make_unique<IdnStream>(device, *target, options_);
}

}  // namespace lumarex::jmlaser
