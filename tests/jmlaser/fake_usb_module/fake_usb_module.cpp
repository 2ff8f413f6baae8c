// The USB backend that lumarex-cli loads in the tests (LUMAREX_USB_BACKEND): one fake Helios
// at USB location 1-4, named LUMAREX_FAKE_HELIOS_NAME if set, recording its frames to
// LUMAREX_FAKE_HELIOS_CAPTURE if set.
#include <cstdlib>

#include "tests/jmlaser/fake_helios_usb.h"

extern "C" __attribute__((visibility("default"))) lumarex::jmlaser::UsbBackend*
LumarexCreateUsbBackend() {
  auto* usb = new lumarex::jmlaser::testing::FakeHeliosUsb();
  const auto dac = usb->Plug("1-4");
  if (const char* name = std::getenv("LUMAREX_FAKE_HELIOS_NAME")) {
    dac->Change([&](lumarex::jmlaser::testing::FakeHelios::State& s) { s.name = name; });
  }
  if (const char* capture = std::getenv("LUMAREX_FAKE_HELIOS_CAPTURE")) dac->CaptureTo(capture);
  return usb;
}
