#pragma once

#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace lumarex::test {

// A config folder for OLA's daemon (olad): Art-Net on loopback and every other plugin off
// (they would go looking for hardware), owned by "nobody" when we are root, since olad refuses
// to run as root. The folder, or empty (with a failure added) when it could not be made.
inline std::filesystem::path WriteOlaArtnetConfig() {
  std::string pattern = "/tmp/lumarex-olad-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp";
    return {};
  }
  const std::filesystem::path dir = pattern;
  for (const char* plugin :
       {"dummy",   "e131",    "espnet",           "ftdidmx", "gpio",     "karate",   "kinet",
        "milinst", "opendmx", "openpixelcontrol", "osc",     "pathport", "renard",   "sandnet",
        "shownet", "spi",     "stageprofi",       "uartdmx", "usbdmx",   "usbserial"}) {
    std::ofstream(dir / ("ola-" + std::string(plugin) + ".conf")) << "enabled = false\n";
  }
  std::ofstream(dir / "ola-artnet.conf")
      << "enabled = true\nip = 127.0.0.1\nuse_loopback = true\nalways_broadcast = false\n"
         "net = 0\nsubnet = 0\noutput_ports = 1\nshort_name = lumarex test desk\n";
  if (geteuid() == 0) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) {
      ADD_FAILURE() << "no user nobody";
      return dir;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      EXPECT_EQ(chown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    EXPECT_EQ(chown(dir.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  return dir;
}

}  // namespace lumarex::test
