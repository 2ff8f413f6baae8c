#include "jmlaser/lasercube_dac.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "jmlaser/frame_slots.h"
#include "jmlaser/lasercube_protocol.h"
#include "jmlaser/scan_watchdog.h"
#include "jmlaser/worker_stream.h"

namespace lumarex::jmlaser {

namespace lc = lasercube;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

constexpr int32_t kDefaultRate = 30000;
constexpr int32_t kDefaultBuffer = 6000;
constexpr int kMaxSleepMs = 5;
// A packet whose free-count reply has not come in this long is taken as arrived, its reply
// as lost (UDP drops now and then), so that one lost reply does not hold the pacing back.
constexpr milliseconds kReplyGiveUp{300};

enum class Port { kAlive, kCommand, kData };

std::string Hex(std::span<const uint8_t> bytes) {
  std::string out;
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    out += digits;
  }
  return out;
}

}  // namespace

class LaserCubeFamily::Link {
 public:
  struct Peer {
    std::optional<lc::FullInfo> info;
    steady_clock::time_point infoAt{};
    steady_clock::time_point aliveAt{};
    steady_clock::time_point lastHeard{};
    std::deque<std::pair<uint16_t, steady_clock::time_point>> freeReplies;
  };

  explicit Link(const LaserCubeOptions& options)
      : ports_{options.alivePort, options.commandPort, options.dataPort} {
    const in_addr any{htonl(INADDR_ANY)};
    for (size_t k = 0; k < sockets_.size(); ++k) {
      sockets_[k] = BindUdpAt(any, ports_[k], true);
      if (!sockets_[k].Valid()) return;
    }
    thread_ = std::thread([this] { Run(); });
  }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  ~Link() {
    quit_ = true;
    if (thread_.joinable()) thread_.join();
  }

  bool Valid() const { return thread_.joinable(); }

  void Send(Port port, in_addr to, std::span<const uint8_t> bytes) {
    const size_t k = static_cast<size_t>(port);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr = to;
    address.sin_port = htons(ports_[k]);
    SendDatagram(sockets_[k].Get(), bytes, address);
  }

  // What was heard from one address; its free-count replies are handed over only once.
  Peer Take(in_addr from) {
    std::lock_guard lock(mutex_);
    Peer& peer = peers_[from.s_addr];
    Peer copy = peer;
    peer.freeReplies.clear();
    return copy;
  }

  std::vector<std::pair<in_addr, Peer>> All() {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<in_addr, Peer>> out;
    for (const auto& [address, peer] : peers_) out.push_back({in_addr{address}, peer});
    return out;
  }

 private:
  void Run() {
    std::array<uint8_t, 1500> datagram{};
    while (!quit_) {
      std::array<pollfd, 3> fds{};
      for (size_t k = 0; k < fds.size(); ++k) fds[k] = {sockets_[k].Get(), POLLIN, 0};
      if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
      for (size_t k = 0; k < fds.size(); ++k) {
        if ((fds[k].revents & POLLIN) == 0) continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(sockets_[k].Get(), datagram.data(), datagram.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got <= 0) continue;
        Heard(static_cast<Port>(k), from.sin_addr,
              std::span<const uint8_t>(datagram.data(), static_cast<size_t>(got)));
      }
    }
  }

  void Heard(Port port, in_addr from, std::span<const uint8_t> bytes) {
    const auto now = steady_clock::now();
    std::lock_guard lock(mutex_);
    // Our own broadcasts come back to us as one-byte requests; only replies count.
    if (port == Port::kAlive && lc::IsAliveReply(bytes)) {
      Peer& peer = peers_[from.s_addr];
      peer.aliveAt = now;
      peer.lastHeard = now;
    } else if (auto info = lc::ParseFullInfo(bytes)) {
      Peer& peer = peers_[from.s_addr];
      peer.info = std::move(info);
      peer.infoAt = now;
      peer.lastHeard = now;
    } else if (const auto free = lc::ParseFreeCount(bytes)) {
      Peer& peer = peers_[from.s_addr];
      peer.lastHeard = now;
      // Only the data port's replies answer a data packet each; the command port's answer
      // a question at some other time and would spoil the matching.
      if (port == Port::kData) peer.freeReplies.emplace_back(*free, now);
    } else if (bytes.size() >= 2 && bytes[1] == 0) {
      // Any other success reply still says the cube is there.
      const auto known = peers_.find(from.s_addr);
      if (known != peers_.end()) known->second.lastHeard = now;
    }
  }

  std::array<uint16_t, 3> ports_;
  std::array<UniqueFd, 3> sockets_;
  std::atomic<bool> quit_{false};
  std::mutex mutex_;
  std::map<uint32_t, Peer> peers_;
  std::thread thread_;
};

namespace {

// The stream of one cube. Its worker thread belongs to the stream and is joined by its
// destructor; nothing it does waits on the network. The cube counts as lost when nothing at all
// has come from it for goneAfterMs: while samples stream it answers every data packet, and
// otherwise it is asked for its full info four times a second. The worker then asks it on the
// retry schedule instead, and once it answers (a cube that restarted has forgotten everything),
// the stream starts as at Start: buffer cleared and pacing reset, buffer replies on, output
// on, and the rate with the program's next frame.
class LaserCubeStream final : public WorkerStream {
 public:
  using Link = LaserCubeFamily::Link;

  LaserCubeStream(const DeviceInfo& info, in_addr address, std::shared_ptr<Link> link,
                  const LaserCubeOptions& options)
      : WorkerStream(info),
        address_(address),
        link_(std::move(link)),
        options_(options),
        size_(info.bufferCapacity > 0 ? info.bufferCapacity : kDefaultBuffer),
        watchdog_(options.watchdogHold) {
    worker_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, milliseconds(options.openWaitMs), [this] { return connected_; });
  }

  LaserCubeStream(const LaserCubeStream&) = delete;
  LaserCubeStream& operator=(const LaserCubeStream&) = delete;

  ~LaserCubeStream() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
  }

 private:
  // --- worker thread ---------------------------------------------------------------------

  void Command(std::vector<uint8_t> bytes, bool twice = true) {
    // State changes go out twice: UDP may drop one, and each is harmless to repeat.
    link_->Send(Port::kCommand, address_, bytes);
    if (twice) link_->Send(Port::kCommand, address_, bytes);
  }

  void Output(bool on) {
    Command(lc::EncodeCommand(lc::kSetOutput, on ? 1 : 0));
    outputOn_ = on;
  }

  // The cube's buffer is empty again: count from there.
  void ResetPacing(steady_clock::time_point now) {
    Command(lc::EncodeCommand(lc::kClearBuffer));
    baseFree_ = size_;
    baseTime_ = now;
    outstanding_.clear();
  }

  // What starting output tells the cube, at Start and again when a lost cube is back.
  void SetUp(steady_clock::time_point now) {
    rate_ = 0;
    ResetPacing(now);
    Command(lc::EncodeCommand(lc::kEnableBufferReplies, 1));
    repliesWanted_ = true;
    Output(true);
  }

  void Run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      const uint64_t starts = starts_;
      const uint64_t stops = stops_;
      const bool started = started_;
      channels_ = usedChannels_;
      lock.unlock();
      const int sleepMs = Step(started, starts, stops);
      lock.lock();
      if (sleepMs > 0) {
        wake_.wait_for(lock, milliseconds(sleepMs), [&] {
          return quit_ || starts != starts_ || stops != stops_ ||
                 (incoming_.valid && (blanked_ || !current_.valid));
        });
      }
    }
    lock.unlock();
    // Closing darkens the cube and ends its replies.
    if (outputOn_) Output(false);
    Command(lc::EncodeCommand(lc::kEnableBufferReplies, 0));
  }

  // Samples the cube has room for now: its last report, plus what it played since, less
  // what we sent after the packet that report answered.
  int32_t EstimatedFree(steady_clock::time_point now) const {
    const int64_t playedUs =
        std::chrono::duration_cast<std::chrono::microseconds>(now - baseTime_).count();
    int64_t free = baseFree_;
    if (outputOn_) free += playedUs * rate_ / 1000000;
    free = std::min<int64_t>(free, size_);
    for (const auto& packet : outstanding_) free -= packet.first;
    return static_cast<int32_t>(std::max<int64_t>(free, 0));
  }

  void TakeReplies(const Link::Peer& peer, steady_clock::time_point now) {
    for (const auto& [free, at] : peer.freeReplies) {
      if (outstanding_.empty()) continue;  // a reply to a packet we already gave up on
      outstanding_.pop_front();
      baseFree_ = free;
      baseTime_ = at;
    }
    bool gaveUp = false;
    while (!outstanding_.empty() && now - outstanding_.front().second > kReplyGiveUp) {
      baseFree_ -= outstanding_.front().first;
      outstanding_.pop_front();
      gaveUp = true;
    }
    // Replies that stay away while the cube answers otherwise: the request for them was lost.
    if (gaveUp && repliesWanted_) Command(lc::EncodeCommand(lc::kEnableBufferReplies, 1));
  }

  // The fill we keep: about 1/15 s, twice what the open clients hold, since a busy desktop
  // may keep our thread waiting for tens of milliseconds; never so near the top that a burst
  // could overflow.
  int32_t Target() const {
    const auto packet = static_cast<int32_t>(lc::kMaxSamplesPerPacket);
    const int32_t wanted = std::max(rate_ / 15, 3 * packet);
    return std::max(std::min(wanted, size_ - 2 * packet), size_ / 2);
  }

  int Step(bool started, uint64_t starts, uint64_t stops) {
    const auto now = steady_clock::now();
    const Link::Peer peer = link_->Take(address_);
    const bool alive = peer.lastHeard.time_since_epoch().count() != 0 &&
                       now - peer.lastHeard < milliseconds(options_.goneAfterMs);
    if (alive != alive_) {
      alive_ = alive;
      current_.valid = false;
      blanked_ = false;
      watchdog_.Disarm();
      {
        std::lock_guard lock(mutex_);
        if (alive) {
          DeviceBack();
        } else {
          DeviceLost(now);
        }
      }
      if (!alive) {
        // Whatever it held is gone with it; it is set up from the start when it answers.
        outputOn_ = false;
        repliesWanted_ = false;
        outstanding_.clear();
      } else if (started && startsSeen_ == starts) {
        SetUp(now);
      }
    }
    if (!alive_) {
      if (retry_.Due(now)) {
        Command(lc::EncodeCommand(lc::kGetFullInfo), false);
        retry_.Failed(now);
      }
      return kMaxSleepMs;
    }
    if (peer.info && peer.infoAt != infoSeen_) {
      infoSeen_ = peer.infoAt;
      if (peer.info->bufferSize > 0) size_ = peer.info->bufferSize;
      // Commands travel by UDP and may all be lost: what the cube reports is put right.
      if (peer.info->outputEnabled != outputOn_) Output(outputOn_);
      if (rate_ > 0 && peer.info->rate != static_cast<uint32_t>(rate_)) {
        Command(lc::EncodeRate(static_cast<uint32_t>(rate_)));
      }
    }
    // While samples stream, their replies show the cube is there and full info is asked
    // seldom; once it falls quiet, it is asked as often as when idle.
    const bool replying = now - peer.lastHeard < milliseconds(options_.pollIdleMs);
    const bool streaming = outputOn_ && current_.valid && !blanked_ && replying;
    const int pollMs = streaming ? options_.pollStreamingMs : options_.pollIdleMs;
    if (now - lastPoll_ >= milliseconds(pollMs)) {
      Command(lc::EncodeCommand(lc::kGetFullInfo), false);
      lastPoll_ = now;
    }
    TakeReplies(peer, now);

    if (stops != stopsSeen_) {
      stopsSeen_ = stops;
      current_.valid = false;
      blanked_ = false;
      watchdog_.Disarm();
      Output(false);
      Command(lc::EncodeCommand(lc::kEnableBufferReplies, 0));
      repliesWanted_ = false;
      ResetPacing(now);
    }
    if (starts != startsSeen_ && started) {
      startsSeen_ = starts;
      SetUp(now);
    }
    if (!started) return kMaxSleepMs;

    if (!current_.valid || blanked_) {
      if (!TakeIncoming()) return kMaxSleepMs;
      if (blanked_) {
        blanked_ = false;
        ResetPacing(now);
        Output(true);
      }
    }
    if (watchdog_.ShouldBlank(now)) {
      // The LaserCube blanks by switching its output off and emptying its buffer; the next
      // frame switches it on again.
      blanked_ = true;
      Output(false);
      ResetPacing(now);
      return kMaxSleepMs;
    }

    const int32_t target = Target();
    const int32_t chunk =
        std::min<int32_t>(static_cast<int32_t>(lc::kMaxSamplesPerPacket), std::max(target / 8, 1));
    int32_t free = EstimatedFree(now);
    int32_t fullness = size_ - free;
    for (int burst = 0; burst < lc::kMaxPacketsPerBurst && target - fullness >= chunk; ++burst) {
      const int32_t count =
          std::min({target - fullness, free, static_cast<int32_t>(lc::kMaxSamplesPerPacket)});
      if (count <= 0) break;
      SendSamples(count, now);
      free -= count;
      fullness += count;
    }
    const int32_t surplus = fullness - (target - chunk);
    return std::clamp(static_cast<int>(int64_t{surplus} * 1000 / std::max(rate_, 1)), 1,
                      kMaxSleepMs);
  }

  bool TakeIncoming() {
    if (!WorkerStream::TakeIncoming(current_, watchdog_)) return false;
    cursor_ = 0;
    return true;
  }

  void SendSamples(int32_t count, steady_clock::time_point now) {
    samples_.clear();
    while (static_cast<int32_t>(samples_.size()) < count) {
      if (cursor_ >= current_.points.size()) {
        // The end of a pass: the waiting frame takes over, else the frame repeats.
        cursor_ = 0;
        ++frameNumber_;
        TakeIncoming();
        if (!samples_.empty() && current_.pointsPerSecond != rate_) break;
      }
      if (cursor_ == 0 && current_.pointsPerSecond != rate_) {
        rate_ = current_.pointsPerSecond;
        Command(lc::EncodeRate(static_cast<uint32_t>(rate_)));
      }
      samples_.push_back(lc::ToSample(current_.points[cursor_++], channels_));
    }
    lc::EncodeDataPacket(messageNumber_++, frameNumber_, samples_, packet_);
    link_->Send(Port::kData, address_, packet_);
    outstanding_.emplace_back(static_cast<int32_t>(samples_.size()), now);
  }

  // --- worker only -------------------------------------------------------------------------
  const in_addr address_;
  std::shared_ptr<Link> link_;
  const LaserCubeOptions options_;
  int32_t size_;
  ScanWatchdog watchdog_;
  HeldFrame current_;
  size_t cursor_ = 0;
  int32_t rate_ = 0;  // unknown until we set it
  int32_t channels_ = 4;
  uint64_t startsSeen_ = 0;
  uint64_t stopsSeen_ = 0;
  bool outputOn_ = false;
  bool repliesWanted_ = false;
  bool blanked_ = false;
  bool alive_ = false;  // heard within goneAfterMs
  steady_clock::time_point infoSeen_;
  int64_t baseFree_ = 0;
  steady_clock::time_point baseTime_;
  std::deque<std::pair<int32_t, steady_clock::time_point>> outstanding_;
  steady_clock::time_point lastPoll_;
  uint8_t messageNumber_ = 0;
  uint8_t frameNumber_ = 0;
  std::vector<lc::Sample> samples_;
  std::vector<uint8_t> packet_;
  std::thread worker_;
};

}  // namespace

LaserCubeFamily::LaserCubeFamily(LaserCubeOptions options) : options_(std::move(options)) {}

LaserCubeFamily::~LaserCubeFamily() = default;

std::shared_ptr<LaserCubeFamily::Link> LaserCubeFamily::TheLink() {
  // Bound only once there is something to ask, so that a program without cubes holds none
  // of their ports.
  std::lock_guard lock(linkMutex_);
  if (!link_ || !link_->Valid()) link_ = std::make_shared<Link>(options_);
  return link_;
}

void LaserCubeFamily::Discover(std::vector<DeviceInfo>& devices) {
  const std::vector<in_addr> broadcasts = BroadcastAddresses(options_.broadcast);
  std::vector<in_addr> named;
  for (const std::string& host : options_.hosts) {
    if (const auto address = ResolveIpv4(host, 0)) named.push_back(address->sin_addr);
  }
  if (broadcasts.empty() && named.empty()) return;
  const auto link = TheLink();
  if (!link->Valid()) return;

  const auto start = steady_clock::now();
  const std::vector<uint8_t> alive = lc::EncodeCommand(lc::kGetAlive);
  const std::vector<uint8_t> fullInfo = lc::EncodeCommand(lc::kGetFullInfo);
  for (const in_addr& b : broadcasts) link->Send(Port::kAlive, b, alive);
  for (const in_addr& a : named) {
    link->Send(Port::kAlive, a, alive);
    link->Send(Port::kCommand, a, fullInfo);
  }
  std::vector<uint32_t> asked;
  const auto deadline = start + milliseconds(options_.searchWindowMs);
  std::vector<std::pair<in_addr, Link::Peer>> found;
  while (steady_clock::now() < deadline) {
    found.clear();
    for (const auto& [address, peer] : link->All()) {
      if (peer.info && peer.infoAt >= start) {
        found.push_back({address, peer});
      } else if (peer.aliveAt >= start &&
                 std::find(asked.begin(), asked.end(), address.s_addr) == asked.end()) {
        asked.push_back(address.s_addr);
        link->Send(Port::kCommand, address, fullInfo);
      }
    }
    const bool allNamed =
        broadcasts.empty() && std::all_of(named.begin(), named.end(), [&](const in_addr& a) {
          return std::any_of(found.begin(), found.end(),
                             [&](const auto& f) { return f.first.s_addr == a.s_addr; });
        });
    if (allNamed) break;
    std::this_thread::sleep_for(milliseconds(5));
  }
  for (const auto& [address, peer] : found) {
    const lc::FullInfo& info = *peer.info;
    const std::string serial = Hex(info.serial);
    DeviceInfo d;
    d.name = "LaserCube " + serial;
    d.friendlyName = DisplaySafe((info.modelName.empty() ? "LaserCube" : info.modelName) + " " +
                                 serial.substr(6));
    d.family = this;
    d.locator = FormatIpv4(address);
    d.remote = true;
    d.maxSpeed = static_cast<int32_t>(
        std::clamp<uint32_t>(info.maxRate == 0 ? kDefaultRate : info.maxRate, 1000, 1000000));
    d.minSpeed = std::min(d.minSpeed, d.maxSpeed);
    d.colourChannels = 3;
    d.bufferCapacity = info.bufferSize > 0 ? info.bufferSize : kDefaultBuffer;
    devices.push_back(std::move(d));
  }
}

std::unique_ptr<DacStream> LaserCubeFamily::Open(const DeviceInfo& device) {
  const auto address = ParseIpv4(device.locator, 0);
  if (!address) return nullptr;
  return std::make_unique<LaserCubeStream>(device, address->sin_addr, TheLink(), options_);
}

}  // namespace lumarex::jmlaser
