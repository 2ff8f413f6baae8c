// Writes the seeds of fuzz_dmx_packet: a few valid exchanges in its input format (a protocol
// byte, then per datagram a time step, a 2-byte length and the bytes).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/dmx/dmx_packets.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Record {
  uint8_t step;
  Bytes datagram;
};

Bytes Seed(uint8_t protocol, const std::vector<Record>& records) {
  Bytes out{protocol};
  for (const Record& r : records) {
    out.push_back(r.step);
    out.push_back(static_cast<uint8_t>(r.datagram.size() >> 8));
    out.push_back(static_cast<uint8_t>(r.datagram.size()));
    out.insert(out.end(), r.datagram.begin(), r.datagram.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_dmx_seeds FOLDER\n");
    return 2;
  }
  namespace t = lumarex::test;
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const auto write = [&folder](const std::string& name, const Bytes& bytes) {
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  };
  write("artnet_two_sources",
        Seed(0, {{0, t::ArtDmxPacket({.slots = {2, 255, 25, 255}, .sequence = 1})},
                 {1, t::ArtDmxPacket({.slots = {0, 0, 0, 128, 9}, .sequence = 7, .physical = 1})},
                 {0, t::ArtDmxPacket({.slots = {2, 255, 25, 255}, .sequence = 1})},
                 {220, t::ArtDmxPacket({.slots = {1, 0, 0, 0}, .sequence = 2})}}));
  write("artnet_poll", Seed(2, {{0, t::ArtPollPacket()}}));
  write("artnet_full_universe",
        Seed(4, {{0, t::ArtDmxPacket(
                         {.portAddress = 0x0123, .slots = std::vector<uint8_t>(512, 200)})}}));
  write(
      "sacn_priority_and_termination",
      Seed(1,
           {{0, t::SacnPacket({.cid = t::Cid(1), .slots = {1, 255, 30, 255}})},
            {1, t::SacnPacket({.cid = t::Cid(2), .priority = 150, .slots = {2, 255, 25, 0}})},
            {1, t::SacnPacket({.cid = t::Cid(2), .priority = 150, .sequence = 1, .options = 0x40})},
            {60, t::SacnPacket({.cid = t::Cid(1), .sequence = 1, .slots = {1, 0, 0, 9}})}}));
  write("sacn_full_universe",
        Seed(3, {{0, t::SacnPacket({.cid = t::Cid(3),
                                    .universe = 63999,
                                    .slots = std::vector<uint8_t>(512, 77)})}}));
  return 0;
}
