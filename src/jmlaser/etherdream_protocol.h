#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "jmlaser/jmlaser.h"

// The Ether Dream wire format: packed little-endian records over UDP (the DACs' once-a-second
// broadcast) and TCP (commands and their 22-byte responses). Parsers take whatever bytes came
// off the network and check every length before they read.
namespace lumarex::jmlaser::etherdream {

inline constexpr uint16_t kBroadcastPort = 7654;
inline constexpr uint16_t kCommandPort = 7765;
inline constexpr size_t kStatusSize = 20;
inline constexpr size_t kResponseSize = 22;
inline constexpr size_t kBroadcastSize = 36;
inline constexpr size_t kPointSize = 18;
inline constexpr size_t kDataHeaderSize = 3;
inline constexpr int32_t kDefaultBufferCapacity = 1799;
inline constexpr int32_t kDefaultMaxRate = 100000;
inline constexpr uint16_t kControlRateChange = 0x8000;

enum class LightEngine : uint8_t { kReady = 0, kWarmup = 1, kCooldown = 2, kEmergencyStop = 3 };
enum class Playback : uint8_t { kIdle = 0, kPrepared = 1, kPlaying = 2 };

inline constexpr uint16_t kPlaybackFlagShutterOpen = 0x1;
inline constexpr uint16_t kPlaybackFlagUnderflow = 0x2;
inline constexpr uint16_t kPlaybackFlagEmergencyStop = 0x4;

// Commands and response codes.
inline constexpr uint8_t kPrepare = 'p';
inline constexpr uint8_t kBegin = 'b';
inline constexpr uint8_t kUpdateRate = 'u';
inline constexpr uint8_t kQueueRate = 'q';
inline constexpr uint8_t kData = 'd';
inline constexpr uint8_t kStop = 's';
inline constexpr uint8_t kEmergencyStop = 0xFF;
inline constexpr uint8_t kEmergencyStopAlt = 0x00;
inline constexpr uint8_t kClearEmergencyStop = 'c';
inline constexpr uint8_t kPing = '?';
inline constexpr uint8_t kVersion = 'v';

inline constexpr uint8_t kAck = 'a';
inline constexpr uint8_t kNakFull = 'F';
inline constexpr uint8_t kNakInvalid = 'I';
inline constexpr uint8_t kNakStop = '!';

struct Status {
  uint8_t protocol = 0;
  uint8_t lightEngineState = 0;
  uint8_t playbackState = 0;
  uint8_t source = 0;
  uint16_t lightEngineFlags = 0;
  uint16_t playbackFlags = 0;
  uint16_t sourceFlags = 0;
  uint16_t bufferFullness = 0;
  uint32_t pointRate = 0;
  uint32_t pointCount = 0;

  Playback PlaybackState() const { return static_cast<Playback>(playbackState); }
  bool EmergencyStopped() const {
    return lightEngineState == static_cast<uint8_t>(LightEngine::kEmergencyStop) ||
           (playbackFlags & kPlaybackFlagEmergencyStop) != 0;
  }
};

struct Response {
  uint8_t response = 0;
  uint8_t command = 0;
  Status status;
};

struct Broadcast {
  std::array<uint8_t, 6> mac{};
  uint16_t hardwareRevision = 0;
  uint16_t softwareRevision = 0;
  uint16_t bufferCapacity = 0;
  uint32_t maxPointRate = 0;
  Status status;
};

// One point as the DAC takes it.
struct WirePoint {
  uint16_t control = 0;
  int16_t x = 0;
  int16_t y = 0;
  uint16_t r = 0;
  uint16_t g = 0;
  uint16_t b = 0;
  uint16_t i = 0;
  uint16_t u1 = 0;
  uint16_t u2 = 0;

  friend bool operator==(const WirePoint&, const WirePoint&) = default;
};

// Parsers: nullopt when the bytes are too short for the record.
std::optional<Status> ParseStatus(std::span<const uint8_t> bytes);
std::optional<Response> ParseResponse(std::span<const uint8_t> bytes);
// A broadcast is at least 36 bytes; later firmware may append fields, which are ignored.
// Values no real DAC sends (no buffer, no rate) are nullopt too.
std::optional<Broadcast> ParseBroadcast(std::span<const uint8_t> bytes);
// Point k of a data command's payload (the bytes after the 3-byte header).
std::optional<WirePoint> ParsePoint(std::span<const uint8_t> payload, size_t k);

// Encoders write into `out`, which must hold the record, and answer the bytes written.
size_t EncodeStatus(const Status& status, std::span<uint8_t> out);
size_t EncodeResponse(const Response& response, std::span<uint8_t> out);
size_t EncodeBroadcast(const Broadcast& broadcast, std::span<uint8_t> out);
size_t EncodeRateCommand(uint8_t command, uint32_t rate, std::span<uint8_t> out);  // b, u: 7; q: 5
size_t EncodeDataHeader(uint16_t count, std::span<uint8_t> out);
size_t EncodePoint(const WirePoint& point, std::span<uint8_t> out);

// Our point to the DAC's: centre 32768 becomes 0, 8-bit colours become full scale.
// `usedChannels` 1 drives every colour from the intensity, 3 derives the intensity channel
// from the brightest colour.
WirePoint ToWirePoint(const DacPoint& point, int32_t usedChannels);

}  // namespace lumarex::jmlaser::etherdream
