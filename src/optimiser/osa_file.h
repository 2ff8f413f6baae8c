#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lumarex {

// The control positions an optimisation set (.osa) holds, in the file's byte order.
struct ParameterSet {
  uint8_t SeekStart = 10;
  uint8_t BlankStart = 8;
  uint8_t SeekEnd = 0;
  uint8_t BlankEnd = 2;
  uint8_t InterpolationBlank = 32;
  uint8_t InterpolationSeek = 34;
  uint8_t MinPoints = 1;
  uint8_t SearchRaster = 0;
  uint8_t DirectionFactor = 0;

  friend bool operator==(const ParameterSet&, const ParameterSet&) = default;
};

inline constexpr size_t kParameterSetBytes = 16;
inline constexpr size_t kParameterSetMinBytes = 8;

// The 16 bytes written: the nine positions, then the bytes 9..15 standing at their own
// offsets, which carry no setting.
std::array<uint8_t, kParameterSetBytes> EncodeParameterSet(const ParameterSet& set);
// Reads a set of 8 to 16 bytes; nullopt for any other length. An 8-byte set has no direction
// factor, which then reads as 0 (the only position that control keeps anyway).
std::optional<ParameterSet> DecodeParameterSet(std::span<const uint8_t> bytes);

// Whether the loader takes a file: its name without the folder contains "OSA" in any case.
bool IsParameterSetName(const std::string& path);
// The name the saver writes: ".OSA" appended unless the name already ends in .osa (any case).
std::string ParameterSetSaveName(const std::string& chosen);

enum class ParameterSetRead : uint8_t {
  kOk,
  kCannotOpen,  // "Lesefehler"
  kBadLength,   // "Ungültige Dateilänge"
  kReadFailed,  // "Optimierungs Satz nicht gefunden", then "Ungültige Datei"
};
// Reads a set from a file. Never throws.
ParameterSetRead ReadParameterSetFile(const std::string& path, ParameterSet& set);

enum class ParameterSetWrite : uint8_t {
  kOk,
  kCannotCreate,  // IoStatus "K"
  kShortWrite,    // IoStatus emptied
  kFailed,        // "Not Save OSA File"
};
// Writes the 16 bytes beside the target and moves them into place only when all were written,
// so a failed save never leaves a damaged set behind.
ParameterSetWrite WriteParameterSetFile(const std::string& path, const ParameterSet& set);

}  // namespace lumarex
