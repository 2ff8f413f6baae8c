#pragma once

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace lumarex::test {

// Whether nothing listens on TCP `port` of loopback (OLA's daemon takes its RPC port there).
inline bool TcpPortFree(int port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool free = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(s);
  return free;
}

// A command's output (standard error too), or none when it failed; never longer than 5 s.
inline std::optional<std::string> CommandOutput(const std::string& command) {
  FILE* pipe = popen(("timeout 5 " + command + " 2>&1").c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char chunk[512];
  while (size_t got = fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, got);
  return pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

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
