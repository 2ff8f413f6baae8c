#include "jmlaser/dac_families.h"

#include <cstdlib>
#include <optional>

#include "jmlaser/etherdream_dac.h"
#include "jmlaser/helios_dac.h"
#include "jmlaser/idn_dac.h"
#include "jmlaser/lasercube_dac.h"
#include "jmlaser/virtual_dac.h"

namespace lumarex::jmlaser {

std::string ReadProcessEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

namespace {

// A whole number in [low, high]; nothing for anything else, which leaves the default.
std::optional<long> Number(const std::string& text, long low, long high) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

std::vector<std::unique_ptr<DacFamily>> MakeDacFamilies(const Clock& clock,
                                                        const EnvironmentLookup& environment) {
  std::vector<std::unique_ptr<DacFamily>> families;

  VirtualDacOptions virtualOptions;
  virtualOptions.capturePath = environment("LUMAREX_VIRTUAL_DAC_CAPTURE");
  if (const auto count =
          Number(environment("LUMAREX_VIRTUAL_DACS"), 1, VirtualDacFamily::kMaxDevices)) {
    virtualOptions.count = static_cast<int32_t>(*count);
  }
  families.push_back(std::make_unique<VirtualDacFamily>(clock, std::move(virtualOptions)));

  EtherDreamOptions etherDream;
  etherDream.hosts = ParseEtherDreamHosts(environment("LUMAREX_ETHERDREAM"));
  if (const auto ms = Number(environment("LUMAREX_ETHERDREAM_LISTEN_MS"), 0, 10000)) {
    etherDream.discoveryWindowMs = static_cast<int>(*ms);
  }
  families.push_back(std::make_unique<EtherDreamFamily>(std::move(etherDream)));

  const BroadcastScope broadcast = ParseBroadcastScope(environment("LUMAREX_DAC_BROADCAST"));
  IdnOptions idn;
  idn.hosts = SplitHostList(environment("LUMAREX_IDN"));
  idn.broadcast = broadcast;
  families.push_back(std::make_unique<IdnFamily>(std::move(idn)));

  LaserCubeOptions laserCube;
  laserCube.hosts = SplitHostList(environment("LUMAREX_LASERCUBE"));
  if (const auto port = Number(environment("LUMAREX_LASERCUBE_PORTS"), 1, 65533)) {
    laserCube.alivePort = static_cast<uint16_t>(*port);
    laserCube.commandPort = static_cast<uint16_t>(*port + 1);
    laserCube.dataPort = static_cast<uint16_t>(*port + 2);
  }
  laserCube.broadcast = broadcast;
  families.push_back(std::make_unique<LaserCubeFamily>(std::move(laserCube)));

  HeliosOptions helios;
  const std::string usbBackend = environment("LUMAREX_USB_BACKEND");
  helios.usb = usbBackend.empty() ? MakeLibusbBackend() : LoadUsbBackend(usbBackend);
  families.push_back(std::make_unique<HeliosFamily>(std::move(helios)));

  return families;
}

}  // namespace lumarex::jmlaser
