#include "jmlaser/etherdream_protocol.h"

#include <gtest/gtest.h>

#include <vector>

#include "jmlaser/etherdream_dac.h"

namespace lumarex::jmlaser::etherdream {
namespace {

TEST(EtherDreamProtocol, ResponsesAndStatusReadLittleEndianAtTheirOffsets) {
  const std::vector<uint8_t> bytes = {'a',  'd',  0,    3,    2,    0,    0x01, 0x02,
                                      0x06, 0x00, 0x00, 0x00, 0x40, 0x06, 0x30, 0x75,
                                      0x00, 0x00, 0x78, 0x56, 0x34, 0x12};
  const auto r = ParseResponse(bytes);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->response, kAck);
  EXPECT_EQ(r->command, kData);
  EXPECT_EQ(r->status.lightEngineState, 3);
  EXPECT_TRUE(r->status.EmergencyStopped());
  EXPECT_EQ(r->status.PlaybackState(), Playback::kPlaying);
  EXPECT_EQ(r->status.lightEngineFlags, 0x0201);
  EXPECT_EQ(r->status.playbackFlags, kPlaybackFlagUnderflow | kPlaybackFlagEmergencyStop);
  EXPECT_EQ(r->status.bufferFullness, 1600);
  EXPECT_EQ(r->status.pointRate, 30000u);
  EXPECT_EQ(r->status.pointCount, 0x12345678u);

  std::vector<uint8_t> again(kResponseSize);
  ASSERT_EQ(EncodeResponse(*r, again), kResponseSize);
  EXPECT_EQ(again, bytes);
}

TEST(EtherDreamProtocol, ShortRecordsAreRefusedNotReadPastTheirEnd) {
  const std::vector<uint8_t> bytes(kBroadcastSize, 1);
  EXPECT_FALSE(ParseResponse(std::span(bytes).first(kResponseSize - 1)));
  EXPECT_FALSE(ParseStatus(std::span(bytes).first(kStatusSize - 1)));
  EXPECT_FALSE(ParseBroadcast(std::span(bytes).first(kBroadcastSize - 1)));
  EXPECT_FALSE(ParsePoint(std::span(bytes).first(kPointSize - 1), 0));
  EXPECT_TRUE(ParsePoint(std::span(bytes).first(kPointSize), 0));
  EXPECT_FALSE(ParsePoint(std::span(bytes).first(2 * kPointSize - 1), 1));
  EXPECT_FALSE(ParsePoint(bytes, SIZE_MAX / kPointSize + 1));  // k * kPointSize wraps to 2
  std::vector<uint8_t> small(kResponseSize - 1);
  EXPECT_EQ(EncodeResponse(Response{}, small), 0u);
}

TEST(EtherDreamProtocol, BroadcastsRoundTripAndNonsenseDatagramsAreIgnored) {
  Broadcast b;
  b.mac = {1, 2, 3, 0xAA, 0xBB, 0xCC};
  b.softwareRevision = 2;
  b.bufferCapacity = 1800;
  b.maxPointRate = 100000;
  b.status.bufferFullness = 12;
  std::vector<uint8_t> bytes(kBroadcastSize + 4, 0xEE);  // later firmware may send more
  ASSERT_EQ(EncodeBroadcast(b, bytes), kBroadcastSize);
  const auto parsed = ParseBroadcast(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->mac, b.mac);
  EXPECT_EQ(parsed->bufferCapacity, 1800);
  EXPECT_EQ(parsed->maxPointRate, 100000u);
  EXPECT_EQ(parsed->status.bufferFullness, 12);

  b.bufferCapacity = 0;
  ASSERT_EQ(EncodeBroadcast(b, bytes), kBroadcastSize);
  EXPECT_FALSE(ParseBroadcast(bytes));
}

TEST(EtherDreamProtocol, CommandsHaveTheFirmwaresLengths) {
  std::vector<uint8_t> out(7);
  EXPECT_EQ(EncodeRateCommand(kBegin, 30000, out), 7u);
  EXPECT_EQ(out, (std::vector<uint8_t>{'b', 0, 0, 0x30, 0x75, 0, 0}));
  EXPECT_EQ(EncodeRateCommand(kQueueRate, 0x01020304, out), 5u);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5),
            (std::vector<uint8_t>{'q', 4, 3, 2, 1}));
  EXPECT_EQ(EncodeDataHeader(0x0102, out), 3u);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 3), (std::vector<uint8_t>{'d', 2, 1}));

  WirePoint p{kControlRateChange, -2, 32767, 1, 2, 3, 4, 5, 6};
  std::vector<uint8_t> point(kPointSize);
  ASSERT_EQ(EncodePoint(p, point), kPointSize);
  EXPECT_EQ(point[2], 0xFE);
  EXPECT_EQ(point[3], 0xFF);
  EXPECT_EQ(ParsePoint(point, 0), p);
}

TEST(EtherDreamProtocol, OurPointsMapToSignedPositionsAndFullScaleColours) {
  const WirePoint centre = ToWirePoint({32768, 32768, 0, 0, 0, 0, {}}, 4);
  EXPECT_EQ(centre.x, 0);
  EXPECT_EQ(centre.y, 0);
  const WirePoint corner = ToWirePoint({0, 65535, 255, 128, 1, 128, {}}, 4);
  EXPECT_EQ(corner.x, -32768);
  EXPECT_EQ(corner.y, 32767);
  EXPECT_EQ(corner.r, 65535);
  EXPECT_EQ(corner.g, 128 * 257);
  EXPECT_EQ(corner.b, 257);
  EXPECT_EQ(corner.i, 128 * 257);
  EXPECT_EQ(corner.control, 0);

  const WirePoint mono = ToWirePoint({0, 0, 255, 0, 0, 85, {}}, 1);
  EXPECT_EQ(mono.r, 85 * 257);
  EXPECT_EQ(mono.g, 85 * 257);
  EXPECT_EQ(mono.b, 85 * 257);
  const WirePoint rgb = ToWirePoint({0, 0, 10, 200, 30, 80, {}}, 3);
  EXPECT_EQ(rgb.i, 200 * 257);
}

TEST(EtherDreamHosts, ListsNamedHostsAndDropsMalformedEntries) {
  EXPECT_EQ(ParseEtherDreamHosts(""), std::vector<std::string>{});
  EXPECT_EQ(ParseEtherDreamHosts(" 10.0.0.5 , dac.local:7000,,:7765,h:0,h:99999,h:x"),
            (std::vector<std::string>{"10.0.0.5", "dac.local:7000"}));
}

}  // namespace
}  // namespace lumarex::jmlaser::etherdream
