#include "jmlaser/etherdream_dac.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "jmlaser/etherdream_protocol.h"
#include "jmlaser/frame_slots.h"
#include "jmlaser/net_socket.h"
#include "jmlaser/scan_watchdog.h"
#include "jmlaser/worker_stream.h"

namespace lumarex::jmlaser {

namespace ed = etherdream;
using std::chrono::steady_clock;

namespace {

// Pacing. The DAC's buffer holds 1799 points; we keep it at about 50 ms of output so that a
// new frame shows soon, and never below 512 points because newer units report an underflow
// under about 256 queued points.
constexpr int32_t kMinTarget = 512;
constexpr int32_t kHeadroom = 100;
constexpr int32_t kMaxBatch = 400;
constexpr int32_t kMinBatch = 64;
constexpr int kIdlePingMs = 500;
constexpr int kMaxSleepMs = 20;
constexpr int kNakBackoffMs = 5;
constexpr int kEmergencyBackoffMs = 100;

std::optional<HostPort> SplitHostPort(const std::string& text) {
  return ParseHostPort(text, ed::kCommandPort);
}

// The stream of one Ether Dream. Its worker thread (owned by the stream, joined by its
// destructor, which cancels any network wait at once) holds the TCP connection. The link
// counts as lost when the DAC closes or resets the connection, when an answer does not come
// within responseTimeoutMs, or when an answer belongs to another command; while output is
// started the worker then connects again on the retry schedule, and a new connection starts
// as the first did: greeting, then prepare, data and begin at the next frame's rate.
class EtherDreamStream final : public WorkerStream {
 public:
  EtherDreamStream(const DeviceInfo& info, const EtherDreamOptions& options)
      : WorkerStream(info),
        locator_(info.locator),
        capacity_(info.bufferCapacity > 0 ? info.bufferCapacity : ed::kDefaultBufferCapacity),
        responseTimeoutMs_(options.responseTimeoutMs),
        cancelFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
        watchdog_(options.watchdogHold) {
    worker_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(options.openWaitMs),
                      [this] { return connected_ || !connectWanted_; });
  }

  EtherDreamStream(const EtherDreamStream&) = delete;
  EtherDreamStream& operator=(const EtherDreamStream&) = delete;

  ~EtherDreamStream() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    // Ends any network wait of the worker at once, so closing never hangs on a dead link.
    const uint64_t one = 1;
    if (cancelFd_.Valid()) (void)!::write(cancelFd_.Get(), &one, sizeof one);
    wake_.notify_all();
    worker_.join();
  }

 private:
  enum class Reply { kAck, kNak, kLost };

  // --- worker thread ---------------------------------------------------------------------

  void Run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (!link_.Valid()) {
        if (!ShouldTryToReach(steady_clock::now())) {
          WaitToReach(lock);
          continue;
        }
        lock.unlock();
        const bool ok = Connect();
        lock.lock();
        Reached(ok, steady_clock::now());
        continue;
      }
      const bool started = started_;
      const bool stopped = stops_ != stopsSeen_;
      stopsSeen_ = stops_;
      channels_ = usedChannels_;
      lock.unlock();
      const int sleepMs = Step(started, stopped);
      lock.lock();
      if (!link_.Valid()) {
        DeviceLost(steady_clock::now());
        continue;
      }
      if (sleepMs > 0) {
        const uint64_t stops = stops_;
        wake_.wait_for(lock, std::chrono::milliseconds(sleepMs), [&] {
          return quit_ || stops != stops_ || started != started_ ||
                 (started_ && incoming_.valid && !playing_.valid);
        });
      }
    }
    lock.unlock();
    if (link_.Valid()) {
      // Leave the projector dark; no answer is awaited on the way out.
      const uint8_t stop = ed::kStop;
      SendAll(link_.Get(), &stop, 1, 0, -1);
    }
  }

  bool Connect() {
    const std::optional<HostPort> target = SplitHostPort(locator_);
    if (!target) return false;
    // The search resolved names already; closing must never wait for a name service.
    const std::optional<sockaddr_in> address = ParseIpv4(target->host, target->port);
    if (!address) return false;
    UniqueFd fd = ConnectTcp(*address, responseTimeoutMs_, cancelFd_.Get());
    if (!fd.Valid()) return false;
    // The DAC greets every new client with the answer to a ping.
    std::array<uint8_t, ed::kResponseSize> greeting{};
    if (ReceiveExact(fd.Get(), greeting.data(), greeting.size(), responseTimeoutMs_,
                     cancelFd_.Get()) != IoResult::kOk) {
      return false;
    }
    const std::optional<ed::Response> response = ed::ParseResponse(greeting);
    if (!response) return false;
    link_ = std::move(fd);
    Record(*response);
    // A new connection starts from nothing, as the first did: the DAC idles with an empty
    // buffer, and only the program's next frame lights it again.
    playing_.valid = false;
    cursor_ = 0;
    sentRate_ = 0;
    watchdog_.Disarm();
    return true;
  }

  void Drop() { link_.Reset(); }

  void Record(const ed::Response& response) {
    status_ = response.status;
    statusTime_ = steady_clock::now();
    lastCommand_ = statusTime_;
  }

  // Sends one command and reads its answer.
  Reply Command(std::span<const uint8_t> bytes) {
    if (SendAll(link_.Get(), bytes.data(), bytes.size(), responseTimeoutMs_, cancelFd_.Get()) !=
        IoResult::kOk) {
      Drop();
      return Reply::kLost;
    }
    std::array<uint8_t, ed::kResponseSize> raw{};
    if (ReceiveExact(link_.Get(), raw.data(), raw.size(), responseTimeoutMs_, cancelFd_.Get()) !=
        IoResult::kOk) {
      Drop();
      return Reply::kLost;
    }
    const std::optional<ed::Response> response = ed::ParseResponse(raw);
    // An answer to some other command means we lost track of the conversation.
    if (!response || response->command != bytes[0]) {
      Drop();
      return Reply::kLost;
    }
    Record(*response);
    return response->response == ed::kAck ? Reply::kAck : Reply::kNak;
  }

  Reply Simple(uint8_t command) { return Command(std::span<const uint8_t>(&command, 1)); }

  Reply Rate(uint8_t command, int32_t rate) {
    std::array<uint8_t, 7> bytes{};
    const size_t size = ed::EncodeRateCommand(command, static_cast<uint32_t>(rate), bytes);
    return Command(std::span<const uint8_t>(bytes.data(), size));
  }

  int32_t PlayRate() const {
    if (status_.PlaybackState() == ed::Playback::kPlaying && status_.pointRate > 0) {
      return static_cast<int32_t>(status_.pointRate);
    }
    return sentRate_ > 0 ? sentRate_ : ed::kDefaultMaxRate;
  }

  int32_t Target() const {
    // Small buffers (a capacity of a few points is legal) still get a target above zero.
    const int32_t highest = capacity_ - std::min(kHeadroom, capacity_ / 10);
    return std::clamp(PlayRate() / 20, std::min(kMinTarget, highest), highest);
  }

  int32_t MinBatch(int32_t target) const { return std::clamp(target / 4, 1, kMinBatch); }

  // Points queued in the DAC now, from the last status and the time since.
  int32_t EstimatedFullness() const {
    int64_t fullness = status_.bufferFullness;
    if (status_.PlaybackState() == ed::Playback::kPlaying) {
      const auto us =
          std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - statusTime_)
              .count();
      fullness -= us * PlayRate() / 1000000;
    }
    return static_cast<int32_t>(std::max<int64_t>(fullness, 0));
  }

  // One step of the conversation; answers how long to wait before the next (0: at once).
  int Step(bool started, bool stopped) {
    if (stopped) {
      playing_.valid = false;
      cursor_ = 0;
      watchdog_.Disarm();
    }
    if (started && playing_.valid && watchdog_.ShouldBlank(steady_clock::now())) {
      // The Ether Dream blanks by stopping playback: it idles dark with its shutter shut,
      // and the next frame prepares and begins it again.
      playing_.valid = false;
      cursor_ = 0;
      watchdog_.Disarm();
      if (status_.PlaybackState() != ed::Playback::kIdle && Simple(ed::kStop) == Reply::kLost) {
        return 0;
      }
    }
    if (!started || stopped) {
      if (status_.PlaybackState() != ed::Playback::kIdle && Simple(ed::kStop) == Reply::kLost) {
        return 0;
      }
      if (!started) return IdlePing();
    }
    if (!playing_.valid && !TakeIncoming()) return IdlePing();
    if (status_.EmergencyStopped()) {
      // Cleared only when the cause is gone; until then the frames wait and the device
      // reads not ready.
      if (Simple(ed::kClearEmergencyStop) == Reply::kLost) return 0;
      if (status_.EmergencyStopped()) return kEmergencyBackoffMs;
    }
    if (status_.PlaybackState() == ed::Playback::kIdle) {
      // Also the way back after an underflow: prepare, refill, begin.
      const Reply prepared = Simple(ed::kPrepare);
      if (prepared != Reply::kAck) return prepared == Reply::kLost ? 0 : kNakBackoffMs;
    }
    const int32_t target = Target();
    const int32_t minBatch = MinBatch(target);
    const int32_t fullness = EstimatedFullness();
    const bool refill = target - fullness >= minBatch;
    if (refill) {
      const Reply sent = SendBatch(std::min(target - fullness, kMaxBatch));
      if (sent != Reply::kAck) return sent == Reply::kLost ? 0 : kNakBackoffMs;
    }
    // Playback begins once the buffer is (nearly) at its target, or holds all it will get.
    const int32_t queued = status_.bufferFullness;
    if (status_.PlaybackState() == ed::Playback::kPrepared &&
        (queued >= target * 9 / 10 || target - queued < minBatch)) {
      const Reply begun = Rate(ed::kBegin, sentRate_);
      if (begun != Reply::kAck) return begun == Reply::kLost ? 0 : kNakBackoffMs;
    }
    if (refill) return 0;
    const int32_t surplus = fullness - (target - 2 * minBatch);
    return std::clamp(static_cast<int>(int64_t{surplus} * 1000 / PlayRate()), 1, kMaxSleepMs);
  }

  int IdlePing() {
    if (steady_clock::now() - lastCommand_ >= std::chrono::milliseconds(kIdlePingMs)) {
      // Only so that a dead link is noticed while nothing is streamed.
      if (Simple(ed::kPing) == Reply::kLost) return 0;
    }
    return kIdlePingMs / 5;
  }

  bool TakeIncoming() {
    if (!WorkerStream::TakeIncoming(playing_, watchdog_)) return false;
    cursor_ = 0;
    return true;
  }

  // At the end of a pass the waiting frame takes over; without one the frame repeats.
  void EndOfPass() {
    if (cursor_ < playing_.points.size()) return;
    cursor_ = 0;
    TakeIncoming();
  }

  Reply SendBatch(int32_t want) {
    EndOfPass();
    bool markRateChange = false;
    if (cursor_ == 0 && playing_.pointsPerSecond != sentRate_) {
      if (status_.PlaybackState() == ed::Playback::kPlaying) {
        // The new rate must start with the frame's first point, not with points of the
        // previous frame still queued: queue it, and flag that point.
        const Reply queued = Rate(ed::kQueueRate, playing_.pointsPerSecond);
        if (queued != Reply::kAck) return queued;
        markRateChange = true;
      }
      sentRate_ = playing_.pointsPerSecond;
    }
    batch_.resize(ed::kDataHeaderSize + static_cast<size_t>(kMaxBatch) * ed::kPointSize);
    std::span<uint8_t> out(batch_);
    uint16_t count = 0;
    while (count < want) {
      if (cursor_ == playing_.points.size()) {
        EndOfPass();
        // A frame at another rate starts a batch of its own, see above.
        if (playing_.pointsPerSecond != sentRate_) break;
      }
      ed::WirePoint point = ed::ToWirePoint(playing_.points[cursor_++], channels_);
      if (markRateChange && count == 0) point.control = ed::kControlRateChange;
      ed::EncodePoint(point, out.subspan(ed::kDataHeaderSize + count * ed::kPointSize));
      ++count;
    }
    ed::EncodeDataHeader(count, out);
    return Command(out.first(ed::kDataHeaderSize + count * ed::kPointSize));
  }

  // --- worker only -------------------------------------------------------------------------
  const std::string locator_;
  const int32_t capacity_;
  const int responseTimeoutMs_;
  UniqueFd cancelFd_;
  UniqueFd link_;
  HeldFrame playing_;
  ScanWatchdog watchdog_;
  size_t cursor_ = 0;
  int32_t sentRate_ = 0;
  int32_t channels_ = 4;
  uint64_t stopsSeen_ = 0;
  ed::Status status_;
  steady_clock::time_point statusTime_;
  steady_clock::time_point lastCommand_;
  std::vector<uint8_t> batch_;
  std::thread worker_;
};

std::string Hex(const uint8_t* bytes, size_t count, bool upper) {
  std::string out;
  char digits[3];
  for (size_t k = 0; k < count; ++k) {
    std::snprintf(digits, sizeof digits, upper ? "%02X" : "%02x", bytes[k]);
    out += digits;
  }
  return out;
}

}  // namespace

std::vector<std::string> ParseEtherDreamHosts(const std::string& list) {
  std::vector<std::string> hosts = SplitHostList(list);
  std::erase_if(hosts, [](const std::string& h) { return !SplitHostPort(h); });
  return hosts;
}

// Collects the DACs' broadcasts in the background. A search on the user-interface thread
// then answers from what was heard instead of listening itself: listening takes a second,
// longer than a frame period.
struct EtherDreamFamily::Listener {
  struct Heard {
    ed::Broadcast broadcast;
    std::string ip;
    steady_clock::time_point at;
  };

  Listener(uint16_t port, int windowMs)
      : udp(BindUdp(port)), since(steady_clock::now()), window(windowMs) {
    if (udp.Valid()) thread = std::thread([this] { Run(); });
  }
  ~Listener() {
    quit = true;
    if (thread.joinable()) thread.join();
  }

  void Run() {
    while (!quit) {
      pollfd fd{udp.Get(), POLLIN, 0};
      if (::poll(&fd, 1, 100) <= 0) continue;
      std::array<uint8_t, 512> datagram{};
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t got = ::recvfrom(udp.Get(), datagram.data(), datagram.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (got <= 0) continue;
      const std::optional<ed::Broadcast> broadcast =
          ed::ParseBroadcast(std::span<const uint8_t>(datagram.data(), static_cast<size_t>(got)));
      if (!broadcast) continue;
      const std::string ip = FormatIpv4(from.sin_addr);
      const std::lock_guard<std::mutex> lock(mutex);
      auto known = std::find_if(heard.begin(), heard.end(), [&](const Heard& h) {
        return h.ip == ip || h.broadcast.mac == broadcast->mac;
      });
      if (known == heard.end()) known = heard.insert(heard.end(), Heard{*broadcast, ip, {}});
      known->broadcast = *broadcast;
      known->ip = ip;
      known->at = steady_clock::now();
    }
  }

  // The DACs heard lately, in the order they were first heard. Only the first search after
  // the listener started waits, for what is left of the listening window.
  std::vector<Heard> Recent(std::chrono::milliseconds forgetAfter) {
    if (!udp.Valid()) return {};
    std::this_thread::sleep_until(since + window);
    const auto now = steady_clock::now();
    const std::lock_guard<std::mutex> lock(mutex);
    std::vector<Heard> recent;
    for (const Heard& h : heard) {
      if (now - h.at <= forgetAfter) recent.push_back(h);
    }
    return recent;
  }

  UniqueFd udp;
  steady_clock::time_point since;
  std::chrono::milliseconds window;
  std::atomic<bool> quit{false};
  std::mutex mutex;
  std::vector<Heard> heard;
  std::thread thread;
};

EtherDreamFamily::EtherDreamFamily(EtherDreamOptions options) : options_(std::move(options)) {
  if (options_.discoveryWindowMs > 0) {
    listener_ = std::make_unique<Listener>(options_.discoveryPort, options_.discoveryWindowMs);
  }
}

EtherDreamFamily::~EtherDreamFamily() = default;

void EtherDreamFamily::Discover(std::vector<DeviceInfo>& devices) {
  const auto seen = listener_ != nullptr
                        ? listener_->Recent(std::chrono::milliseconds(options_.forgetAfterMs))
                        : std::vector<Listener::Heard>();
  for (const Listener::Heard& s : seen) {
    DeviceInfo info;
    info.name = "EtherDream " + Hex(s.broadcast.mac.data() + 3, 3, false);
    info.friendlyName = "Ether Dream " + Hex(s.broadcast.mac.data() + 3, 3, true);
    info.family = this;
    info.locator = s.ip + ":" + std::to_string(ed::kCommandPort);
    info.remote = true;
    info.maxSpeed = static_cast<int32_t>(std::min<uint32_t>(s.broadcast.maxPointRate, 1000000));
    info.minSpeed = std::min(info.minSpeed, info.maxSpeed);
    info.bufferCapacity = s.broadcast.bufferCapacity - 1;  // one slot stays empty in the ring
    devices.push_back(std::move(info));
  }
  for (const std::string& host : options_.hosts) {
    const std::optional<HostPort> target = SplitHostPort(host);
    if (!target) continue;
    const std::optional<sockaddr_in> address = ResolveIpv4(target->host, target->port);
    // A name that does not resolve stays listed, as a DAC that is not there: never ready.
    const std::string locator = (address ? FormatIpv4(address->sin_addr) : target->host) + ":" +
                                std::to_string(target->port);
    const bool heard = std::any_of(devices.begin(), devices.end(), [&](const DeviceInfo& d) {
      return d.family == this && d.locator == locator;
    });
    if (heard) continue;
    DeviceInfo info;
    info.name = "EtherDream " + target->host + ":" + std::to_string(target->port);
    info.friendlyName =
        "Ether Dream " + DisplaySafe(target->port == ed::kCommandPort
                                         ? target->host
                                         : target->host + "-" + std::to_string(target->port));
    info.family = this;
    info.locator = locator;
    info.remote = true;
    info.maxSpeed = ed::kDefaultMaxRate;
    info.bufferCapacity = ed::kDefaultBufferCapacity;
    devices.push_back(std::move(info));
  }
}

std::unique_ptr<DacStream> EtherDreamFamily::Open(const DeviceInfo& device) {
  return std::make_unique<EtherDreamStream>(device, options_);
}

}  // namespace lumarex::jmlaser
