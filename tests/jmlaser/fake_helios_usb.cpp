#include "tests/jmlaser/fake_helios_usb.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace lumarex::jmlaser::testing {

using std::chrono::steady_clock;

FakeHelios::State FakeHelios::Snapshot() const {
  std::lock_guard lock(mutex_);
  return state_;
}

// The frame sent while another played starts when that one's pass ends; until then the DAC
// has no room for another.
bool FakeHelios::Ready() {
  const auto now = steady_clock::now();
  if (waiting_ && now >= playEnd_) {
    playEnd_ = now + waitingLength_;
    waiting_ = false;
  }
  return !waiting_;
}

void FakeHelios::Log(const char* event) const {
  if (logPath_.empty()) return;
  if (std::FILE* file = std::fopen(logPath_.c_str(), "a")) {
    std::fprintf(file, "%s\n", event);
    std::fclose(file);
  }
}

class FakeHeliosHandle final : public UsbDeviceHandle {
 public:
  explicit FakeHeliosHandle(std::shared_ptr<FakeHelios> dac) : dac_(std::move(dac)) {
    std::lock_guard lock(dac_->mutex_);
    ++dac_->state_.handlesOpen;
    dac_->Log("open");
  }
  ~FakeHeliosHandle() override {
    std::lock_guard lock(dac_->mutex_);
    --dac_->state_.handlesOpen;
    dac_->Log("close");
  }
  FakeHeliosHandle(const FakeHeliosHandle&) = delete;
  FakeHeliosHandle& operator=(const FakeHeliosHandle&) = delete;

  UsbResult BulkOut(uint8_t endpoint, std::span<const uint8_t> data, unsigned) override {
    int hangMs = 0;
    {
      std::lock_guard lock(dac_->mutex_);
      hangMs = dac_->state_.hangMs;
      if (hangMs > 0) dac_->Log("hang");
    }
    if (hangMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(hangMs));
      std::lock_guard lock(dac_->mutex_);
      dac_->Log("hang over");
      return UsbResult::kTimeout;
    }
    std::lock_guard lock(dac_->mutex_);
    auto& s = dac_->state_;
    if (s.gone) return UsbResult::kGone;
    if (endpoint != helios::kBulkOut) return UsbResult::kError;
    if (s.stallBulkOut > 0) {
      --s.stallBulkOut;
      halted_ = true;
      return UsbResult::kStall;
    }
    if (halted_) return UsbResult::kStall;
    s.transfers.emplace_back(data.begin(), data.end());
    const auto frame = helios::DecodeFrame(data);
    if (!frame || frame->rate < helios::kMinRate) return UsbResult::kOk;  // the firmware drops it
    s.frames.push_back(*frame);
    if (!dac_->capturePath_.empty()) Capture(*frame);
    const auto length = std::chrono::microseconds(
        int64_t{1000000} * static_cast<int64_t>(frame->points.size()) / frame->rate);
    dac_->Ready();
    if (steady_clock::now() >= dac_->playEnd_) {
      dac_->playEnd_ = steady_clock::now() + length;
    } else {
      dac_->waiting_ = true;
      dac_->waitingLength_ = length;
    }
    return UsbResult::kOk;
  }

  UsbResult InterruptOut(uint8_t endpoint, std::span<const uint8_t> data, unsigned) override {
    std::lock_guard lock(dac_->mutex_);
    auto& s = dac_->state_;
    if (s.gone) return UsbResult::kGone;
    if (endpoint != helios::kControlOut || data.empty()) return UsbResult::kError;
    s.controls.push_back(data[0]);
    auto& reply = dac_->pendingReply_;
    switch (data[0]) {
      case helios::kStop:
        ++s.stops;
        dac_->waiting_ = false;
        dac_->playEnd_ = {};
        break;
      case helios::kShutter:
        s.shutterOpen = data.size() > 1 && data[1] != 0;
        break;
      case helios::kGetStatus: {
        ++s.statusPolls;
        const bool ready = dac_->Ready();
        if (!ready) ++s.busyAnswers;
        reply = {0x83, static_cast<uint8_t>(ready ? 1 : 0)};
        break;
      }
      case helios::kGetFirmware:
        reply = {0x84, static_cast<uint8_t>(s.firmware), static_cast<uint8_t>(s.firmware >> 8),
                 static_cast<uint8_t>(s.firmware >> 16), static_cast<uint8_t>(s.firmware >> 24)};
        break;
      case helios::kGetName:
        reply.assign(helios::kReplySize, 0);
        reply[0] = 0x85;
        std::copy_n(s.name.begin(), std::min<size_t>(s.name.size(), 30), reply.begin() + 1);
        break;
      default:
        break;
    }
    return UsbResult::kOk;
  }

  UsbResult InterruptIn(uint8_t endpoint, std::span<uint8_t> buffer, size_t& received,
                        unsigned) override {
    std::lock_guard lock(dac_->mutex_);
    auto& s = dac_->state_;
    received = 0;
    if (s.gone) return UsbResult::kGone;
    if (endpoint != helios::kControlIn) return UsbResult::kError;
    if (s.stallControlIn > 0) {
      --s.stallControlIn;
      inHalted_ = true;
      return UsbResult::kStall;
    }
    if (inHalted_) return UsbResult::kStall;
    auto& reply = dac_->pendingReply_;
    if (reply.empty()) return UsbResult::kTimeout;
    received = std::min(buffer.size(), reply.size());
    std::copy_n(reply.begin(), received, buffer.begin());
    reply.clear();
    return UsbResult::kOk;
  }

  UsbResult ClearHalt(uint8_t endpoint) override {
    std::lock_guard lock(dac_->mutex_);
    if (dac_->state_.gone) return UsbResult::kGone;
    ++dac_->state_.clearedHalts;
    if (endpoint == helios::kBulkOut) halted_ = false;
    if (endpoint == helios::kControlIn) inHalted_ = false;
    return UsbResult::kOk;
  }

 private:
  // count and rate as u32 LE, then 12-byte points: x, y u16 LE, r, g, b, i, 4 zero bytes.
  void Capture(const helios::DecodedFrame& frame) {
    std::FILE* file = std::fopen(dac_->capturePath_.c_str(), "ab");
    if (file == nullptr) return;
    std::vector<uint8_t> bytes;
    auto u32 = [&](uint32_t v) {
      for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(v >> (8 * k)));
    };
    u32(static_cast<uint32_t>(frame.points.size()));
    u32(frame.rate);
    for (const DacPoint& p : frame.points) {
      bytes.insert(bytes.end(), {static_cast<uint8_t>(p.x), static_cast<uint8_t>(p.x >> 8),
                                 static_cast<uint8_t>(p.y), static_cast<uint8_t>(p.y >> 8), p.r,
                                 p.g, p.b, p.i, 0, 0, 0, 0});
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }

  std::shared_ptr<FakeHelios> dac_;
  bool halted_ = false;
  bool inHalted_ = false;
};

std::shared_ptr<FakeHelios> FakeHeliosUsb::Plug(const std::string& location) {
  std::lock_guard lock(mutex_);
  auto dac = std::make_shared<FakeHelios>();
  devices_.emplace_back(location, dac);
  return dac;
}

void FakeHeliosUsb::Unplug(const std::string& location) {
  std::lock_guard lock(mutex_);
  for (auto& [where, dac] : devices_) {
    if (where == location) dac->Change([](FakeHelios::State& s) { s.gone = true; });
  }
  std::erase_if(devices_, [&](const auto& d) { return d.first == location; });
}

std::vector<std::string> FakeHeliosUsb::List(uint16_t vendor, uint16_t product) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  if (vendor != helios::kVendor || product != helios::kProduct) return out;
  for (const auto& d : devices_) out.push_back(d.first);
  return out;
}

std::unique_ptr<UsbDeviceHandle> FakeHeliosUsb::Open(const std::string& location, int interface,
                                                     int alternate, UsbResult& result) {
  std::lock_guard lock(mutex_);
  for (const auto& [where, dac] : devices_) {
    if (where != location) continue;
    const auto state = dac->Snapshot();
    if (state.gone) break;
    if (state.accessDenied) {
      result = UsbResult::kAccessDenied;
      return nullptr;
    }
    // The Helios streams on interface 0 in alternate setting 1 only.
    if (interface != helios::kInterface || alternate != helios::kAlternate) {
      result = UsbResult::kError;
      return nullptr;
    }
    result = UsbResult::kOk;
    return std::make_unique<FakeHeliosHandle>(dac);
  }
  result = UsbResult::kGone;
  return nullptr;
}

}  // namespace lumarex::jmlaser::testing
