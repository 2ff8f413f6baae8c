#include "jmlaser/helios_protocol.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "jmlaser/scan_watchdog.h"
#include "platform/byte_order.h"

namespace lumarex::jmlaser::helios {

namespace {

// Every control reply starts with the command it answers, its top bit set.
bool ReadReplyHead(ByteCursor& c, uint8_t command) {
  uint8_t answered = 0;
  return c.ReadU8(answered) && answered == (command | 0x80);
}

}  // namespace

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
  // The count stands in the trailer, behind the points it counts.
  if (t.size() < kTrailerSize) return std::nullopt;
  ByteCursor c(t);
  ByteCursor points;
  DecodedFrame f;
  uint16_t count = 0;
  if (!c.Sub(t.size() - kTrailerSize, points) || !c.ReadU16LE(f.rate) || !c.ReadU16LE(count) ||
      !c.ReadU8(f.flags)) {
    return std::nullopt;
  }
  if (size_t{count} * kPointSize != points.Size() || count > kMaxPoints) return std::nullopt;
  f.points.resize(count);
  for (DacPoint& p : f.points) {
    std::array<uint8_t, kPointSize> b{};
    if (!points.ReadArray(b)) return std::nullopt;
    p.x = static_cast<uint16_t>((b[0] << 4 | b[1] >> 4) << 4);
    p.y = static_cast<uint16_t>(((b[1] & 0x0F) << 8 | b[2]) << 4);
    p.r = b[3];
    p.g = b[4];
    p.b = b[5];
    p.i = b[6];
  }
  return f;
}

std::optional<bool> ParseStatus(std::span<const uint8_t> reply) {
  ByteCursor c(reply);
  uint8_t ready = 0;
  if (!ReadReplyHead(c, kGetStatus) || !c.ReadU8(ready)) return std::nullopt;
  return ready != 0;
}

std::optional<uint32_t> ParseFirmware(std::span<const uint8_t> reply) {
  ByteCursor c(reply);
  uint32_t version = 0;
  if (!ReadReplyHead(c, kGetFirmware) || !c.ReadU32LE(version)) return std::nullopt;
  return version;
}

std::optional<std::string> ParseName(std::span<const uint8_t> reply) {
  ByteCursor c(reply);
  std::string name;
  // A reply may come short of its 32 bytes; the name then ends where the reply does.
  if (!ReadReplyHead(c, kGetName) || c.AtEnd() ||
      !c.ReadText(std::min(c.Remaining(), kReplySize - 1), name)) {
    return std::nullopt;
  }
  return name;
}

}  // namespace lumarex::jmlaser::helios
