#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jmlaser/jmlaser.h"

// The LaserCube / LaserDock network protocol: single datagrams on three UDP ports, every
// number little-endian. Parsers take whatever came off the network and check every length
// before they read.
namespace lumarex::jmlaser::lasercube {

inline constexpr uint16_t kAlivePort = 45456;
inline constexpr uint16_t kCommandPort = 45457;
inline constexpr uint16_t kDataPort = 45458;

inline constexpr uint8_t kGetAlive = 0x27;
inline constexpr uint8_t kGetFullInfo = 0x77;
inline constexpr uint8_t kEnableBufferReplies = 0x78;
inline constexpr uint8_t kSetOutput = 0x80;
inline constexpr uint8_t kSetRate = 0x82;
inline constexpr uint8_t kGetFreeCount = 0x8A;
inline constexpr uint8_t kClearBuffer = 0x8D;
inline constexpr uint8_t kSampleData = 0xA9;

inline constexpr size_t kFullInfoSize = 64;
inline constexpr size_t kDataHeaderSize = 4;
inline constexpr size_t kSampleSize = 10;
inline constexpr size_t kMaxSamplesPerPacket = 140;
// The cube's network stack holds no more packets than this in one burst.
inline constexpr int kMaxPacketsPerBurst = 20;

struct FullInfo {
  uint8_t firmwareMajor = 0;
  uint8_t firmwareMinor = 0;
  bool outputEnabled = false;
  uint32_t rate = 0;
  uint32_t maxRate = 0;
  uint16_t freeSamples = 0;
  uint16_t bufferSize = 0;
  uint8_t batteryPercent = 0;
  int8_t temperature = 0;
  uint8_t connectionType = 0;
  std::array<uint8_t, 6> serial{};
  std::array<uint8_t, 4> ipv4{};
  uint8_t modelNumber = 0;
  std::string modelName;
};

// One sample as the cube takes it: 12-bit values, positions centred on 2048.
struct Sample {
  uint16_t x = 0;
  uint16_t y = 0;
  uint16_t r = 0;
  uint16_t g = 0;
  uint16_t b = 0;

  friend bool operator==(const Sample&, const Sample&) = default;
};

struct DataPacket {
  uint8_t message = 0;
  uint8_t frame = 0;
  std::vector<Sample> samples;
};

// nullopt unless the datagram is that reply, whole.
std::optional<FullInfo> ParseFullInfo(std::span<const uint8_t> datagram);
std::optional<uint16_t> ParseFreeCount(std::span<const uint8_t> datagram);
bool IsAliveReply(std::span<const uint8_t> datagram);
std::optional<DataPacket> ParseDataPacket(std::span<const uint8_t> datagram);

std::vector<uint8_t> EncodeFullInfo(const FullInfo& info);
std::vector<uint8_t> EncodeFreeCount(uint16_t free);
std::vector<uint8_t> EncodeCommand(uint8_t command);
std::vector<uint8_t> EncodeCommand(uint8_t command, uint8_t argument);
std::vector<uint8_t> EncodeRate(uint32_t pointsPerSecond);
// Appends a whole data packet to `out` (cleared first).
void EncodeDataPacket(uint8_t message, uint8_t frame, std::span<const Sample> samples,
                      std::vector<uint8_t>& out);

// Our point to the cube's: the top 12 bits of each position, 8-bit colours moved up by 4.
Sample ToSample(const DacPoint& point, int32_t usedChannels);

}  // namespace lumarex::jmlaser::lasercube
