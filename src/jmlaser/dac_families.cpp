#include "jmlaser/dac_families.h"

#include <cstdlib>

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

std::vector<std::unique_ptr<DacFamily>> MakeDacFamilies(const Clock& clock,
                                                        const EnvironmentLookup& environment) {
  std::vector<std::unique_ptr<DacFamily>> families;

  VirtualDacOptions virtualOptions;
  virtualOptions.capturePath = environment("LUMAREX_VIRTUAL_DAC_CAPTURE");
  families.push_back(std::make_unique<VirtualDacFamily>(clock, std::move(virtualOptions)));

  EtherDreamOptions etherDream;
  etherDream.hosts = ParseEtherDreamHosts(environment("LUMAREX_ETHERDREAM"));
  const std::string listen = environment("LUMAREX_ETHERDREAM_LISTEN_MS");
  if (!listen.empty()) {
    char* end = nullptr;
    const long ms = std::strtol(listen.c_str(), &end, 10);
    if (end != listen.c_str() && *end == '\0' && ms >= 0 && ms <= 10000) {
      etherDream.discoveryWindowMs = static_cast<int>(ms);
    }
  }
  families.push_back(std::make_unique<EtherDreamFamily>(std::move(etherDream)));

  const BroadcastScope broadcast = ParseBroadcastScope(environment("LUMAREX_DAC_BROADCAST"));
  IdnOptions idn;
  idn.hosts = SplitHostList(environment("LUMAREX_IDN"));
  idn.broadcast = broadcast;
  families.push_back(std::make_unique<IdnFamily>(std::move(idn)));

  LaserCubeOptions laserCube;
  laserCube.hosts = SplitHostList(environment("LUMAREX_LASERCUBE"));
  laserCube.broadcast = broadcast;
  families.push_back(std::make_unique<LaserCubeFamily>(std::move(laserCube)));

  HeliosOptions helios;
  const std::string usbBackend = environment("LUMAREX_USB_BACKEND");
  helios.usb = usbBackend.empty() ? MakeLibusbBackend() : LoadUsbBackend(usbBackend);
  families.push_back(std::make_unique<HeliosFamily>(std::move(helios)));

  return families;
}

}  // namespace lumarex::jmlaser
