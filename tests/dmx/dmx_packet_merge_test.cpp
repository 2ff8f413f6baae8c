// The decoding and merge rules of both protocols, a table of cases each.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dmx/artnet_merger.h"
#include "dmx/artnet_packet.h"
#include "dmx/personality_values.h"
#include "dmx/sacn_merger.h"
#include "dmx/sacn_packet.h"
#include "tests/dmx/dmx_packets.h"

namespace lumarex {
namespace {

using test::ArtDmxFields;
using test::Cid;
using test::SacnFields;

TEST(DmxPackets, ArtDmxIsTakenAsSentAndAnythingElseIgnored) {
  struct Case {
    std::string what;
    std::vector<uint8_t> datagram;
    std::optional<size_t> slots;  // none: ignored
    uint16_t portAddress = 0;
  };
  const auto dmx = [](ArtDmxFields f) { return test::ArtDmxPacket(f); };
  std::vector<uint8_t> shortDatagram = dmx({.slots = std::vector<uint8_t>(10, 7), .length = 512});
  std::vector<uint8_t> tooShort = dmx({});
  tooShort.pop_back();
  std::vector<uint8_t> wrongId = dmx({});
  wrongId[7] = '!';
  std::vector<uint8_t> sync = dmx({});
  StoreU16LE(sync.data() + 8, 0x5200);
  const std::vector<Case> cases = {
      {"two slots", dmx({.portAddress = 5}), 2, 5},
      {"Net and SubUni", dmx({.portAddress = 0x1234, .slots = {1, 2, 3, 4}}), 4, 0x1234},
      {"odd length", dmx({.slots = {1, 2, 3}}), 3},
      {"a full universe", dmx({.slots = std::vector<uint8_t>(512, 1)}), 512},
      {"more than a universe", dmx({.slots = std::vector<uint8_t>(600, 1)}), 512},
      {"Length beyond the datagram", shortDatagram, 10},
      {"Length shorter than the datagram", dmx({.slots = {1, 2, 3, 4}, .length = 2}), 2},
      {"protocol version 15", dmx({.version = 15}), 2},
      {"protocol version 13", dmx({.version = 13}), std::nullopt},
      {"Length 0", dmx({.length = 0}), std::nullopt},
      {"19 bytes", tooShort, std::nullopt},
      {"not Art-Net", wrongId, std::nullopt},
      {"ArtSync", sync, std::nullopt},
      {"an ArtPoll", test::ArtPollPacket(), std::nullopt},
  };
  for (const Case& c : cases) {
    const auto decoded = DecodeArtDmx(c.datagram);
    ASSERT_EQ(decoded.has_value(), c.slots.has_value()) << c.what;
    if (!decoded) continue;
    EXPECT_EQ(decoded->slots.size(), *c.slots) << c.what;
    EXPECT_EQ(decoded->portAddress, c.portAddress) << c.what;
  }
  EXPECT_TRUE(IsArtPoll(test::ArtPollPacket()));
  std::vector<uint8_t> bare = test::ArtPollPacket();
  bare.resize(12);
  EXPECT_TRUE(IsArtPoll(bare)) << "the later fields of an ArtPoll may be missing";
  bare.resize(11);
  EXPECT_FALSE(IsArtPoll(bare));
}

TEST(DmxPackets, OurArtPollReplyListsOneOutputPortOfOurUniverse) {
  ArtPollReplyFields fields;
  fields.ip = {127, 0, 0, 2};
  fields.portAddress = 0x1234;
  fields.shortName = "a short name much longer than seventeen";
  const auto reply = EncodeArtPollReply(fields);
  EXPECT_EQ(ArtnetOpCodeOf(reply), 0x2100);
  EXPECT_EQ(reply[10], 127);
  EXPECT_EQ(reply[13], 2);
  EXPECT_EQ(LoadU16LE(&reply[14]), 6454);
  EXPECT_EQ(reply[18], 0x12) << "NetSwitch";
  EXPECT_EQ(reply[19], 0x03) << "SubSwitch";
  EXPECT_EQ(LoadU16BE(&reply[172]), 1) << "NumPorts";
  EXPECT_EQ(reply[174], 0x80) << "an output port of DMX512";
  EXPECT_EQ(reply[190] & 0x0F, 0x04) << "SwOut";
  EXPECT_EQ(reply[26 + 17], 0) << "the short name ends within its 18 bytes";
}

TEST(DmxPackets, SacnDataPassesEveryCheckOrIsIgnored) {
  const SacnFields good{
      .cid = Cid(1), .priority = 120, .sequence = 9, .universe = 300, .slots = {10, 20, 30}};
  const auto goodBytes = test::SacnPacket(good);
  const auto decoded = DecodeSacnData(goodBytes);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->cid, Cid(1));
  EXPECT_EQ(decoded->priority, 120);
  EXPECT_EQ(decoded->sequence, 9);
  EXPECT_EQ(decoded->universe, 300);
  EXPECT_EQ(std::vector<uint8_t>(decoded->slots.begin(), decoded->slots.end()),
            (std::vector<uint8_t>{10, 20, 30}));
  EXPECT_FALSE(decoded->streamTerminated);

  // One field spoilt at a time: each of the checks a receiver must make.
  struct Spoilt {
    const char* what;
    size_t offset;
    uint8_t value;
  };
  const std::vector<Spoilt> spoilt = {
      {"preamble size", 1, 0x11},     {"post-amble size", 3, 0x01},
      {"packet identifier", 8, 'X'},  {"root vector (extended)", 21, 0x08},
      {"framing vector", 43, 0x01},   {"priority 201", 108, 201},
      {"Preview_Data", 112, 0x80},    {"universe 0", 113, 0x00},
      {"DMP vector", 117, 0x03},      {"address and data type", 118, 0xA2},
      {"first address", 120, 0x01},   {"address increment", 122, 0x02},
      {"START code 0xDD", 125, 0xDD}, {"slots beyond the datagram", 124, 0x05},
  };
  for (const Spoilt& s : spoilt) {
    auto bytes = test::SacnPacket(good);
    if (s.offset == 113) bytes[114] = 0;
    bytes[s.offset] = s.value;
    EXPECT_FALSE(DecodeSacnData(bytes)) << s.what;
  }
  auto universe64000 = test::SacnPacket(good);
  StoreU16BE(&universe64000[113], 64000);
  EXPECT_FALSE(DecodeSacnData(universe64000));
  auto cut = test::SacnPacket(good);
  cut.resize(125);
  EXPECT_FALSE(DecodeSacnData(cut)) << "no START code";

  SacnFields terminated = good;
  terminated.options = 0x40 | 0x20 | 0x1F;  // reserved bits are ignored
  const auto terminatedBytes = test::SacnPacket(terminated);
  const auto end = DecodeSacnData(terminatedBytes);
  ASSERT_TRUE(end);
  EXPECT_TRUE(end->streamTerminated);
  EXPECT_TRUE(end->forceSynchronization);
  EXPECT_EQ(SacnMulticastGroup(300), 0xEFFF012Cu) << "239.255.1.44";
}

TEST(DmxSequence, LateAndDuplicatePacketsAreThoseUpToNineteenBehind) {
  struct Case {
    uint8_t last;
    uint8_t next;
    bool late;
  };
  const std::vector<Case> cases = {
      {10, 11, false},   {10, 10, true},  {10, 9, true},  {10, 247, true},  // -19 across 0
      {10, 246, false},                                                     // -20: a restart
      {255, 0, false},   {250, 5, false}, {0, 237, true}, {0, 236, false},
      {100, 228, false},  // +128 counts as -128: a restart
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SequenceIsLate(c.last, c.next), c.late) << int{c.last} << " -> " << int{c.next};
  }
}

// One packet of a merge scenario and what the merge makes of it.
struct SacnStep {
  uint32_t ms;
  uint8_t source;  // the CID's byte
  uint8_t priority;
  uint8_t sequence;
  uint8_t options;
  std::vector<uint8_t> slots;
  SacnMerger::Verdict verdict;
  std::vector<uint8_t> merged;  // the first slots of the levels afterwards
};

void RunSacn(const char* scenario, const std::vector<SacnStep>& steps) {
  SacnMerger merger;
  for (size_t i = 0; i < steps.size(); ++i) {
    const SacnStep& s = steps[i];
    const auto bytes = test::SacnPacket({.cid = Cid(s.source),
                                         .priority = s.priority,
                                         .sequence = s.sequence,
                                         .options = s.options,
                                         .slots = s.slots});
    const auto data = DecodeSacnData(bytes);
    ASSERT_TRUE(data) << scenario << ", step " << i;
    EXPECT_EQ(merger.Take(*data, s.ms), s.verdict) << scenario << ", step " << i;
    const std::vector<uint8_t> merged(merger.Levels().begin(),
                                      merger.Levels().begin() + s.merged.size());
    EXPECT_EQ(merged, s.merged) << scenario << ", step " << i;
  }
}

TEST(SacnMerge, PrioritySequenceLossTerminationAndHtp) {
  using V = SacnMerger::Verdict;
  RunSacn("the sequence window", {{0, 1, 100, 250, 0, {10}, V::kMerged, {10}},
                                  {10, 1, 100, 250, 0, {11}, V::kLate, {10}},
                                  {20, 1, 100, 240, 0, {12}, V::kLate, {10}},
                                  {30, 1, 100, 5, 0, {13}, V::kMerged, {13}},
                                  {40, 1, 100, 241, 0, {14}, V::kMerged, {14}}});  // -20: a restart
  RunSacn("a higher priority takes over, a lower one only after the loss timeout",
          {{0, 1, 100, 0, 0, {50, 50}, V::kMerged, {50, 50}},
           {100, 2, 150, 0, 0, {20, 0}, V::kMerged, {20, 0}},
           {200, 1, 100, 1, 0, {60, 60}, V::kMerged, {20, 0}},
           {2600, 1, 100, 2, 0, {70, 70}, V::kMerged, {20, 0}},     // 2.5 s: still alive
           {2601, 1, 100, 3, 0, {80, 80}, V::kMerged, {80, 80}}});  // 2.501 s: lost
  RunSacn("equal highest priority merges highest per slot; a lower one does not count",
          {{0, 1, 100, 0, 0, {50, 10, 0}, V::kMerged, {50, 10, 0}},
           {1, 2, 100, 0, 0, {20, 90}, V::kMerged, {50, 90, 0}},
           {2, 3, 90, 0, 0, {255, 255, 255}, V::kMerged, {50, 90, 0}},
           {3, 2, 100, 1, 0, {20}, V::kMerged, {50, 10, 0}}});  // slots left out are 0
  RunSacn("Stream_Terminated loses the source at once and its levels are ignored",
          {{0, 1, 100, 0, 0, {50}, V::kMerged, {50}},
           {1, 2, 200, 0, 0, {10}, V::kMerged, {10}},
           {2, 2, 200, 1, 0x40, {255}, V::kSourceLost, {50}},
           {3, 2, 200, 2, 0x40, {255}, V::kIgnored, {50}},     // its repeats
           {4, 9, 200, 0, 0x40, {255}, V::kIgnored, {50}},     // a stranger's
           {5, 1, 100, 1, 0x40, {0}, V::kSourceLost, {50}}});  // the last: the look holds

  SacnMerger full;
  for (uint8_t n = 1; n <= SacnMerger::kMaxSources; ++n) {
    const auto bytes = test::SacnPacket({.cid = Cid(n), .slots = {n}});
    ASSERT_EQ(full.Take(*DecodeSacnData(bytes), 0), SacnMerger::Verdict::kMerged);
  }
  const auto oneMore = test::SacnPacket({.cid = Cid(99), .slots = {255}});
  EXPECT_EQ(full.Take(*DecodeSacnData(oneMore), 0), SacnMerger::Verdict::kIgnored)
      << "more are ignored";
  EXPECT_EQ(full.Levels()[0], SacnMerger::kMaxSources);
  EXPECT_FALSE(full.Expire(2500));
  EXPECT_FALSE(full.Expire(2501)) << "all lost: the last look holds";
  EXPECT_EQ(full.SourceCount(), 0u);
  EXPECT_TRUE(full.HasSignal());
  EXPECT_EQ(full.Levels()[0], SacnMerger::kMaxSources);
}

TEST(ArtnetMerge, TwoSourcesHtpHeldTenSecondsSequenceOnlyWhenNumbered) {
  using V = ArtnetMerger::Verdict;
  ArtnetMerger merger;
  const auto take = [&merger](ArtnetSourceId from, uint8_t sequence, std::vector<uint8_t> slots,
                              uint32_t ms) {
    const auto bytes = test::ArtDmxPacket(
        {.slots = std::move(slots), .sequence = sequence, .physical = from.physical});
    return merger.Take(from, *DecodeArtDmx(bytes), ms);
  };
  const ArtnetSourceId desk{0x7F000001, 0};
  const ArtnetSourceId deskPort2{0x7F000001, 1};
  const ArtnetSourceId other{0xC0000201, 0};
  EXPECT_EQ(take(desk, 5, {100, 0, 7, 7}, 0), V::kMerged);
  EXPECT_EQ(take(desk, 5, {1, 1}, 10), V::kLate) << "a duplicate";
  EXPECT_EQ(take(desk, 0, {90, 0}, 20), V::kMerged) << "0: not numbered";
  EXPECT_EQ(take(desk, 4, {80, 0}, 30), V::kMerged) << "after 0 nothing is late";
  EXPECT_EQ(take(deskPort2, 0, {0, 200}, 40), V::kMerged) << "another Physical";
  EXPECT_EQ(PersonalityAt(merger.Levels(), 1), (PersonalityValues{80, 200, 7, 7}))
      << "HTP; a short packet sets only its slots";
  EXPECT_EQ(take(other, 0, {255, 255}, 50), V::kIgnored) << "a third source";

  EXPECT_FALSE(merger.Expire(10030));
  EXPECT_TRUE(merger.Expire(10031)) << "the first source is held 10 s";
  EXPECT_EQ(PersonalityAt(merger.Levels(), 1), (PersonalityValues{0, 200, 0, 0}));
  EXPECT_EQ(take(other, 0, {255, 255}, 10032), V::kMerged) << "now there is room";
  EXPECT_FALSE(merger.Expire(30000)) << "both gone: the last look holds";
  EXPECT_EQ(merger.SourceCount(), 0u);
  EXPECT_EQ(PersonalityAt(merger.Levels(), 1), (PersonalityValues{255, 255, 0, 0}));
}

TEST(PersonalityWatch, AnswersOnlyChangesOfItsFourChannels) {
  PersonalityWatch watch(510 - 4);
  DmxLevels levels{};
  EXPECT_FALSE(watch.Changed(levels, false)) << "no levels yet";
  EXPECT_EQ(watch.Changed(levels, true), (PersonalityValues{0, 0, 0, 0})) << "the first";
  EXPECT_FALSE(watch.Changed(levels, true));
  levels[0] = 9;
  EXPECT_FALSE(watch.Changed(levels, true)) << "a channel outside the personality";
  levels[508] = 3;  // channel 509, the last one of address 506
  EXPECT_EQ(watch.Changed(levels, true), (PersonalityValues{0, 0, 0, 3}));
}

}  // namespace
}  // namespace lumarex
