// The USB backend that lumarex-cli loads in the tests (LUMAREX_USB_BACKEND): one fake Helios
// at USB location 1-4, named LUMAREX_FAKE_HELIOS_NAME if set, recording its frames to
// LUMAREX_FAKE_HELIOS_CAPTURE and its handles and hangs to LUMAREX_FAKE_HELIOS_LOG if set.
//
// A test in another process works the DAC through the file LUMAREX_FAKE_HELIOS_CONTROL, read
// every 5 ms: "unplug" pulls it off the bus, "plug" plugs a DAC in at the same place again (a
// new device, as after a cable pulled and pushed back in: it knows nothing of the old one's
// state), "hang MS" makes its frame transfers hang for MS milliseconds and then time out.
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "tests/jmlaser/fake_helios_usb.h"

namespace lumarex::jmlaser::testing {
namespace {

constexpr const char* kLocation = "1-4";

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class ControlledBus final : public UsbBackend {
 public:
  ControlledBus() : control_(Setting("LUMAREX_FAKE_HELIOS_CONTROL")) {
    dac_ = PlugIn();
    // The watcher belongs to the bus, which the driver library destroys when it closes; the
    // destructor ends it and joins it.
    if (!control_.empty()) watcher_ = std::thread([this] { Watch(); });
  }
  ~ControlledBus() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    if (watcher_.joinable()) watcher_.join();
  }
  ControlledBus(const ControlledBus&) = delete;
  ControlledBus& operator=(const ControlledBus&) = delete;

  std::vector<std::string> List(uint16_t vendor, uint16_t product) override {
    return usb_.List(vendor, product);
  }
  std::unique_ptr<UsbDeviceHandle> Open(const std::string& location, int interface, int alternate,
                                        UsbResult& result) override {
    return usb_.Open(location, interface, alternate, result);
  }

 private:
  std::shared_ptr<FakeHelios> PlugIn() {
    auto dac = usb_.Plug(kLocation);
    const std::string name = Setting("LUMAREX_FAKE_HELIOS_NAME");
    if (!name.empty()) dac->Change([&](FakeHelios::State& s) { s.name = name; });
    const std::string capture = Setting("LUMAREX_FAKE_HELIOS_CAPTURE");
    if (!capture.empty()) dac->CaptureTo(capture);
    const std::string log = Setting("LUMAREX_FAKE_HELIOS_LOG");
    if (!log.empty()) dac->LogTo(log);
    return dac;
  }

  void Watch() {
    std::string applied;
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(5), [this] { return quit_; })) {
      std::ifstream in(control_);
      const std::string order{std::istreambuf_iterator<char>(in), {}};
      if (order == applied) continue;
      applied = order;
      std::istringstream words(order);
      std::string word;
      words >> word;
      if (word == "unplug" && dac_) {
        usb_.Unplug(kLocation);
        dac_.reset();
      } else if (word == "plug" && !dac_) {
        dac_ = PlugIn();
      } else if (word == "hang" && dac_) {
        int ms = 0;
        words >> ms;
        dac_->Change([ms](FakeHelios::State& s) { s.hangMs = ms; });
      }
    }
  }

  FakeHeliosUsb usb_;
  const std::string control_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::shared_ptr<FakeHelios> dac_;  // the DAC on the bus now, if any
  std::thread watcher_;
};

}  // namespace
}  // namespace lumarex::jmlaser::testing

extern "C" __attribute__((visibility("default"))) lumarex::jmlaser::UsbBackend*
LumarexCreateUsbBackend() {
  return new lumarex::jmlaser::testing::ControlledBus();
}
