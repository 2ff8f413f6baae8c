#include "tests/jmlaser/etherdream_stand_in.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>

namespace lumarex::jmlaser::testing {

namespace ed = etherdream;
using std::chrono::steady_clock;

namespace {

constexpr int kReadTimeoutMs = 2000;

}  // namespace

EtherDreamStandIn::EtherDreamStandIn(Options options)
    : options_(options), cancel_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int one = 1;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(options_.port);
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd.Get(), 4) != 0) {
    return;
  }
  socklen_t length = sizeof address;
  ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  listener_ = std::move(fd);
  server_ = std::thread([this] { Serve(); });
}

EtherDreamStandIn::~EtherDreamStandIn() {
  quit_ = true;
  const uint64_t one = 1;
  (void)!::write(cancel_.Get(), &one, sizeof one);
  if (server_.joinable()) server_.join();
  if (broadcaster_.joinable()) broadcaster_.join();
}

void EtherDreamStandIn::StartBroadcasting(const std::string& address, uint16_t port, int periodMs) {
  broadcaster_ =
      std::thread([this, address, port, periodMs] { Broadcast(address, port, periodMs); });
}

EtherDreamStandIn::Stats EtherDreamStandIn::Snapshot() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

std::vector<ed::WirePoint> EtherDreamStandIn::ReceivedPoints() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::vector<ed::WirePoint> EtherDreamStandIn::WrittenPoints() const {
  std::lock_guard lock(mutex_);
  return written_;
}

void EtherDreamStandIn::Broadcast(std::string address, uint16_t port, int periodMs) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const int one = 1;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
  ed::Broadcast b;
  b.mac = options_.mac;
  b.hardwareRevision = 2;
  b.softwareRevision = 2;
  b.bufferCapacity = static_cast<uint16_t>(options_.capacity + 1);
  b.maxPointRate = options_.maxRate;
  std::array<uint8_t, ed::kBroadcastSize> bytes{};
  ed::EncodeBroadcast(b, bytes);
  while (!quit_) {
    ::sendto(fd.Get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd wait{cancel_.Get(), POLLIN, 0};
    ::poll(&wait, 1, periodMs);
  }
}

void EtherDreamStandIn::Serve() {
  while (!quit_) {
    pollfd fds[2] = {{listener_.Get(), POLLIN, 0}, {cancel_.Get(), POLLIN, 0}};
    if (::poll(fds, 2, 50) <= 0 || (fds[1].revents & POLLIN) != 0) continue;
    UniqueFd client(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client.Valid()) continue;
    {
      std::lock_guard lock(mutex_);
      ++stats_.connections;
    }
    ServeClient(std::move(client));
  }
}

// One client's session: the DAC's state, its buffer, and the clock that drains it.
struct EtherDreamStandIn::Session {
  ed::Status status;
  std::deque<uint16_t> buffer;  // control words of the queued points
  std::deque<uint32_t> rateQueue;
  uint32_t rate = 0;
  double credit = 0;
  steady_clock::time_point last = steady_clock::now();
};

void EtherDreamStandIn::ServeClient(UniqueFd client) {
  Session s;
  const int fd = client.Get();
  const int cancel = cancel_.Get();

  auto play = [&] {
    const auto now = steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - s.last).count();
    s.last = now;
    if (s.status.PlaybackState() != ed::Playback::kPlaying) return;
    s.credit += seconds * s.rate;
    auto due = static_cast<uint64_t>(std::floor(s.credit));
    s.credit -= static_cast<double>(due);
    std::lock_guard lock(mutex_);
    while (due > 0 && !s.buffer.empty()) {
      if ((s.buffer.front() & ed::kControlRateChange) != 0 && !s.rateQueue.empty()) {
        s.rate = s.rateQueue.front();
        s.rateQueue.pop_front();
        ++stats_.rateMarksPlayed;
      }
      s.buffer.pop_front();
      --due;
      ++s.status.pointCount;
      ++stats_.pointsPlayed;
    }
    if (due > 0) {
      // Ran dry: the firmware drops to idle and flags the underflow.
      s.status.playbackState = static_cast<uint8_t>(ed::Playback::kIdle);
      s.status.playbackFlags |= ed::kPlaybackFlagUnderflow;
      s.credit = 0;
      s.rateQueue.clear();
      ++stats_.underflows;
    }
    stats_.rate = s.rate;
    stats_.playbackState = s.status.playbackState;
  };

  auto respond = [&](uint8_t code, uint8_t command) {
    ed::Response r;
    r.response = code;
    r.command = garbleNext_.exchange(false) ? static_cast<uint8_t>(command ^ 0x5A) : command;
    r.status = s.status;
    r.status.bufferFullness = static_cast<uint16_t>(s.buffer.size());
    r.status.pointRate = s.status.PlaybackState() == ed::Playback::kPlaying ? s.rate : 0;
    std::array<uint8_t, ed::kResponseSize> bytes{};
    ed::EncodeResponse(r, bytes);
    if (code != ed::kAck) {
      std::lock_guard lock(mutex_);
      ++stats_.naksSent;
    }
    return SendAll(fd, bytes.data(), bytes.size(), kReadTimeoutMs, cancel) == IoResult::kOk;
  };

  auto readU32 = [&](size_t skip, uint32_t& value) {
    std::array<uint8_t, 6> bytes{};
    if (ReceiveExact(fd, bytes.data(), skip + 4, kReadTimeoutMs, cancel) != IoResult::kOk) {
      return false;
    }
    value = static_cast<uint32_t>(bytes[skip] | bytes[skip + 1] << 8 | bytes[skip + 2] << 16 |
                                  bytes[skip + 3] << 24);
    return true;
  };

  if (!respond(ed::kAck, ed::kPing)) return;
  std::vector<uint8_t> payload;
  while (!quit_) {
    play();
    if (emergencyHeld_ && !s.status.EmergencyStopped()) {
      s.status.lightEngineState = static_cast<uint8_t>(ed::LightEngine::kEmergencyStop);
      s.status.playbackState = static_cast<uint8_t>(ed::Playback::kIdle);
      s.status.playbackFlags |= ed::kPlaybackFlagEmergencyStop;
      s.buffer.clear();
      std::lock_guard lock(mutex_);
      stats_.playbackState = s.status.playbackState;
    }
    if (stalled_) {
      pollfd wait{cancel, POLLIN, 0};
      ::poll(&wait, 1, 5);
      continue;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {cancel, POLLIN, 0}};
    if (::poll(fds, 2, 1) <= 0) continue;
    if ((fds[1].revents & POLLIN) != 0) return;
    uint8_t command = 0;
    const IoResult got = ReceiveExact(fd, &command, 1, kReadTimeoutMs, cancel);
    if (got != IoResult::kOk) {
      std::lock_guard lock(mutex_);
      if (got == IoResult::kClosed) ++stats_.closedByClient;
      return;
    }
    play();
    {
      std::lock_guard lock(mutex_);
      ++stats_.commands[command];
    }
    uint8_t code = ed::kAck;
    const ed::Playback state = s.status.PlaybackState();
    switch (command) {
      case ed::kPrepare:
        if (state != ed::Playback::kIdle || s.status.EmergencyStopped()) {
          code = ed::kNakInvalid;
        } else {
          s.status.playbackState = static_cast<uint8_t>(ed::Playback::kPrepared);
          s.status.playbackFlags &= static_cast<uint16_t>(~ed::kPlaybackFlagUnderflow);
          s.buffer.clear();
          s.status.pointCount = 0;
        }
        break;
      case ed::kBegin:
      case ed::kUpdateRate: {
        uint32_t rate = 0;
        if (!readU32(2, rate)) return;
        if (rate > options_.maxRate || rate == 0) {
          code = ed::kNakInvalid;
        } else if (command == ed::kBegin) {
          if (state != ed::Playback::kPrepared) {
            code = ed::kNakInvalid;
          } else {
            s.rate = rate;
            s.status.playbackState = static_cast<uint8_t>(ed::Playback::kPlaying);
            s.last = steady_clock::now();
            std::lock_guard lock(mutex_);
            ++stats_.begins;
            stats_.rate = rate;
          }
        } else {
          s.rate = rate;
        }
        break;
      }
      case ed::kQueueRate: {
        uint32_t rate = 0;
        if (!readU32(0, rate)) return;
        if (rate > options_.maxRate || rate == 0) {
          code = ed::kNakInvalid;
        } else {
          s.rateQueue.push_back(rate);
        }
        break;
      }
      case ed::kData: {
        std::array<uint8_t, 2> countBytes{};
        if (ReceiveExact(fd, countBytes.data(), 2, kReadTimeoutMs, cancel) != IoResult::kOk) {
          return;
        }
        const size_t count = static_cast<size_t>(countBytes[0] | countBytes[1] << 8);
        payload.resize(count * ed::kPointSize);
        if (count > 0 && ReceiveExact(fd, payload.data(), payload.size(), kReadTimeoutMs, cancel) !=
                             IoResult::kOk) {
          return;
        }
        {
          std::lock_guard lock(mutex_);
          for (size_t k = 0; k < count && written_.size() < options_.keepPoints; ++k) {
            written_.push_back(*ed::ParsePoint(payload, k));
          }
        }
        const int nak = nakNextData_.exchange(0);
        if (nak != 0) {
          code = static_cast<uint8_t>(nak);
        } else if (state == ed::Playback::kIdle) {
          code = ed::kNakInvalid;
        } else if (s.buffer.size() + count > static_cast<size_t>(options_.capacity)) {
          code = ed::kNakInvalid;
          std::lock_guard lock(mutex_);
          ++stats_.overflows;
        } else {
          std::lock_guard lock(mutex_);
          for (size_t k = 0; k < count; ++k) {
            const ed::WirePoint p = *ed::ParsePoint(payload, k);
            s.buffer.push_back(p.control);
            if (received_.size() < options_.keepPoints) received_.push_back(p);
          }
          stats_.pointsReceived += count;
        }
        break;
      }
      case ed::kStop:
        s.status.playbackState = static_cast<uint8_t>(ed::Playback::kIdle);
        s.buffer.clear();
        s.rateQueue.clear();
        break;
      case ed::kEmergencyStop:
      case ed::kEmergencyStopAlt: {
        s.status.lightEngineState = static_cast<uint8_t>(ed::LightEngine::kEmergencyStop);
        s.status.playbackState = static_cast<uint8_t>(ed::Playback::kIdle);
        s.status.playbackFlags |= ed::kPlaybackFlagEmergencyStop;
        s.buffer.clear();
        std::lock_guard lock(mutex_);
        ++stats_.emergencyStops;
        break;
      }
      case ed::kClearEmergencyStop:
        if (emergencyHeld_) {
          code = ed::kNakStop;
          break;
        }
        s.status.lightEngineState = static_cast<uint8_t>(ed::LightEngine::kReady);
        s.status.playbackFlags &= static_cast<uint16_t>(~ed::kPlaybackFlagEmergencyStop);
        break;
      case ed::kPing:
        break;
      case ed::kVersion: {
        std::array<char, 32> version{};
        std::strncpy(version.data(), "stand-in 2", version.size() - 1);
        if (SendAll(fd, version.data(), version.size(), kReadTimeoutMs, cancel) != IoResult::kOk) {
          return;
        }
        continue;
      }
      default:
        // The firmware hangs up on a command it does not know.
        return;
    }
    {
      std::lock_guard lock(mutex_);
      stats_.playbackState = s.status.playbackState;
    }
    if (disconnectAfter_ > 0 && --disconnectAfter_ == 0) {
      disconnectAfter_ = -1;
      return;
    }
    if (!respond(code, command)) return;
  }
}

}  // namespace lumarex::jmlaser::testing
