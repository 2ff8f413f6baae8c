#include "jmlaser/idn_protocol.h"

#include <algorithm>

#include "jmlaser/scan_watchdog.h"
#include "platform/byte_order.h"

namespace lumarex::jmlaser::idn {

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v >> 16));
  Put16(out, static_cast<uint16_t>(v));
}
void Set16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v >> 8);
  out[at + 1] = static_cast<uint8_t>(v);
}

void PutText(std::vector<uint8_t>& out, const std::string& text, size_t size) {
  for (size_t k = 0; k < size; ++k) {
    out.push_back(k < text.size() ? static_cast<uint8_t>(text[k]) : uint8_t{0});
  }
}

// The channel's sample layout, four words of tags: X and Y with 16-bit precision, then red,
// green, blue and intensity.
constexpr std::array<uint16_t, 8> kTags = {kTagX,   kTagPrecision, kTagY,    kTagPrecision,
                                           kTagRed, kTagGreen,     kTagBlue, kTagIntensity};

bool ReadHeader(ByteCursor& c, PacketHeader& h) {
  return c.ReadU8(h.command) && c.ReadU8(h.flags) && c.ReadU16BE(h.sequence);
}

// Bounds for a projector that takes arbitrary input: no frame grows beyond this.
constexpr size_t kMaxFrameBytes = size_t{1} << 22;

}  // namespace

std::optional<PacketHeader> ParseHeader(std::span<const uint8_t> datagram) {
  ByteCursor c(datagram);
  PacketHeader h;
  if (!ReadHeader(c, h)) return std::nullopt;
  return h;
}

std::optional<ScanReply> ParseScanReply(std::span<const uint8_t> d) {
  ByteCursor c(d);
  PacketHeader header;
  if (!ReadHeader(c, header) || header.command != kScanResponse) return std::nullopt;
  // The record says its own size; later versions may add fields behind ours.
  uint8_t size = 0;
  ScanReply out;
  if (!c.ReadU8(size) || size < kScanReplySize || !c.ReadU8(out.protocolVersion) ||
      !c.ReadU8(out.status) || !c.Skip(1) || !c.ReadArray(out.unitId) ||
      !c.ReadText(kNameSize, out.hostName)) {
    return std::nullopt;
  }
  return out;
}

std::optional<ServiceMap> ParseServiceMap(std::span<const uint8_t> d) {
  ByteCursor c(d);
  PacketHeader header;
  if (!ReadHeader(c, header) || header.command != kServiceMapResponse) return std::nullopt;
  uint8_t headerSize = 0;
  uint8_t entrySize = 0;
  uint8_t relays = 0;
  uint8_t services = 0;
  if (!c.ReadU8(headerSize) || !c.ReadU8(entrySize) || !c.ReadU8(relays) || !c.ReadU8(services)) {
    return std::nullopt;
  }
  // Header and entries say their own sizes, so that later versions may widen both.
  if (headerSize < 4 || entrySize < kServiceEntrySize || !c.Skip(headerSize - 4u)) {
    return std::nullopt;
  }
  ServiceMap out;
  for (size_t k = 0; k < size_t{relays} + services; ++k) {
    ByteCursor entry;
    ServiceEntry e;
    if (!c.Sub(entrySize, entry) || !entry.ReadU8(e.serviceId) || !entry.ReadU8(e.serviceType) ||
        !entry.ReadU8(e.flags) || !entry.ReadU8(e.relayNumber) ||
        !entry.ReadText(kNameSize, e.name)) {
      return std::nullopt;
    }
    (k < relays ? out.relays : out.services).push_back(std::move(e));
  }
  return out;
}

std::vector<uint8_t> EncodeRequest(uint8_t command, uint16_t sequence) {
  std::vector<uint8_t> out{command, 0};
  Put16(out, sequence);
  return out;
}

std::vector<uint8_t> EncodeScanReply(const ScanReply& reply, uint16_t sequence) {
  std::vector<uint8_t> out = EncodeRequest(kScanResponse, sequence);
  out.push_back(static_cast<uint8_t>(kScanReplySize));
  out.push_back(reply.protocolVersion);
  out.push_back(reply.status);
  out.push_back(0);
  out.insert(out.end(), reply.unitId.begin(), reply.unitId.end());
  PutText(out, reply.hostName, kNameSize);
  return out;
}

std::vector<uint8_t> EncodeServiceMap(const ServiceMap& map, uint16_t sequence) {
  std::vector<uint8_t> out = EncodeRequest(kServiceMapResponse, sequence);
  out.push_back(4);
  out.push_back(static_cast<uint8_t>(kServiceEntrySize));
  out.push_back(static_cast<uint8_t>(map.relays.size()));
  out.push_back(static_cast<uint8_t>(map.services.size()));
  for (const auto* list : {&map.relays, &map.services}) {
    for (const ServiceEntry& e : *list) {
      out.push_back(e.serviceId);
      out.push_back(e.serviceType);
      out.push_back(e.flags);
      out.push_back(e.relayNumber);
      PutText(out, e.name, kNameSize);
    }
  }
  return out;
}

// --- StreamWriter ----------------------------------------------------------------------------

void StreamWriter::Header(uint8_t command, std::vector<uint8_t>& out) {
  out.push_back(command);
  out.push_back(static_cast<uint8_t>(group_ & 0x0F));
  Put16(out, sequence_++);
}

void StreamWriter::Frame(std::span<const DacPoint> points, int32_t pointsPerSecond,
                         int32_t usedChannels, bool withConfig, bool dark, uint32_t timestampUs,
                         std::vector<std::vector<uint8_t>>& datagrams) {
  datagrams.clear();
  if (points.empty() || pointsPerSecond <= 0) return;
  const uint64_t durationUs =
      uint64_t{points.size()} * 1000000 / static_cast<uint64_t>(pointsPerSecond);
  const uint32_t chunk = static_cast<uint32_t>(std::min<uint64_t>(durationUs, 0xFFFFFF));

  auto sample = [&](std::vector<uint8_t>& out, size_t k) {
    // Sample 0 is the start point: the first point's place, dark.
    const DacPoint& p = points[k == 0 ? 0 : k - 1];
    Put16(out, static_cast<uint16_t>(p.x ^ 0x8000));  // centre 32768 becomes 0, signed
    Put16(out, static_cast<uint16_t>(p.y ^ 0x8000));
    const Colour8 c = k == 0 || dark ? Colour8{} : UsedColours(p, usedChannels);
    out.insert(out.end(), {c.r, c.g, c.b, c.i});
  };

  const size_t samples = points.size() + 1;
  std::vector<uint8_t> first;
  first.reserve(kMaxDatagram);
  Header(kMessage, first);
  Put16(first, 0);  // total size, set below
  const uint16_t content =
      static_cast<uint16_t>(kContentChannelMessage | (withConfig ? kContentConfigOrLast : 0));
  Put16(first, content);
  Put32(first, timestampUs);
  if (withConfig) {
    first.push_back(static_cast<uint8_t>(kTags.size() / 2));
    first.push_back(kConfigRouting);
    first.push_back(serviceId_);
    first.push_back(kModeFrame);
    for (uint16_t tag : kTags) Put16(first, tag);
  }
  Put32(first, chunk);
  const size_t firstRoom = (kMaxDatagram - first.size()) / kSampleSize;
  const bool fragmented = samples > firstRoom;
  size_t next = 0;
  for (; next < samples && next < firstRoom; ++next) sample(first, next);
  Set16(first, kPacketHeaderSize, static_cast<uint16_t>(first.size() - kPacketHeaderSize));
  first[kPacketHeaderSize + 3] = fragmented ? kChunkFirstFragment : kChunkFrame;
  datagrams.push_back(std::move(first));

  // Sequel fragments carry neither configuration nor chunk header; their timestamps count on
  // from the first fragment's, so that a projector can order them.
  uint32_t fragmentTime = timestampUs;
  constexpr size_t kSequelRoom =
      (kMaxDatagram - kPacketHeaderSize - kChannelHeaderSize) / kSampleSize;
  while (next < samples) {
    std::vector<uint8_t> sequel;
    sequel.reserve(kMaxDatagram);
    Header(kMessage, sequel);
    const size_t count = std::min(kSequelRoom, samples - next);
    const bool last = next + count == samples;
    Put16(sequel, static_cast<uint16_t>(kChannelHeaderSize + count * kSampleSize));
    Put16(sequel, static_cast<uint16_t>(kContentChannelMessage | (last ? kContentConfigOrLast : 0) |
                                        kChunkSequelFragment));
    Put32(sequel, ++fragmentTime);
    for (size_t k = 0; k < count; ++k) sample(sequel, next++);
    datagrams.push_back(std::move(sequel));
  }
}

std::vector<uint8_t> StreamWriter::KeepAlive(uint32_t timestampUs) {
  std::vector<uint8_t> out;
  Header(kMessage, out);
  Put16(out, static_cast<uint16_t>(kChannelHeaderSize));
  Put16(out, kContentChannelMessage | kChunkVoid);
  Put32(out, timestampUs);
  return out;
}

std::vector<uint8_t> StreamWriter::CloseChannel(uint32_t timestampUs) {
  std::vector<uint8_t> out;
  Header(kMessage, out);
  Put16(out, static_cast<uint16_t>(kChannelHeaderSize + 4));
  Put16(out, kContentChannelMessage | kContentConfigOrLast | kChunkVoid);
  Put32(out, timestampUs);
  out.insert(out.end(), {0, kConfigClose, 0, 0});
  return out;
}

std::vector<uint8_t> StreamWriter::CloseSession() {
  std::vector<uint8_t> out;
  Header(kClose, out);
  return out;
}

std::vector<uint8_t> StreamWriter::Ping() {
  std::vector<uint8_t> out;
  Header(kPingRequest, out);
  return out;
}

// --- the receiving side ----------------------------------------------------------------------

std::optional<ChannelMessage> ParseChannelMessage(std::span<const uint8_t> d) {
  ByteCursor c(d);
  ChannelMessage m;
  if (!ReadHeader(c, m.header)) return std::nullopt;
  const uint8_t command = m.header.command;
  if (command != kMessage && command != kMessageAckRequest && command != kClose &&
      command != kCloseAckRequest) {
    return std::nullopt;
  }
  uint16_t content = 0;
  if (!c.ReadU16BE(m.totalSize) || !c.ReadU16BE(content) || !c.ReadU32BE(m.timestamp)) {
    return std::nullopt;
  }
  if ((content & kContentChannelMessage) == 0) return std::nullopt;
  // The message may not claim more than came, nor less than its own header.
  ByteCursor rest;
  if (m.totalSize < kChannelHeaderSize || !c.Sub(m.totalSize - kChannelHeaderSize, rest)) {
    return std::nullopt;
  }
  m.configOrLast = (content & kContentConfigOrLast) != 0;
  m.channelId = static_cast<uint8_t>((content >> 8) & 0x3F);
  m.chunkType = static_cast<uint8_t>(content);
  if (m.configOrLast && m.chunkType != kChunkSequelFragment) {
    ChannelConfig config;
    ByteCursor tags;
    if (!rest.ReadU8(config.wordCount) || !rest.ReadU8(config.flags) ||
        !rest.ReadU8(config.serviceId) || !rest.ReadU8(config.serviceMode) ||
        !rest.Sub(size_t{config.wordCount} * 4, tags)) {
      return std::nullopt;
    }
    config.tags.reserve(tags.Size() / 2);
    for (uint16_t tag = 0; tags.ReadU16BE(tag);) config.tags.push_back(tag);
    m.config = std::move(config);
  }
  if (m.chunkType != kChunkVoid && m.chunkType != kChunkSequelFragment && !rest.AtEnd()) {
    uint32_t chunkHeader = 0;
    if (!rest.ReadU32BE(chunkHeader)) return std::nullopt;
    m.chunkHeader = chunkHeader;
  }
  m.data = rest.Take(rest.Remaining());
  return m;
}

bool FrameAssembler::Configure(const ChannelConfig& config) {
  std::vector<Slot> fields;
  size_t size = 0;
  for (uint16_t tag : config.tags) {
    if (tag == kTagVoid) continue;
    if (tag == kTagPrecision) {
      // Widens the field before it; a precision tag with nothing before it says nothing.
      if (fields.empty() || fields.back().bytes >= 2) return false;
      ++fields.back().bytes;
      ++size;
      continue;
    }
    Field f = Field::kSkip;
    switch (tag) {
      case kTagX:
        f = Field::kX;
        break;
      case kTagY:
        f = Field::kY;
        break;
      case kTagRed:
        f = Field::kR;
        break;
      case kTagGreen:
        f = Field::kG;
        break;
      case kTagBlue:
        f = Field::kB;
        break;
      case kTagIntensity:
        f = Field::kI;
        break;
      default:
        break;
    }
    fields.push_back({f, 1});
    ++size;
  }
  if (size == 0) return false;
  fields_ = std::move(fields);
  sampleSize_ = size;
  serviceMatch_ = config.flags & 0x30;
  return true;
}

bool FrameAssembler::Decode(std::span<const uint8_t> bytes, std::vector<DacPoint>& out) const {
  if (sampleSize_ == 0 || bytes.size() % sampleSize_ != 0) return false;
  out.clear();
  out.reserve(bytes.size() / sampleSize_);
  ByteCursor c(bytes);
  while (!c.AtEnd()) {
    DacPoint p;
    for (const Slot& s : fields_) {
      // An 8-bit position is the high byte of a 16-bit one.
      uint16_t wide = 0;
      uint8_t narrow = 0;
      if (s.bytes == 2 ? !c.ReadU16BE(wide) : !c.ReadU8(narrow)) return false;
      if (s.bytes == 2) {
        narrow = static_cast<uint8_t>(wide >> 8);
      } else {
        wide = static_cast<uint16_t>(narrow << 8);
      }
      switch (s.field) {
        case Field::kX:
          p.x = wide ^ 0x8000;
          break;
        case Field::kY:
          p.y = wide ^ 0x8000;
          break;
        case Field::kR:
          p.r = narrow;
          break;
        case Field::kG:
          p.g = narrow;
          break;
        case Field::kB:
          p.b = narrow;
          break;
        case Field::kI:
          p.i = narrow;
          break;
        case Field::kSkip:
          break;
      }
    }
    out.push_back(p);
  }
  return true;
}

FrameAssembler::Outcome FrameAssembler::Take(const ChannelMessage& m) {
  const uint16_t sequence = m.header.sequence;
  const bool inSequence = sequence == nextSequence_;
  nextSequence_ = static_cast<uint16_t>(sequence + 1);
  if (m.config) {
    if ((m.config->flags & kConfigClose) != 0) {
      fields_.clear();
      sampleSize_ = 0;
      assembling_ = false;
      return Outcome::kChannelClosed;
    }
    if (!Configure(*m.config)) {
      assembling_ = false;
      return Outcome::kDropped;
    }
  }
  switch (m.chunkType) {
    case kChunkVoid:
      return m.config ? Outcome::kConfigOnly : Outcome::kKeepAlive;
    case kChunkFrame:
    case kChunkFirstFragment: {
      assembling_ = false;
      if (!HasConfig() || !m.chunkHeader) return Outcome::kDropped;
      // The chunk must belong to the configuration it is read with.
      if (((*m.chunkHeader >> 24) & 0x30) != serviceMatch_) return Outcome::kDropped;
      pending_.assign(m.data.begin(), m.data.end());
      pendingHeader_ = *m.chunkHeader;
      fragments_ = 1;
      if (m.chunkType == kChunkFirstFragment) {
        assembling_ = true;
        return Outcome::kNothing;
      }
      break;
    }
    case kChunkSequelFragment:
      if (!assembling_ || !inSequence || pending_.size() + m.data.size() > kMaxFrameBytes) {
        assembling_ = false;
        return Outcome::kDropped;
      }
      pending_.insert(pending_.end(), m.data.begin(), m.data.end());
      ++fragments_;
      if (!m.configOrLast) return Outcome::kNothing;
      assembling_ = false;
      break;
    default:
      return Outcome::kNothing;
  }
  ReceivedFrame frame;
  if (!Decode(pending_, frame.samples) || frame.samples.empty()) return Outcome::kDropped;
  frame.durationUs = pendingHeader_ & 0xFFFFFF;
  frame.once = ((pendingHeader_ >> 24) & kChunkOnce) != 0;
  frame.fragments = fragments_;
  frame_ = std::move(frame);
  return Outcome::kFrame;
}

}  // namespace lumarex::jmlaser::idn
