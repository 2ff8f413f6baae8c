#include "jmlaser/etherdream_protocol.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace lumarex::jmlaser::etherdream {

namespace {

// Little-endian writes; every encoder checks first that its record fits `out`.
class Writer {
 public:
  explicit Writer(std::span<uint8_t> out) : out_(out) {}
  void U8(uint8_t v) { out_[pos_++] = v; }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  size_t Written() const { return pos_; }

 private:
  std::span<uint8_t> out_;
  size_t pos_ = 0;
};

bool ReadStatus(ByteCursor& c, Status& s) {
  return c.ReadU8(s.protocol) && c.ReadU8(s.lightEngineState) && c.ReadU8(s.playbackState) &&
         c.ReadU8(s.source) && c.ReadU16LE(s.lightEngineFlags) && c.ReadU16LE(s.playbackFlags) &&
         c.ReadU16LE(s.sourceFlags) && c.ReadU16LE(s.bufferFullness) && c.ReadU32LE(s.pointRate) &&
         c.ReadU32LE(s.pointCount);
}

void WriteStatus(Writer& w, const Status& s) {
  w.U8(s.protocol);
  w.U8(s.lightEngineState);
  w.U8(s.playbackState);
  w.U8(s.source);
  w.U16(s.lightEngineFlags);
  w.U16(s.playbackFlags);
  w.U16(s.sourceFlags);
  w.U16(s.bufferFullness);
  w.U32(s.pointRate);
  w.U32(s.pointCount);
}

uint16_t FullScale(uint8_t v) {
  return static_cast<uint16_t>(v * 257);
}

}  // namespace

std::optional<Status> ParseStatus(std::span<const uint8_t> bytes) {
  ByteCursor c(bytes);
  Status out;
  if (!ReadStatus(c, out)) return std::nullopt;
  return out;
}

std::optional<Response> ParseResponse(std::span<const uint8_t> bytes) {
  ByteCursor c(bytes);
  Response out;
  if (!c.ReadU8(out.response) || !c.ReadU8(out.command) || !ReadStatus(c, out.status)) {
    return std::nullopt;
  }
  return out;
}

std::optional<Broadcast> ParseBroadcast(std::span<const uint8_t> bytes) {
  ByteCursor c(bytes);
  Broadcast out;
  if (!c.ReadArray(out.mac) || !c.ReadU16LE(out.hardwareRevision) ||
      !c.ReadU16LE(out.softwareRevision) || !c.ReadU16LE(out.bufferCapacity) ||
      !c.ReadU32LE(out.maxPointRate) || !ReadStatus(c, out.status)) {
    return std::nullopt;
  }
  // A DAC with no buffer or no rate cannot be streamed to; treat the datagram as noise.
  if (out.bufferCapacity < 2 || out.maxPointRate == 0) return std::nullopt;
  return out;
}

std::optional<WirePoint> ParsePoint(std::span<const uint8_t> payload, size_t k) {
  // Any k past the payload is refused before k * kPointSize can wrap.
  ByteCursor c(payload);
  if (k > payload.size() / kPointSize || !c.Skip(k * kPointSize)) return std::nullopt;
  WirePoint p;
  if (!c.ReadU16LE(p.control) || !c.ReadI16LE(p.x) || !c.ReadI16LE(p.y) || !c.ReadU16LE(p.r) ||
      !c.ReadU16LE(p.g) || !c.ReadU16LE(p.b) || !c.ReadU16LE(p.i) || !c.ReadU16LE(p.u1) ||
      !c.ReadU16LE(p.u2)) {
    return std::nullopt;
  }
  return p;
}

size_t EncodeStatus(const Status& status, std::span<uint8_t> out) {
  if (out.size() < kStatusSize) return 0;
  Writer w(out);
  WriteStatus(w, status);
  return w.Written();
}

size_t EncodeResponse(const Response& response, std::span<uint8_t> out) {
  if (out.size() < kResponseSize) return 0;
  Writer w(out);
  w.U8(response.response);
  w.U8(response.command);
  WriteStatus(w, response.status);
  return w.Written();
}

size_t EncodeBroadcast(const Broadcast& b, std::span<uint8_t> out) {
  if (out.size() < kBroadcastSize) return 0;
  Writer w(out);
  for (uint8_t m : b.mac) w.U8(m);
  w.U16(b.hardwareRevision);
  w.U16(b.softwareRevision);
  w.U16(b.bufferCapacity);
  w.U32(b.maxPointRate);
  WriteStatus(w, b.status);
  return w.Written();
}

size_t EncodeRateCommand(uint8_t command, uint32_t rate, std::span<uint8_t> out) {
  const bool queued = command == kQueueRate;
  if (out.size() < (queued ? 5u : 7u)) return 0;
  Writer w(out);
  w.U8(command);
  if (!queued) w.U16(0);  // low water mark: the firmware ignores it
  w.U32(rate);
  return w.Written();
}

size_t EncodeDataHeader(uint16_t count, std::span<uint8_t> out) {
  if (out.size() < kDataHeaderSize) return 0;
  Writer w(out);
  w.U8(kData);
  w.U16(count);
  return w.Written();
}

size_t EncodePoint(const WirePoint& p, std::span<uint8_t> out) {
  if (out.size() < kPointSize) return 0;
  Writer w(out);
  w.U16(p.control);
  w.U16(static_cast<uint16_t>(p.x));
  w.U16(static_cast<uint16_t>(p.y));
  w.U16(p.r);
  w.U16(p.g);
  w.U16(p.b);
  w.U16(p.i);
  w.U16(p.u1);
  w.U16(p.u2);
  return w.Written();
}

WirePoint ToWirePoint(const DacPoint& point, int32_t usedChannels) {
  WirePoint w;
  w.x = static_cast<int16_t>(static_cast<int32_t>(point.x) - 32768);
  w.y = static_cast<int16_t>(static_cast<int32_t>(point.y) - 32768);
  if (usedChannels == 1) {
    w.r = w.g = w.b = w.i = FullScale(point.i);
    return w;
  }
  w.r = FullScale(point.r);
  w.g = FullScale(point.g);
  w.b = FullScale(point.b);
  w.i = usedChannels == 3 ? FullScale(std::max({point.r, point.g, point.b})) : FullScale(point.i);
  return w;
}

}  // namespace lumarex::jmlaser::etherdream
