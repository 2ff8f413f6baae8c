#include "jmlaser/lasercube_protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumarex::jmlaser::lasercube {
namespace {

TEST(LaserCubeProtocol, FullInfoFieldsStandAtTheirOffsetsAndTheNameEndsWithTheRecord) {
  // Every byte holds its own offset, so that a field read from the wrong place shows.
  std::vector<uint8_t> d(kFullInfoSize + 8);
  for (size_t k = 0; k < d.size(); ++k) d[k] = static_cast<uint8_t>(k);
  d[0] = kGetFullInfo;
  d[1] = 0;
  const auto info = ParseFullInfo(d);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->firmwareMajor, 3);
  EXPECT_EQ(info->firmwareMinor, 4);
  EXPECT_TRUE(info->outputEnabled);
  EXPECT_EQ(info->rate, 0x0D0C0B0Au);
  EXPECT_EQ(info->maxRate, 0x11100F0Eu);
  EXPECT_EQ(info->freeSamples, 0x1413);
  EXPECT_EQ(info->bufferSize, 0x1615);
  EXPECT_EQ(info->batteryPercent, 23);
  EXPECT_EQ(info->temperature, 24);
  EXPECT_EQ(info->connectionType, 25);
  EXPECT_EQ(info->serial, (std::array<uint8_t, 6>{26, 27, 28, 29, 30, 31}));
  EXPECT_EQ(info->ipv4, (std::array<uint8_t, 4>{32, 33, 34, 35}));
  EXPECT_EQ(info->modelNumber, 37);
  // A name without its zero byte stops at the record's end, not at the datagram's.
  ASSERT_EQ(info->modelName.size(), kFullInfoSize - 38);
  EXPECT_EQ(info->modelName.back(), static_cast<char>(kFullInfoSize - 1));

  d[24] = 0xF6;
  EXPECT_EQ(ParseFullInfo(d)->temperature, -10);
  d[1] = 1;  // a failed request
  EXPECT_FALSE(ParseFullInfo(d));
}

}  // namespace
}  // namespace lumarex::jmlaser::lasercube
