#include "dmx/dmx_input.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "dmx/artnet_merger.h"
#include "dmx/dmx_personality.h"
#include "dmx/local_interfaces.h"
#include "dmx/personality_values.h"
#include "dmx/poll_reply_queue.h"
#include "dmx/sacn_merger.h"
#include "dmx/udp_socket.h"
#include "platform/clock.h"

namespace lumarex {
namespace {

constexpr uint16_t kArtnetDefaultUniverse = 0;
constexpr uint16_t kSacnDefaultUniverse = 1;
// How often the thread wakes without datagrams, to lose silent sources in time.
constexpr int kHousekeepingMs = 100;
// Datagrams taken from one socket before the others get their turn.
constexpr int kBurst = 64;
// More than a full sACN packet (638 bytes) or ArtDmx (530 bytes).
constexpr size_t kDatagramBuffer = 1500;

struct AtomicCounters {
  std::atomic<uint64_t> received{0};
  std::atomic<uint64_t> accepted{0};
  std::atomic<uint64_t> ignored{0};

  DmxProtocolCounters Load() const {
    return {received.load(std::memory_order_relaxed), accepted.load(std::memory_order_relaxed),
            ignored.load(std::memory_order_relaxed)};
  }
  void Count(bool taken) {
    received.fetch_add(1, std::memory_order_relaxed);
    (taken ? accepted : ignored).fetch_add(1, std::memory_order_relaxed);
  }
};

}  // namespace

struct DmxInput::Impl {
  Impl(ControlRegistry& r, UiDispatcher& d, const DmxInputOptions& o)
      : registry(r),
        dispatcher(d),
        options(o),
        artnetWatch(o.address),
        sacnWatch(o.address),
        replies(std::random_device{}()) {}
  ~Impl() {
    if (wake >= 0) close(wake);
  }

  bool Open(std::string& error);
  // The receiving thread's loop: the thread is the Impl's, told to end through `stop` and
  // `wake`, and joined in ~DmxInput.
  void Run();
  void TakeArtnet(std::span<const uint8_t> datagram, const UdpSocket::Received& r, uint32_t now);
  void TakeSacn(std::span<const uint8_t> datagram, uint32_t now);
  void SendReplies(uint32_t now);
  void PostChanges();

  // --- User-interface thread ---
  ControlRegistry& registry;
  UiDispatcher& dispatcher;
  std::optional<DmxPersonality> artnetPersonality;
  std::optional<DmxPersonality> sacnPersonality;
  // Posted values find the input gone through this.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  // --- Set before the thread starts, then the receiving thread's ---
  const DmxInputOptions options;
  uint16_t artnetUniverse = kArtnetDefaultUniverse;
  uint16_t sacnUniverse = kSacnDefaultUniverse;
  uint32_t nodeIp = 0;
  uint32_t sacnInterfaceIp = 0;
  UdpSocket artnetAny;
  UdpSocket artnetNode;
  UdpSocket sacn;
  int wake = -1;
  std::atomic<bool> stop{false};
  SteadyClock clock;
  ArtnetMerger artnetMerger;
  SacnMerger sacnMerger;
  PersonalityWatch artnetWatch;
  PersonalityWatch sacnWatch;
  PollReplyQueue replies;
  uint32_t replyCount = 0;
  std::thread thread;

  // --- Any thread ---
  AtomicCounters artnetCounters;
  AtomicCounters sacnCounters;
  std::atomic<uint64_t> pollReplies{0};
};

bool DmxInput::Impl::Open(std::string& error) {
  if (options.artnet) {
    artnetAny = UdpSocket::Open({0, options.artnetPort}, error);
    if (!artnetAny.Valid() || !artnetAny.EnableBroadcast(error)) return false;
    if (nodeIp != 0) {
      artnetNode = UdpSocket::Open({nodeIp, options.artnetPort}, error);
      if (!artnetNode.Valid() || !artnetNode.EnableBroadcast(error)) return false;
    }
  }
  if (options.sacn) {
    sacn = UdpSocket::Open({0, options.sacnPort}, error);
    if (!sacn.Valid() ||
        !sacn.JoinGroup(SacnMulticastGroup(sacnUniverse), sacnInterfaceIp, error)) {
      return false;
    }
  }
  wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    error = "eventfd failed";
    return false;
  }
  return true;
}

void DmxInput::Impl::Run() {
  std::array<uint8_t, kDatagramBuffer> buffer{};
  std::vector<pollfd> fds{{wake, POLLIN, 0}};
  for (const UdpSocket* s : {&artnetAny, &artnetNode, &sacn}) {
    if (s->Valid()) fds.push_back({s->Fd(), POLLIN, 0});
  }
  while (!stop.load()) {
    int timeout = kHousekeepingMs;
    if (const auto wait = replies.WaitMs(clock.NowMs())) {
      timeout = std::min(timeout, static_cast<int>(*wait));
    }
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) return;
    if (fds[0].revents & POLLIN) return;
    for (UdpSocket* s : {&artnetAny, &artnetNode, &sacn}) {
      if (!s->Valid()) continue;
      for (int n = 0; n < kBurst; ++n) {
        const auto received = s->Receive(buffer);
        if (!received) break;
        const std::span<const uint8_t> datagram(buffer.data(), received->size);
        const uint32_t now = clock.NowMs();
        if (s == &sacn) {
          TakeSacn(datagram, now);
        } else {
          TakeArtnet(datagram, *received, now);
        }
      }
    }
    const uint32_t now = clock.NowMs();
    artnetMerger.Expire(now);
    sacnMerger.Expire(now);
    SendReplies(now);
    // After the whole burst: a desk's packets that came together make one post.
    PostChanges();
  }
}

void DmxInput::Impl::TakeArtnet(std::span<const uint8_t> datagram, const UdpSocket::Received& r,
                                uint32_t now) {
  if (IsArtPoll(datagram)) {
    replies.Schedule(r.from, r.localIp, now);
    artnetCounters.Count(true);
    return;
  }
  const auto dmx = DecodeArtDmx(datagram);
  const bool ours = dmx && dmx->portAddress == artnetUniverse;
  artnetCounters.Count(ours && artnetMerger.Take({r.from.ip, dmx->physical}, *dmx, now) ==
                                   ArtnetMerger::Verdict::kMerged);
}

void DmxInput::Impl::TakeSacn(std::span<const uint8_t> datagram, uint32_t now) {
  const auto data = DecodeSacnData(datagram);
  bool taken = false;
  if (data && data->universe == sacnUniverse) {
    const auto verdict = sacnMerger.Take(*data, now);
    taken = verdict == SacnMerger::Verdict::kMerged || verdict == SacnMerger::Verdict::kSourceLost;
  }
  sacnCounters.Count(taken);
}

void DmxInput::Impl::SendReplies(uint32_t now) {
  for (const PollReplyQueue::Reply& due : replies.TakeDue(now)) {
    ArtPollReplyFields fields;
    const uint32_t ip = nodeIp != 0 ? nodeIp : due.localIp;
    for (size_t i = 0; i < 4; ++i) fields.ip[i] = static_cast<uint8_t>(ip >> (24 - 8 * i));
    fields.portAddress = artnetUniverse;
    fields.shortName = "Lumarex";
    fields.longName = "Lumarex laser show player";
    fields.replyCount = ++replyCount;
    // A poller on this computer shares our port, and a unicast to it would land in whichever
    // of the sockets on the port was bound last (ours, as likely as not): a broadcast on its
    // network reaches them all.
    UdpEndpoint to = due.poller;
    if (const auto broadcast = LocalBroadcastFor(due.poller.ip)) to.ip = *broadcast;
    UdpSocket& out = artnetNode.Valid() ? artnetNode : artnetAny;
    if (out.SendTo(to, EncodeArtPollReply(fields))) {
      pollReplies.fetch_add(1, std::memory_order_relaxed);
    }
  }
}

void DmxInput::Impl::PostChanges() {
  const auto post = [this](bool artnet, const PersonalityValues& values) {
    dispatcher.Post([this, alive = alive, artnet, values] {
      if (!*alive) return;
      (artnet ? artnetPersonality : sacnPersonality)->Apply(values);
    });
  };
  if (const auto v = artnetWatch.Changed(artnetMerger.Levels(), artnetMerger.HasSignal())) {
    post(true, *v);
  }
  if (const auto v = sacnWatch.Changed(sacnMerger.Levels(), sacnMerger.HasSignal())) {
    post(false, *v);
  }
}

std::unique_ptr<DmxInput> DmxInput::Start(ControlRegistry& registry, UiDispatcher& dispatcher,
                                          const DmxInputOptions& options, std::string& error) {
  if (!options.artnet && !options.sacn) {
    error = "neither Art-Net nor sACN is switched on";
    return nullptr;
  }
  if (options.address < 1 || options.address > kMaxStartAddress) {
    error = "the DMX start address must lie in 1.." + std::to_string(kMaxStartAddress);
    return nullptr;
  }
  auto impl = std::make_unique<Impl>(registry, dispatcher, options);
  if (options.artnet) {
    impl->artnetUniverse = options.universe.value_or(kArtnetDefaultUniverse);
    if (impl->artnetUniverse > kArtnetMaxPortAddress) {
      error = "an Art-Net Port-Address lies in 0..32767";
      return nullptr;
    }
  }
  if (options.sacn) {
    impl->sacnUniverse = options.universe.value_or(kSacnDefaultUniverse);
    if (impl->sacnUniverse < kSacnMinUniverse || impl->sacnUniverse > kSacnMaxUniverse) {
      error = "an sACN universe lies in 1..63999";
      return nullptr;
    }
  }
  const auto address = [&error](const std::string& text, const char* what, uint32_t& ip) {
    if (text.empty()) return true;
    const auto parsed = ParseIpv4(text);
    if (!parsed) error = std::string(what) + " is no IPv4 address: " + text;
    ip = parsed.value_or(0);
    return parsed.has_value();
  };
  if (!address(options.artnetNodeAddress, "the Art-Net node address", impl->nodeIp) ||
      !address(options.sacnInterface, "the sACN interface", impl->sacnInterfaceIp) ||
      !impl->Open(error)) {
    return nullptr;
  }
  if (options.artnet) impl->artnetPersonality.emplace(registry, CommandSource::kArtnet);
  if (options.sacn) impl->sacnPersonality.emplace(registry, CommandSource::kSacn);
  impl->thread = std::thread([raw = impl.get()] { raw->Run(); });
  return std::unique_ptr<DmxInput>(new DmxInput(std::move(impl)));
}

DmxInput::DmxInput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DmxInput::~DmxInput() {
  *impl_->alive = false;
  impl_->stop = true;
  const uint64_t one = 1;
  if (write(impl_->wake, &one, sizeof one) < 0) {
    // Then the thread sees `stop` at its next housekeeping wake-up instead.
  }
  impl_->thread.join();
}

DmxCounters DmxInput::Counters() const {
  return {impl_->artnetCounters.Load(), impl_->sacnCounters.Load(),
          impl_->pollReplies.load(std::memory_order_relaxed)};
}

}  // namespace lumarex
