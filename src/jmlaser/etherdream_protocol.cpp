#include "jmlaser/etherdream_protocol.h"

#include <algorithm>

namespace lumarex::jmlaser::etherdream {

namespace {

// Little-endian field access at a checked offset; callers check the record's size first.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint8_t U8() { return bytes_[pos_++]; }
  uint16_t U16() {
    const uint16_t v = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    const uint32_t lo = U16();
    const uint32_t hi = U16();
    return lo | (hi << 16);
  }
  std::span<const uint8_t> Rest() const { return bytes_.subspan(pos_); }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

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

Status ReadStatus(Reader& r) {
  Status s;
  s.protocol = r.U8();
  s.lightEngineState = r.U8();
  s.playbackState = r.U8();
  s.source = r.U8();
  s.lightEngineFlags = r.U16();
  s.playbackFlags = r.U16();
  s.sourceFlags = r.U16();
  s.bufferFullness = r.U16();
  s.pointRate = r.U32();
  s.pointCount = r.U32();
  return s;
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
  if (bytes.size() < kStatusSize) return std::nullopt;
  Reader r(bytes);
  return ReadStatus(r);
}

std::optional<Response> ParseResponse(std::span<const uint8_t> bytes) {
  if (bytes.size() < kResponseSize) return std::nullopt;
  Reader r(bytes);
  Response out;
  out.response = r.U8();
  out.command = r.U8();
  out.status = ReadStatus(r);
  return out;
}

std::optional<Broadcast> ParseBroadcast(std::span<const uint8_t> bytes) {
  if (bytes.size() < kBroadcastSize) return std::nullopt;
  Reader r(bytes);
  Broadcast out;
  for (uint8_t& m : out.mac) m = r.U8();
  out.hardwareRevision = r.U16();
  out.softwareRevision = r.U16();
  out.bufferCapacity = r.U16();
  out.maxPointRate = r.U32();
  out.status = ReadStatus(r);
  // A DAC with no buffer or no rate cannot be streamed to; treat the datagram as noise.
  if (out.bufferCapacity < 2 || out.maxPointRate == 0) return std::nullopt;
  return out;
}

std::optional<WirePoint> ParsePoint(std::span<const uint8_t> payload, size_t k) {
  if (k >= payload.size() / kPointSize) return std::nullopt;
  Reader r(payload.subspan(k * kPointSize, kPointSize));
  WirePoint p;
  p.control = r.U16();
  p.x = static_cast<int16_t>(r.U16());
  p.y = static_cast<int16_t>(r.U16());
  p.r = r.U16();
  p.g = r.U16();
  p.b = r.U16();
  p.i = r.U16();
  p.u1 = r.U16();
  p.u2 = r.U16();
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
