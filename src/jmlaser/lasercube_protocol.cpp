#include "jmlaser/lasercube_protocol.h"

#include <algorithm>

#include "jmlaser/scan_watchdog.h"

namespace lumarex::jmlaser::lasercube {

namespace {

uint16_t U16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return uint32_t{U16(b, at)} | uint32_t{U16(b, at + 2)} << 16;
}
void Put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  Put16(out, at, static_cast<uint16_t>(v));
  Put16(out, at + 2, static_cast<uint16_t>(v >> 16));
}

constexpr size_t kModelNameAt = 38;

}  // namespace

std::optional<FullInfo> ParseFullInfo(std::span<const uint8_t> d) {
  if (d.size() < kFullInfoSize || d[0] != kGetFullInfo || d[1] != 0) return std::nullopt;
  FullInfo info;
  info.firmwareMajor = d[3];
  info.firmwareMinor = d[4];
  info.outputEnabled = (d[5] & 1) != 0;
  info.rate = U32(d, 10);
  info.maxRate = U32(d, 14);
  info.freeSamples = U16(d, 19);
  info.bufferSize = U16(d, 21);
  info.batteryPercent = d[23];
  info.temperature = static_cast<int8_t>(d[24]);
  info.connectionType = d[25];
  std::copy_n(d.begin() + 26, info.serial.size(), info.serial.begin());
  std::copy_n(d.begin() + 32, info.ipv4.size(), info.ipv4.begin());
  info.modelNumber = d[37];
  for (size_t k = kModelNameAt; k < d.size() && d[k] != 0; ++k) {
    info.modelName.push_back(static_cast<char>(d[k]));
  }
  return info;
}

std::optional<uint16_t> ParseFreeCount(std::span<const uint8_t> d) {
  if (d.size() < 4 || d[0] != kGetFreeCount || d[1] != 0) return std::nullopt;
  return U16(d, 2);
}

bool IsAliveReply(std::span<const uint8_t> d) {
  return d.size() >= 2 && d[0] == kGetAlive && d[1] == 0;
}

std::optional<DataPacket> ParseDataPacket(std::span<const uint8_t> d) {
  if (d.size() < kDataHeaderSize || d[0] != kSampleData || d[1] != 0) return std::nullopt;
  const size_t bytes = d.size() - kDataHeaderSize;
  if (bytes % kSampleSize != 0 || bytes / kSampleSize > kMaxSamplesPerPacket) return std::nullopt;
  DataPacket p;
  p.message = d[2];
  p.frame = d[3];
  for (size_t at = kDataHeaderSize; at < d.size(); at += kSampleSize) {
    p.samples.push_back(
        {U16(d, at), U16(d, at + 2), U16(d, at + 4), U16(d, at + 6), U16(d, at + 8)});
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
