#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jmlaser/jmlaser.h"

// The Helios USB DAC: frames as one bulk transfer, control messages as short interrupt
// transfers. Multi-byte numbers are little-endian.
namespace lumarex::jmlaser::helios {

inline constexpr uint16_t kVendor = 0x1209;
inline constexpr uint16_t kProduct = 0xE500;
inline constexpr int kInterface = 0;
inline constexpr int kAlternate = 1;
inline constexpr uint8_t kBulkOut = 0x02;
inline constexpr uint8_t kBulkIn = 0x81;
inline constexpr uint8_t kControlOut = 0x06;
inline constexpr uint8_t kControlIn = 0x83;

inline constexpr uint8_t kStop = 0x01;
inline constexpr uint8_t kShutter = 0x02;
inline constexpr uint8_t kGetStatus = 0x03;
inline constexpr uint8_t kGetFirmware = 0x04;
inline constexpr uint8_t kGetName = 0x05;

inline constexpr size_t kPointSize = 7;
inline constexpr size_t kTrailerSize = 5;
inline constexpr size_t kMaxPoints = 4095;
inline constexpr int32_t kMinRate = 7;
inline constexpr int32_t kMaxRate = 65535;
inline constexpr size_t kReplySize = 32;

inline constexpr uint8_t kFlagStartNow = 0x01;
inline constexpr uint8_t kFlagPlayOnce = 0x02;

// Bulk transfers may take 8 ms plus 1 ms for every 32 bytes.
inline unsigned BulkTimeoutMs(size_t bytes) {
  return static_cast<unsigned>(8 + (bytes >> 5));
}

// The frame transfer for `points` at `pointsPerSecond` (clamped to 7..65535). A frame of more
// than 4095 points is thinned evenly to 4095 (first and last kept) and its rate lowered to
// keep its length in time. The firmware mishandles a transfer of n points when
// (n - 45) % 64 == 0: one point fewer goes, at a rate scaled to keep the duration. `dark`
// sends every colour 0.
void EncodeFrame(std::span<const DacPoint> points, int32_t pointsPerSecond, int32_t usedChannels,
                 bool dark, uint8_t flags, std::vector<uint8_t>& out);

struct DecodedFrame {
  std::vector<DacPoint> points;  // positions widened back to 16 bits (low 4 bits 0)
  uint16_t rate = 0;
  uint8_t flags = 0;
};
// A transfer as the DAC takes it apart; nullopt when the count does not fit the bytes.
std::optional<DecodedFrame> DecodeFrame(std::span<const uint8_t> transfer);

// Replies on the control endpoint.
std::optional<bool> ParseStatus(std::span<const uint8_t> reply);  // true: takes a frame now
std::optional<uint32_t> ParseFirmware(std::span<const uint8_t> reply);
std::optional<std::string> ParseName(std::span<const uint8_t> reply);

}  // namespace lumarex::jmlaser::helios
