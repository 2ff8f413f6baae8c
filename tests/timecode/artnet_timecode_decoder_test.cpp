#include "timecode/artnet_timecode_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace lumarex {
namespace {

// What OLA's daemon sent for `ola_timecode -f EBU 01:02:03:04`, as captured on loopback.
const std::vector<uint8_t> kOlaEbu = {0x41, 0x72, 0x74, 0x2d, 0x4e, 0x65, 0x74, 0x00, 0x00, 0x97,
                                      0x00, 0x0e, 0x00, 0x00, 0x04, 0x03, 0x02, 0x01, 0x01};

std::vector<uint8_t> With(std::vector<uint8_t> packet, size_t at, uint8_t value) {
  packet.at(at) = value;
  return packet;
}

// Every field checked once: the rate types, the protocol version, the length, the range of
// each field by rate (drop-frame's skipped numbers too), and what is not an ArtTimeCode.
TEST(ArtnetTimecodeDecoder, TakesArtTimeCodeAndCountsTheRest) {
  ArtnetTimecodeDecoder decoder;
  EXPECT_EQ(decoder.Decode(kOlaEbu), (Timecode{1, 2, 3, 4, TimecodeRate::k25}));

  struct Accepted {
    std::vector<uint8_t> packet;
    Timecode tc;
  };
  std::vector<uint8_t> longer = kOlaEbu;
  longer.push_back(0xAA);
  for (const Accepted& c : {
           Accepted{With(With(kOlaEbu, 18, 0), 14, 23), {1, 2, 3, 23, TimecodeRate::k24}},
           Accepted{With(With(kOlaEbu, 18, 2), 14, 29), {1, 2, 3, 29, TimecodeRate::k2997Drop}},
           Accepted{With(With(kOlaEbu, 18, 3), 17, 23), {23, 2, 3, 4, TimecodeRate::k30}},
           Accepted{With(kOlaEbu, 11, 15), {1, 2, 3, 4, TimecodeRate::k25}},  // a newer ProtVer
           Accepted{With(kOlaEbu, 13, 7), {1, 2, 3, 4, TimecodeRate::k25}},   // another stream
           Accepted{longer, {1, 2, 3, 4, TimecodeRate::k25}},
       }) {
    EXPECT_EQ(decoder.Decode(c.packet), c.tc) << ::testing::PrintToString(c.packet);
  }
  EXPECT_EQ(decoder.Counters().accepted, 7u);

  const std::vector<uint8_t> dropSkipped = With(With(With(kOlaEbu, 18, 2), 14, 0), 15, 0);
  for (const auto& bad : {
           std::vector<uint8_t>(kOlaEbu.begin(), kOlaEbu.end() - 1),  // 18 bytes
           With(kOlaEbu, 11, 13),                                     // ProtVer 13
           With(kOlaEbu, 11, 0),                                      // ProtVer 0
           With(kOlaEbu, 18, 4),                                      // no such type
           With(kOlaEbu, 14, 25),                                     // frame 25 at 25 fps
           With(With(kOlaEbu, 18, 0), 14, 24),                        // frame 24 at 24 fps
           With(kOlaEbu, 15, 60),
           With(kOlaEbu, 16, 60),
           With(kOlaEbu, 17, 24),
           dropSkipped,            // 01:02:00;00 does not exist
           With(kOlaEbu, 7, '!'),  // not the Art-Net ID
           std::vector<uint8_t>(),
       }) {
    EXPECT_FALSE(decoder.Decode(bad)) << ::testing::PrintToString(bad);
  }
  EXPECT_TRUE(decoder.Decode(With(dropSkipped, 15, 1))) << "01:02:01;00 does";
  EXPECT_FALSE(decoder.Decode(With(kOlaEbu, 9, 0x50))) << "an ArtDmx";
  EXPECT_FALSE(decoder.Decode(With(With(kOlaEbu, 8, 0x01), 9, 0x97))) << "the OpCode is LE";

  const ArtnetTimecodeCounters& counters = decoder.Counters();
  EXPECT_EQ(counters.received, 22u);
  EXPECT_EQ(counters.accepted, 8u);
  EXPECT_EQ(counters.ignored, 12u);
  EXPECT_EQ(counters.otherOpCodes, 2u);
}

}  // namespace
}  // namespace lumarex
