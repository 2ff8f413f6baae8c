#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jmlaser/dac_driver.h"
#include "platform/clock.h"

namespace lumarex::jmlaser {

// Reads a setting of the environment; empty when unset.
using EnvironmentLookup = std::function<std::string(const char* name)>;

std::string ReadProcessEnvironment(const char* name);

// Every family of DACs the library drives, in device-list order; the virtual DAC comes first
// so that it is always device 0. Settings:
//   LUMAREX_VIRTUAL_DAC_CAPTURE=PATH      record the virtual DAC's frames (device K >= 1: PATH.K)
//   LUMAREX_VIRTUAL_DACS=N                offer N virtual DACs (1..8, default 1)
//   LUMAREX_ETHERDREAM=host[:port],...    Ether Dream DACs to use without their broadcast
//   LUMAREX_ETHERDREAM_LISTEN_MS=N        how long a search listens for broadcasts (1100)
//   LUMAREX_IDN=host[:port],...           IDN units to ask besides the broadcast scan
//   LUMAREX_LASERCUBE=host,...            LaserCubes to ask besides the broadcast
//   LUMAREX_LASERCUBE_PORTS=N             the cubes' alive port N, command N+1, data N+2, bound
//                                         by the host too (45456: the cubes' own)
//   LUMAREX_USB_BACKEND=PATH              a stand-in for libusb (tests: a fake Helios)
//   LUMAREX_DAC_BROADCAST=if[,if...]|none the interfaces a search broadcasts on (all)
std::vector<std::unique_ptr<DacFamily>> MakeDacFamilies(const Clock& clock,
                                                        const EnvironmentLookup& environment);

}  // namespace lumarex::jmlaser
