#include "jmlaser/lasercube_protocol.h"

#include <algorithm>

#include "jmlaser/scan_watchdog.h"
#include "platform/byte_order.h"

namespace lumarex::jmlaser::lasercube {

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  Put16(out, at, static_cast<uint16_t>(v));
  Put16(out, at + 2, static_cast<uint16_t>(v >> 16));
}

constexpr size_t kModelNameAt = 38;

// A reply starts with the command it answers and a result byte, 0 for success; a data packet
// with its command and a zero byte.
bool ReadHead(ByteCursor& c, uint8_t command) {
  uint8_t answered = 0;
  uint8_t result = 0;
  return c.ReadU8(answered) && c.ReadU8(result) && answered == command && result == 0;
}

}  // namespace

std::optional<FullInfo> ParseFullInfo(std::span<const uint8_t> d) {
  ByteCursor c(d);
  FullInfo info;
  uint8_t output = 0;
  // The name is the rest of the 64-byte record; what a datagram carries behind it is not.
  if (!ReadHead(c, kGetFullInfo) || !c.Skip(1) || !c.ReadU8(info.firmwareMajor) ||
      !c.ReadU8(info.firmwareMinor) || !c.ReadU8(output) || !c.Skip(4) || !c.ReadU32LE(info.rate) ||
      !c.ReadU32LE(info.maxRate) || !c.Skip(1) || !c.ReadU16LE(info.freeSamples) ||
      !c.ReadU16LE(info.bufferSize) || !c.ReadU8(info.batteryPercent) ||
      !c.ReadI8(info.temperature) || !c.ReadU8(info.connectionType) || !c.ReadArray(info.serial) ||
      !c.ReadArray(info.ipv4) || !c.Skip(1) || !c.ReadU8(info.modelNumber) ||
      !c.ReadText(kFullInfoSize - kModelNameAt, info.modelName)) {
    return std::nullopt;
  }
  info.outputEnabled = (output & 1) != 0;
  return info;
}

std::optional<uint16_t> ParseFreeCount(std::span<const uint8_t> d) {
  ByteCursor c(d);
  uint16_t free = 0;
  if (!ReadHead(c, kGetFreeCount) || !c.ReadU16LE(free)) return std::nullopt;
  return free;
}

bool IsAliveReply(std::span<const uint8_t> d) {
  ByteCursor c(d);
  return ReadHead(c, kGetAlive);
}

std::optional<DataPacket> ParseDataPacket(std::span<const uint8_t> d) {
  ByteCursor c(d);
  DataPacket p;
  if (!ReadHead(c, kSampleData) || !c.ReadU8(p.message) || !c.ReadU8(p.frame)) {
    return std::nullopt;
  }
  const size_t bytes = c.Remaining();
  if (bytes % kSampleSize != 0 || bytes / kSampleSize > kMaxSamplesPerPacket) return std::nullopt;
  p.samples.resize(bytes / kSampleSize);
  for (Sample& s : p.samples) {
    if (!c.ReadU16LE(s.x) || !c.ReadU16LE(s.y) || !c.ReadU16LE(s.r) || !c.ReadU16LE(s.g) ||
        !c.ReadU16LE(s.b)) {
      return std::nullopt;
    }
  }
  return p;
}

std::vector<uint8_t> EncodeFullInfo(const FullInfo& info) {
  std::vector<uint8_t> out(kFullInfoSize, 0);
  out[0] = kGetFullInfo;
  out[3] = info.firmwareMajor;
  out[4] = info.firmwareMinor;
  out[5] = info.outputEnabled ? 1 : 0;
  Put32(out, 10, info.rate);
  Put32(out, 14, info.maxRate);
  Put16(out, 19, info.freeSamples);
  Put16(out, 21, info.bufferSize);
  out[23] = info.batteryPercent;
  out[24] = static_cast<uint8_t>(info.temperature);
  out[25] = info.connectionType;
  std::copy(info.serial.begin(), info.serial.end(), out.begin() + 26);
  std::copy(info.ipv4.begin(), info.ipv4.end(), out.begin() + 32);
  out[37] = info.modelNumber;
  // The name ends with a zero byte inside the record.
  const size_t room = kFullInfoSize - kModelNameAt - 1;
  const size_t length = std::min(room, info.modelName.size());
  std::copy_n(info.modelName.begin(), length, out.begin() + kModelNameAt);
  return out;
}

std::vector<uint8_t> EncodeFreeCount(uint16_t free) {
  std::vector<uint8_t> out{kGetFreeCount, 0, 0, 0};
  Put16(out, 2, free);
  return out;
}

std::vector<uint8_t> EncodeCommand(uint8_t command) {
  return {command};
}

std::vector<uint8_t> EncodeCommand(uint8_t command, uint8_t argument) {
  return {command, argument};
}

std::vector<uint8_t> EncodeRate(uint32_t pointsPerSecond) {
  std::vector<uint8_t> out(5, 0);
  out[0] = kSetRate;
  Put32(out, 1, pointsPerSecond);
  return out;
}

void EncodeDataPacket(uint8_t message, uint8_t frame, std::span<const Sample> samples,
                      std::vector<uint8_t>& out) {
  out.assign(kDataHeaderSize + samples.size() * kSampleSize, 0);
  out[0] = kSampleData;
  out[2] = message;
  out[3] = frame;
  size_t at = kDataHeaderSize;
  for (const Sample& s : samples) {
    for (uint16_t v : {s.x, s.y, s.r, s.g, s.b}) {
      Put16(out, at, v);
      at += 2;
    }
  }
}

Sample ToSample(const DacPoint& point, int32_t usedChannels) {
  const Colour8 c = UsedColours(point, usedChannels);
  return {static_cast<uint16_t>(point.x >> 4), static_cast<uint16_t>(point.y >> 4),
          static_cast<uint16_t>(c.r << 4), static_cast<uint16_t>(c.g << 4),
          static_cast<uint16_t>(c.b << 4)};
}

}  // namespace lumarex::jmlaser::lasercube
