#include "jmlaser/helios_dac.h"

#include <array>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "jmlaser/frame_slots.h"
#include "jmlaser/helios_protocol.h"
#include "jmlaser/lingering_workers.h"
#include "jmlaser/scan_watchdog.h"
#include "jmlaser/worker_stream.h"

namespace lumarex::jmlaser {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace {

constexpr unsigned kControlTimeoutMs = 16;
constexpr unsigned kReplyTimeoutMs = 32;
constexpr int kIdleMs = 10;
// Transfers that keep failing for this long mean a DAC stalled for good, however few they
// were: a hung DAC lets each frame transfer run into its timeout of up to about a second.
constexpr milliseconds kFailingUntilLost{1000};

// A control message; a stalled endpoint is cleared and the message sent once more.
UsbResult Control(UsbDeviceHandle& usb, std::span<const uint8_t> message) {
  UsbResult r = usb.InterruptOut(helios::kControlOut, message, kControlTimeoutMs);
  if (r == UsbResult::kStall && usb.ClearHalt(helios::kControlOut) == UsbResult::kOk) {
    r = usb.InterruptOut(helios::kControlOut, message, kControlTimeoutMs);
  }
  return r;
}

UsbResult Control(UsbDeviceHandle& usb, uint8_t command, uint8_t argument) {
  const std::array<uint8_t, 2> message{command, argument};
  return Control(usb, message);
}

// Asks a question and reads until its answer: the DAC may still hold answers to earlier
// questions that nobody read.
UsbResult Ask(UsbDeviceHandle& usb, uint8_t command,
              std::array<uint8_t, helios::kReplySize>& reply) {
  const UsbResult sent = Control(usb, command, 0);
  if (sent != UsbResult::kOk) return sent;
  for (int attempt = 0; attempt < 3; ++attempt) {
    size_t got = 0;
    reply.fill(0);
    UsbResult r = usb.InterruptIn(helios::kControlIn, reply, got, kReplyTimeoutMs);
    if (r == UsbResult::kStall) {
      if (usb.ClearHalt(helios::kControlIn) != UsbResult::kOk) return r;
      continue;
    }
    if (r != UsbResult::kOk) return r;
    if (got >= 1 && reply[0] == (command | 0x80)) return UsbResult::kOk;
  }
  return UsbResult::kError;
}

struct Identity {
  std::string name;
  uint32_t firmware = 0;
};

std::optional<Identity> Identify(UsbDeviceHandle& usb) {
  std::array<uint8_t, helios::kReplySize> reply{};
  Identity id;
  if (Ask(usb, helios::kGetFirmware, reply) != UsbResult::kOk) return std::nullopt;
  id.firmware = helios::ParseFirmware(reply).value_or(0);
  if (Ask(usb, helios::kGetName, reply) == UsbResult::kOk) {
    id.name = helios::ParseName(reply).value_or("");
  }
  return id;
}

}  // namespace

std::string HeliosAccessHint(const std::string& location) {
  // The rule line is packaging/60-lumarex-helios.rules word for word; the package test checks
  // that this library carries it.
  return "a Helios DAC is on USB at " + location +
         " but this user may not open it. It needs the udev rule 60-lumarex-helios.rules, "
         "which the Lumarex package installs in /usr/lib/udev/rules.d; without the package, "
         "write /etc/udev/rules.d/60-lumarex-helios.rules with the line\n"
         "  SUBSYSTEM==\"usb\", ATTR{idVendor}==\"1209\", ATTR{idProduct}==\"e500\", "
         "MODE=\"0660\", GROUP=\"plugdev\", TAG+=\"uaccess\"\n"
         "then run 'udevadm control --reload' and plug the DAC in again (a user in group "
         "plugdev, or at the machine's seat, may then open it).";
}

// What the family and its open streams share: which DACs are open (a search must not open
// them a second time) and what each said of itself.
struct HeliosFamily::Shared {
  std::mutex mutex;
  std::set<std::string> open;
  std::map<std::string, Identity> known;
  std::set<std::string> hinted;
};

namespace {

// Everything a Helios stream does, owned jointly by the stream and its worker thread: closing
// must not wait for a transfer that a hung device lets run into its timeout (up to about a
// second for the largest frame), so the worker may finish on its own after the stream has
// gone, adopted by the family (see HeliosStream).
//
// The device counts as lost when a transfer answers that it has gone (unplugged), or when
// transfers keep failing, errorsUntilLost in a row or for kFailingUntilLost (a DAC that
// stalls for good). The worker then lets go of the handle and, while output is started, opens
// the DAC again on the retry schedule; a new handle starts as the first did: stale answers
// flushed, the shutter shut until the next frame opens it.
class HeliosCore final : public WorkerStream {
 public:
  HeliosCore(const DeviceInfo& info, const HeliosOptions& options,
             std::shared_ptr<HeliosFamily::Shared> shared)
      : WorkerStream(info),
        options_(options),
        shared_(std::move(shared)),
        watchdog_(options.watchdogHold) {
    std::lock_guard lock(shared_->mutex);
    shared_->open.insert(info_.locator);
  }

  HeliosCore(const HeliosCore&) = delete;
  HeliosCore& operator=(const HeliosCore&) = delete;

  ~HeliosCore() override {
    std::lock_guard lock(shared_->mutex);
    shared_->open.erase(info_.locator);
  }

  void WaitOpen(milliseconds patience) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, patience, [this] { return connected_ || !connectWanted_; });
  }

  // Answers whether the worker finished within `patience`.
  bool Quit(milliseconds patience) {
    std::unique_lock lock(mutex_);
    quit_ = true;
    wake_.notify_all();
    return changed_.wait_for(lock, patience, [this] { return finished_; });
  }

  bool Finished() {
    std::lock_guard lock(mutex_);
    return finished_;
  }

  // --- worker thread ---------------------------------------------------------------------

  void Run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (!usb_) {
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
      const uint64_t stops = stops_;
      const bool started = started_;
      channels_ = usedChannels_;
      lock.unlock();
      const int sleepMs = Step(started, stops);
      lock.lock();
      if (!usb_) {
        DeviceLost(steady_clock::now());
        continue;
      }
      if (sleepMs > 0) {
        wake_.wait_for(lock, milliseconds(sleepMs), [&] {
          return quit_ || stops != stops_ || started != started_ ||
                 (incoming_.valid && sleepMs >= kIdleMs);
        });
      }
    }
    lock.unlock();
    // Closing darkens the DAC: output stopped, shutter shut.
    if (usb_) {
      Control(*usb_, helios::kStop, 0);
      Control(*usb_, helios::kShutter, 0);
      usb_.reset();
    }
    lock.lock();
    finished_ = true;
    changed_.notify_all();
  }

 private:
  bool Connect() {
    UsbResult result = UsbResult::kError;
    usb_ = options_.usb->Open(info_.locator, helios::kInterface, helios::kAlternate, result);
    if (!usb_) return false;
    // Answers to questions of an earlier session would be read as ours.
    std::array<uint8_t, helios::kReplySize> stale{};
    for (int k = 0; k < 8; ++k) {
      size_t got = 0;
      if (usb_->InterruptIn(helios::kControlIn, stale, got, 1) != UsbResult::kOk) break;
    }
    errors_ = 0;
    framesFailing_ = false;
    shutterOpen_ = false;
    blanked_ = false;
    current_.valid = false;
    watchdog_.Disarm();
    return true;
  }

  // A failed transfer. The DAC is let go (the loop above then opens it again) when it has
  // gone, when errorsUntilLost transfers in a row failed, or when frame transfers have failed
  // for kFailingUntilLost without one getting through, whatever the status answers said.
  void Failed(UsbResult result, bool frame = false) {
    const auto now = steady_clock::now();
    ++errors_;
    if (frame && !framesFailing_) {
      framesFailing_ = true;
      framesFailingSince_ = now;
    }
    if (result == UsbResult::kGone || errors_ >= options_.errorsUntilLost ||
        (frame && now - framesFailingSince_ >= kFailingUntilLost)) {
      usb_.reset();
    }
  }

  void Succeeded(bool frame) {
    errors_ = 0;
    if (frame) framesFailing_ = false;
  }

  UsbResult SendFrame() {
    helios::EncodeFrame(current_.points, current_.pointsPerSecond, channels_, blanked_, 0,
                        transfer_);
    const unsigned timeout = helios::BulkTimeoutMs(transfer_.size());
    UsbResult r = usb_->BulkOut(helios::kBulkOut, transfer_, timeout);
    if (r == UsbResult::kStall) {
      // A stalled frame endpoint is cleared and the frame sent again.
      const UsbResult cleared = usb_->ClearHalt(helios::kBulkOut);
      if (cleared != UsbResult::kOk) return cleared;
      r = usb_->BulkOut(helios::kBulkOut, transfer_, timeout);
    }
    return r;
  }

  int Step(bool started, uint64_t stops) {
    if (stops != stopsSeen_) {
      stopsSeen_ = stops;
      current_.valid = false;
      blanked_ = false;
      watchdog_.Disarm();
      const UsbResult stopped = Control(*usb_, helios::kStop, 0);
      if (stopped != UsbResult::kOk) {
        Failed(stopped);
        return 0;
      }
      Control(*usb_, helios::kShutter, 0);
      shutterOpen_ = false;
    }
    if (!started) return kIdleMs;
    const auto now = steady_clock::now();
    if (current_.valid && !blanked_ && watchdog_.ShouldBlank(now)) {
      // The Helios blanks by stopping its output and shutting its shutter; the next frame
      // opens it again.
      blanked_ = true;
      const UsbResult r = Control(*usb_, helios::kStop, 0);
      if (r != UsbResult::kOk) {
        Failed(r);
        return 0;
      }
      Control(*usb_, helios::kShutter, 0);
      shutterOpen_ = false;
    }
    {
      std::lock_guard lock(mutex_);
      if (!incoming_.valid) return kIdleMs;
    }
    std::array<uint8_t, helios::kReplySize> reply{};
    const UsbResult asked = Ask(*usb_, helios::kGetStatus, reply);
    if (asked != UsbResult::kOk) {
      Failed(asked);
      return options_.statusPollMs;
    }
    Succeeded(false);
    // Only a clear "ready" lets the frame go; the DAC still holds one otherwise.
    if (!helios::ParseStatus(reply).value_or(false)) return options_.statusPollMs;
    TakeIncoming();
    blanked_ = false;
    if (!shutterOpen_) {
      const UsbResult opened = Control(*usb_, helios::kShutter, 1);
      if (opened != UsbResult::kOk) {
        Failed(opened);
        return 0;
      }
      shutterOpen_ = true;
    }
    const UsbResult sent = SendFrame();
    if (sent != UsbResult::kOk) {
      Failed(sent, true);
      return 0;
    }
    Succeeded(true);
    return 0;
  }

  void TakeIncoming() { WorkerStream::TakeIncoming(current_, watchdog_); }

  bool finished_ = false;  // under mutex_

  // --- worker only -------------------------------------------------------------------------
  const HeliosOptions options_;
  std::shared_ptr<HeliosFamily::Shared> shared_;
  std::unique_ptr<UsbDeviceHandle> usb_;
  ScanWatchdog watchdog_;
  HeldFrame current_;
  std::vector<uint8_t> transfer_;
  int32_t channels_ = 4;
  uint64_t stopsSeen_ = 0;
  int errors_ = 0;  // failed transfers in a row
  bool framesFailing_ = false;
  steady_clock::time_point framesFailingSince_;
  bool shutterOpen_ = false;
  bool blanked_ = false;
};

// How long closing waits for the worker to darken the DAC and let go of it.
constexpr milliseconds kCloseWait{15};

class HeliosStream final : public DacStream {
 public:
  // The worker thread belongs to the stream, which joins it at close when it is done within
  // kCloseWait; otherwise the family adopts it (LingeringWorkers), and it ends of itself once
  // its transfer has timed out and it has darkened the DAC, holding the core until then.
  HeliosStream(const DeviceInfo& info, const HeliosOptions& options,
               std::shared_ptr<HeliosFamily::Shared> shared, LingeringWorkers& lingering)
      : core_(std::make_shared<HeliosCore>(info, options, std::move(shared))),
        lingering_(lingering) {
    worker_ = std::thread([core = core_] { core->Run(); });
    core_->WaitOpen(milliseconds(options.openWaitMs));
  }
  HeliosStream(const HeliosStream&) = delete;
  HeliosStream& operator=(const HeliosStream&) = delete;

  ~HeliosStream() override {
    if (core_->Quit(kCloseWait)) {
      worker_.join();
    } else {
      lingering_.Adopt(std::move(worker_), [core = std::weak_ptr<HeliosCore>(core_)] {
        const auto alive = core.lock();
        return !alive || alive->Finished();
      });
    }
  }

  void Start() override { core_->Start(); }
  void Stop() override { core_->Stop(); }
  bool IsReady() override { return core_->IsReady(); }
  int32_t Write(std::span<const DacPoint> points, int32_t pps, bool replaceWaiting) override {
    return core_->Write(points, pps, replaceWaiting);
  }
  void SetUsedColourChannels(int32_t count) override { core_->SetUsedColourChannels(count); }

 private:
  std::shared_ptr<HeliosCore> core_;
  LingeringWorkers& lingering_;  // the family's, which outlives its streams
  std::thread worker_;
};

}  // namespace

HeliosFamily::HeliosFamily(HeliosOptions options)
    : options_(std::move(options)), shared_(std::make_shared<Shared>()) {}

HeliosFamily::~HeliosFamily() {
  // The library is closing: a worker still inside a transfer is waited for here, and ends
  // within that transfer's timeout.
  lingering_.JoinAll();
}

void HeliosFamily::Discover(std::vector<DeviceInfo>& devices) {
  if (!options_.usb) return;
  int number = 0;
  for (const std::string& location : options_.usb->List(helios::kVendor, helios::kProduct)) {
    DeviceInfo d;
    d.name = "Helios " + location;
    d.family = this;
    d.locator = location;
    d.minSpeed = helios::kMinRate;
    d.maxSpeed = helios::kMaxRate;
    std::optional<Identity> id;
    bool inUse = false;
    {
      std::lock_guard lock(shared_->mutex);
      inUse = shared_->open.count(location) != 0;
      if (inUse && shared_->known.count(location) != 0) id = shared_->known[location];
    }
    if (!inUse) {
      UsbResult result = UsbResult::kError;
      auto usb = options_.usb->Open(location, helios::kInterface, helios::kAlternate, result);
      if (usb) id = Identify(*usb);
      if (result == UsbResult::kAccessDenied || result == UsbResult::kBusy) {
        // Listed all the same, never ready, so that the operator sees it and why.
        d.friendlyName =
            result == UsbResult::kAccessDenied ? "Helios no access - udev rule" : "Helios in use";
        std::lock_guard lock(shared_->mutex);
        if (result == UsbResult::kAccessDenied && shared_->hinted.insert(location).second) {
          std::fprintf(stderr, "libjmlaser: %s\n", HeliosAccessHint(location).c_str());
        }
      }
    }
    if (id) {
      std::lock_guard lock(shared_->mutex);
      shared_->known[location] = *id;
      const std::string name = id->name.empty() ? "Helios " + std::to_string(number) : id->name;
      d.friendlyName = DisplaySafe(name + " fw " + std::to_string(id->firmware));
    }
    if (d.friendlyName.empty()) d.friendlyName = "Helios " + std::to_string(number);
    ++number;
    devices.push_back(std::move(d));
  }
}

std::unique_ptr<DacStream> HeliosFamily::Open(const DeviceInfo& device) {
  if (!options_.usb) return nullptr;
  return std::make_unique<HeliosStream>(device, options_, shared_, lingering_);
}

}  // namespace lumarex::jmlaser
