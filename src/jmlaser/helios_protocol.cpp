#include "jmlaser/helios_protocol.h"

#include <algorithm>
#include <cmath>

#include "jmlaser/scan_watchdog.h"

namespace lumarex::jmlaser::helios {

void EncodeFrame(std::span<const DacPoint> points, int32_t pointsPerSecond, int32_t usedChannels,
                 bool dark, uint8_t flags, std::vector<uint8_t>& out) {
  out.clear();
  const size_t n = points.size();
  if (n == 0) return;
  double rate = std::clamp(pointsPerSecond, kMinRate, kMaxRate);
  const size_t mapped = std::min(n, kMaxPoints);
  if (mapped < n) rate = rate * static_cast<double>(mapped) / static_cast<double>(n);
  size_t count = mapped;
  // The firmware quirk: the last point stays behind.
  if (count > 1 && (static_cast<int64_t>(count) - 45) % 64 == 0) {
    rate = rate * static_cast<double>(count - 1) / static_cast<double>(count);
    --count;
  }
  const auto wireRate =
      static_cast<uint16_t>(std::clamp<long>(std::lround(rate), kMinRate, kMaxRate));
  out.reserve(count * kPointSize + kTrailerSize);
  for (size_t k = 0; k < count; ++k) {
    // Evenly through the frame; without thinning, point k itself.
    const size_t at = mapped == n ? k : (k * (n - 1) + (mapped - 1) / 2) / (mapped - 1);
    const DacPoint& p = points[at];
    const unsigned x = p.x >> 4;
    const unsigned y = p.y >> 4;
    const Colour8 c = dark ? Colour8{} : UsedColours(p, usedChannels);
    out.push_back(static_cast<uint8_t>(x >> 4));
    out.push_back(static_cast<uint8_t>((x & 0x0F) << 4 | y >> 8));
    out.push_back(static_cast<uint8_t>(y & 0xFF));
    out.insert(out.end(), {c.r, c.g, c.b, c.i});
  }
  out.push_back(static_cast<uint8_t>(wireRate));
  out.push_back(static_cast<uint8_t>(wireRate >> 8));
  out.push_back(static_cast<uint8_t>(count));
  out.push_back(static_cast<uint8_t>(count >> 8));
  out.push_back(flags);
}

std::optional<DecodedFrame> DecodeFrame(std::span<const uint8_t> t) {
  if (t.size() < kTrailerSize) return std::nullopt;
  const auto trailer = t.subspan(t.size() - kTrailerSize);
  const size_t count = static_cast<size_t>(trailer[2] | trailer[3] << 8);
  if (count * kPointSize != t.size() - kTrailerSize || count > kMaxPoints) return std::nullopt;
  DecodedFrame f;
  f.rate = static_cast<uint16_t>(trailer[0] | trailer[1] << 8);
  f.flags = trailer[4];
  f.points.reserve(count);
  for (size_t k = 0; k < count; ++k) {
    const auto b = t.subspan(k * kPointSize, kPointSize);
    DacPoint p;
    p.x = static_cast<uint16_t>((b[0] << 4 | b[1] >> 4) << 4);
    p.y = static_cast<uint16_t>(((b[1] & 0x0F) << 8 | b[2]) << 4);
    p.r = b[3];
    p.g = b[4];
    p.b = b[5];
    p.i = b[6];
    f.points.push_back(p);
  }
  return f;
}

std::optional<bool> ParseStatus(std::span<const uint8_t> reply) {
  if (reply.size() < 2 || reply[0] != 0x83) return std::nullopt;
  return reply[1] != 0;
}

std::optional<uint32_t> ParseFirmware(std::span<const uint8_t> reply) {
  if (reply.size() < 5 || reply[0] != 0x84) return std::nullopt;
  return uint32_t{reply[1]} | uint32_t{reply[2]} << 8 | uint32_t{reply[3]} << 16 |
         uint32_t{reply[4]} << 24;
}

std::optional<std::string> ParseName(std::span<const uint8_t> reply) {
  if (reply.size() < 2 || reply[0] != 0x85) return std::nullopt;
  std::string name;
  for (size_t k = 1; k < std::min<size_t>(reply.size(), kReplySize) && reply[k] != 0; ++k) {
    name.push_back(static_cast<char>(reply[k]));
  }
  return name;
}

}  // namespace lumarex::jmlaser::helios
