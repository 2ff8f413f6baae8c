#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jmlaser/jmlaser.h"

// ILDA Digital Network over UDP: the hello commands (scan, service map, ping) and the stream
// of channel messages that carry frames. Every field is big-endian. Parsers take whatever came
// off the network and check every length before they read; the receiving half (a projector's
// view of the stream) serves the DAC stand-in and the fuzz target.
namespace lumarex::jmlaser::idn {

inline constexpr uint16_t kPort = 7255;
// The largest UDP payload we send: it fits an Ethernet frame behind IP, UDP and a VLAN tag.
inline constexpr size_t kMaxDatagram = 1454;
inline constexpr size_t kPacketHeaderSize = 4;
inline constexpr size_t kChannelHeaderSize = 8;
inline constexpr size_t kScanReplySize = 40;
inline constexpr size_t kServiceEntrySize = 24;
inline constexpr size_t kNameSize = 20;

inline constexpr uint8_t kPingRequest = 0x08;
inline constexpr uint8_t kPingResponse = 0x09;
inline constexpr uint8_t kScanRequest = 0x10;
inline constexpr uint8_t kScanResponse = 0x11;
inline constexpr uint8_t kServiceMapRequest = 0x12;
inline constexpr uint8_t kServiceMapResponse = 0x13;
inline constexpr uint8_t kMessage = 0x40;
inline constexpr uint8_t kMessageAckRequest = 0x41;
inline constexpr uint8_t kClose = 0x44;
inline constexpr uint8_t kCloseAckRequest = 0x45;
inline constexpr uint8_t kAcknowledge = 0x47;

inline constexpr uint8_t kStatusMalfunction = 0x80;
inline constexpr uint8_t kStatusOffline = 0x40;
inline constexpr uint8_t kStatusExcluded = 0x20;
inline constexpr uint8_t kStatusOccupied = 0x10;
inline constexpr uint8_t kStatusRealtime = 0x01;

inline constexpr uint8_t kServiceLaserProjector = 0x80;

inline constexpr uint16_t kContentChannelMessage = 0x8000;
inline constexpr uint16_t kContentConfigOrLast = 0x4000;
inline constexpr uint8_t kChunkVoid = 0x00;
inline constexpr uint8_t kChunkWave = 0x01;
inline constexpr uint8_t kChunkFrame = 0x02;
inline constexpr uint8_t kChunkFirstFragment = 0x03;
inline constexpr uint8_t kChunkSequelFragment = 0xC0;

inline constexpr uint8_t kConfigRouting = 0x01;
inline constexpr uint8_t kConfigClose = 0x02;
inline constexpr uint8_t kModeWave = 0x01;
inline constexpr uint8_t kModeFrame = 0x02;
inline constexpr uint8_t kChunkOnce = 0x01;

inline constexpr uint16_t kTagVoid = 0x0000;
inline constexpr uint16_t kTagPrecision = 0x4010;
inline constexpr uint16_t kTagX = 0x4200;
inline constexpr uint16_t kTagY = 0x4210;
inline constexpr uint16_t kTagRed = 0x527E;
inline constexpr uint16_t kTagGreen = 0x5214;
inline constexpr uint16_t kTagBlue = 0x51CC;
inline constexpr uint16_t kTagIntensity = 0x5C10;

struct PacketHeader {
  uint8_t command = 0;
  uint8_t flags = 0;  // low nibble: client group
  uint16_t sequence = 0;
};

struct ScanReply {
  uint8_t protocolVersion = 0x10;
  uint8_t status = 0;
  std::array<uint8_t, 16> unitId{};  // [0] length, [1] category
  std::string hostName;
};

struct ServiceEntry {
  uint8_t serviceId = 0;
  uint8_t serviceType = 0;
  uint8_t flags = 0;
  uint8_t relayNumber = 0;
  std::string name;
};

struct ServiceMap {
  std::vector<ServiceEntry> relays;
  std::vector<ServiceEntry> services;
};

std::optional<PacketHeader> ParseHeader(std::span<const uint8_t> datagram);
// Whole datagrams, header included; nullopt for any other command or a short record.
std::optional<ScanReply> ParseScanReply(std::span<const uint8_t> datagram);
std::optional<ServiceMap> ParseServiceMap(std::span<const uint8_t> datagram);

std::vector<uint8_t> EncodeRequest(uint8_t command, uint16_t sequence);
std::vector<uint8_t> EncodeScanReply(const ScanReply& reply, uint16_t sequence);
std::vector<uint8_t> EncodeServiceMap(const ServiceMap& map, uint16_t sequence);

// --- the stream, as a client sends it ----------------------------------------------------

// Packs frames for one channel in discrete (frame) mode: X and Y of 16 bits, then R, G, B and
// intensity of 8, 8 bytes a sample. Keeps the packet sequence.
class StreamWriter {
 public:
  StreamWriter(uint8_t serviceId, uint8_t clientGroup)
      : serviceId_(serviceId), group_(clientGroup) {}

  // The datagrams of one frame: an invisible start point at the first point (the projector
  // moves there dark; it takes no time), then the points; lasting points / rate. Frames
  // larger than one datagram go out as a first fragment and sequel fragments, each at most
  // kMaxDatagram bytes. `dark` sends every colour 0.
  void Frame(std::span<const DacPoint> points, int32_t pointsPerSecond, int32_t usedChannels,
             bool withConfig, bool dark, uint32_t timestampUs,
             std::vector<std::vector<uint8_t>>& datagrams);
  // An empty channel message: keeps the session alive.
  std::vector<uint8_t> KeepAlive(uint32_t timestampUs);
  // A configuration with the close flag: the projector darkens and forgets the channel.
  std::vector<uint8_t> CloseChannel(uint32_t timestampUs);
  // The bare close command that ends the session.
  std::vector<uint8_t> CloseSession();
  std::vector<uint8_t> Ping();

  static constexpr size_t kSampleSize = 8;

 private:
  void Header(uint8_t command, std::vector<uint8_t>& out);

  uint8_t serviceId_;
  uint8_t group_;
  uint16_t sequence_ = 0;
};

// --- the stream, as a projector takes it ---------------------------------------------------

struct ChannelConfig {
  uint8_t wordCount = 0;
  uint8_t flags = 0;
  uint8_t serviceId = 0;
  uint8_t serviceMode = 0;
  std::vector<uint16_t> tags;
};

struct ChannelMessage {
  PacketHeader header;
  uint16_t totalSize = 0;
  bool configOrLast = false;
  uint8_t channelId = 0;
  uint8_t chunkType = 0;
  uint32_t timestamp = 0;
  std::optional<ChannelConfig> config;
  std::optional<uint32_t> chunkHeader;  // flags << 24 | duration in µs
  std::span<const uint8_t> data;        // the sample bytes of this datagram
};

// A channel message datagram (commands 0x40, 0x41, 0x44, 0x45 with a message behind the
// header); nullopt when the lengths do not add up.
std::optional<ChannelMessage> ParseChannelMessage(std::span<const uint8_t> datagram);

struct ReceivedFrame {
  std::vector<DacPoint> samples;  // the start point first
  uint32_t durationUs = 0;
  bool once = false;
  int fragments = 1;
};

// Puts frames together from the channel messages of one client, as a projector does: the
// configuration names the sample layout, fragments join in sequence, a gap drops the frame.
class FrameAssembler {
 public:
  enum class Outcome { kNothing, kFrame, kKeepAlive, kConfigOnly, kChannelClosed, kDropped };

  Outcome Take(const ChannelMessage& message);
  const ReceivedFrame& Frame() const { return frame_; }
  bool HasConfig() const { return !fields_.empty(); }
  size_t SampleSize() const { return sampleSize_; }

 private:
  enum class Field : uint8_t { kSkip, kX, kY, kR, kG, kB, kI };
  struct Slot {
    Field field;
    uint8_t bytes;
  };
  bool Configure(const ChannelConfig& config);
  bool Decode(std::span<const uint8_t> bytes, std::vector<DacPoint>& out) const;

  std::vector<Slot> fields_;
  size_t sampleSize_ = 0;
  uint8_t serviceMatch_ = 0;
  std::vector<uint8_t> pending_;
  uint32_t pendingHeader_ = 0;
  uint16_t nextSequence_ = 0;
  bool assembling_ = false;
  int fragments_ = 0;
  ReceivedFrame frame_;
};

}  // namespace lumarex::jmlaser::idn
