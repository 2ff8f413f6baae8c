#include "jmlaser/virtual_dac.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "jmlaser/frame_slots.h"

namespace lumarex::jmlaser {

namespace {

// Capture record of one frame: u32 LE point count, u32 LE points per second, then the points
// as 12-byte records (x, y u16 LE; r, g, b, i; 4 zero bytes).
class CaptureFile {
 public:
  explicit CaptureFile(const std::string& path) {
    if (!path.empty()) file_ = std::fopen(path.c_str(), "ab");
  }
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;
  ~CaptureFile() {
    if (file_ != nullptr) std::fclose(file_);
  }

  void Append(std::span<const DacPoint> points, int32_t pps) {
    if (file_ == nullptr) return;
    bytes_.resize(8 + points.size() * 12);
    uint8_t* out = bytes_.data();
    PutU32(out, static_cast<uint32_t>(points.size()));
    PutU32(out + 4, static_cast<uint32_t>(pps));
    out += 8;
    for (const DacPoint& p : points) {
      out[0] = static_cast<uint8_t>(p.x);
      out[1] = static_cast<uint8_t>(p.x >> 8);
      out[2] = static_cast<uint8_t>(p.y);
      out[3] = static_cast<uint8_t>(p.y >> 8);
      out[4] = p.r;
      out[5] = p.g;
      out[6] = p.b;
      out[7] = p.i;
      std::memset(out + 8, 0, 4);
      out += 12;
    }
    std::fwrite(bytes_.data(), 1, bytes_.size(), file_);
    // Whoever reads the capture (a test, a viewer) sees each frame as soon as it is taken.
    std::fflush(file_);
  }

 private:
  static void PutU32(uint8_t* out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out[k] = static_cast<uint8_t>(v >> (8 * k));
  }

  std::FILE* file_ = nullptr;
  std::vector<uint8_t> bytes_;
};

class VirtualDacStream final : public DacStream {
 public:
  VirtualDacStream(const Clock& clock, const DeviceInfo& info, const std::string& capturePath)
      : clock_(clock), info_(info), capture_(capturePath) {}

  void Start() override {
    if (started_) return;
    started_ = true;
    slots_.Clear();
  }

  void Stop() override {
    started_ = false;
    slots_.Clear();
  }

  bool IsReady() override {
    if (!started_) return false;
    Advance();
    return !slots_.HasWaiting();
  }

  int32_t Write(std::span<const DacPoint> points, int32_t pps, bool replaceWaiting) override {
    if (!started_) return kJmLaserErrorNotStarted;
    Advance();
    if (slots_.HasWaiting() && !replaceWaiting) return kJmLaserErrorBusy;
    // The capture shows what the program asked for, the timing what the DAC can do.
    capture_.Append(points, pps);
    const int32_t rate = ClampSpeed(info_, pps);
    if (!slots_.current.valid) {
      slots_.current.Assign(points, rate);
      passStartUs_ = NowUs();
    } else {
      slots_.waiting.Assign(points, rate);
    }
    return kJmLaserOk;
  }

 private:
  uint64_t NowUs() const {
    // The millisecond clock wraps after 49 days; track it as a running 64-bit time.
    const uint32_t now = clock_.NowMs();
    if (!clockSeen_) {
      clockSeen_ = true;
      lastMs_ = now;
    }
    elapsedMs_ += static_cast<uint32_t>(now - lastMs_);
    lastMs_ = now;
    return elapsedMs_ * 1000;
  }

  static uint64_t PassUs(const HeldFrame& f) {
    const uint64_t pps = static_cast<uint64_t>(f.pointsPerSecond);
    return (f.points.size() * 1000000ULL + pps - 1) / pps;
  }

  // Plays the frames forward to now: whole passes of the current frame go by; at the end of
  // the pass in which a frame waits, that frame takes over.
  void Advance() {
    if (!slots_.current.valid) return;
    const uint64_t now = NowUs();
    for (;;) {
      const uint64_t pass = PassUs(slots_.current);
      if (now < passStartUs_ + pass) return;
      if (slots_.HasWaiting()) {
        passStartUs_ += pass;
        slots_.Promote();
        continue;
      }
      passStartUs_ += (now - passStartUs_) / pass * pass;
      return;
    }
  }

  const Clock& clock_;
  const DeviceInfo info_;
  CaptureFile capture_;
  FrameSlots slots_;
  bool started_ = false;
  uint64_t passStartUs_ = 0;
  mutable bool clockSeen_ = false;
  mutable uint32_t lastMs_ = 0;
  mutable uint64_t elapsedMs_ = 0;
};

}  // namespace

VirtualDacFamily::VirtualDacFamily(const Clock& clock, VirtualDacOptions options)
    : clock_(clock), options_(std::move(options)) {}

void VirtualDacFamily::Discover(std::vector<DeviceInfo>& devices) {
  const int32_t count = std::clamp(options_.count, 1, kMaxDevices);
  for (int32_t k = 0; k < count; ++k) {
    DeviceInfo info;
    info.name = "Virtual DAC " + std::to_string(k);
    info.friendlyName = k == 0 ? "Lumarex Virtual DAC" : "Lumarex Virtual DAC " + std::to_string(k);
    info.family = this;
    info.locator = k == 0 ? "virtual" : "virtual:" + std::to_string(k);
    info.maxSpeed = kMaxSpeed;
    devices.push_back(std::move(info));
  }
}

std::unique_ptr<DacStream> VirtualDacFamily::Open(const DeviceInfo& device) {
  std::string capture = options_.capturePath;
  if (const size_t colon = device.locator.find(':');
      !capture.empty() && colon != std::string::npos) {
    capture += "." + device.locator.substr(colon + 1);
  }
  return std::make_unique<VirtualDacStream>(clock_, device, capture);
}

}  // namespace lumarex::jmlaser
