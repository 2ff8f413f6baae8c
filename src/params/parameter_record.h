#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lumarex {

inline constexpr size_t kParameterRecordBytes = 51;
// Older files end one byte early; the missing last byte reads as 0.
inline constexpr size_t kParameterRecordShortBytes = 50;

// Where each setting stands in the record; every other byte is 0 when written and ignored when
// read. Each holds the low byte of its control's position.
enum class ParameterField : uint8_t {
  kScanspeed = 1,
  kFrameChangeMode = 2,
  kFarbverschiebung = 5,
  kExtrapoints = 10,
  kSwapAxes = 15,
  kInvertX = 16,
  kInvertY = 17,
  kAchseXRight = 20,
  kAchseXLeft = 21,
  kAchseYRight = 25,
  kAchseYLeft = 26,
  kRotRight = 30,
  kRotLeft = 31,
  kGruenRight = 35,
  kGruenLeft = 36,
  kBlauRight = 40,
  kBlauLeft = 41,
  kDimmenRgb = 45,
  kIrqSpeed = 46,
  kOglEffekt = 47,
};

// The calibration and playback record of projector (.PRO) and show (.SHW) parameter files,
// kept as the file's bytes so that what is read is exactly what was written.
struct ParameterRecord {
  std::array<uint8_t, kParameterRecordBytes> bytes{};

  uint8_t Get(ParameterField field) const { return bytes[static_cast<size_t>(field)]; }
  void Set(ParameterField field, int32_t position) {
    bytes[static_cast<size_t>(field)] = static_cast<uint8_t>(position & 0xFF);
  }

  // The orientation 0..7 of the scanner axes as the three flags at offsets 15..17.
  void SetOrientation(int32_t orientation);
  // Only a flag byte of exactly 1 counts as set.
  int32_t Orientation() const;

  friend bool operator==(const ParameterRecord&, const ParameterRecord&) = default;
};

// A record from the bytes of a file of 50 or 51 bytes; nothing for any other length.
std::optional<ParameterRecord> DecodeParameterRecord(std::span<const uint8_t> bytes);

// Whether "Load projector parameters" takes a file: its name without the folder contains "PRO"
// in any case ("profile.dat" passes).
bool IsProjectorParameterName(const std::string& path);
// The name a projector file is saved under: ".PRO" appended unless the name ends in .pro in
// any case.
std::string ProjectorParameterSaveName(const std::string& chosen);
// The show parameter file written beside a show: its extension replaced by "SHW", as every
// file beside a show is named (a two-letter ".LF" keeps its dot).
std::string ShowParameterFileName(const std::string& showPath);

enum class ParameterFileRead : uint8_t {
  kOk,
  kCannotOpen,  // "Lesefehler"
  kBadLength,   // "Ungültige Dateilänge"
  kReadFailed,  // "PROJEKTOR PARAMETER nicht gefunden", then "Ungültige Datei"
};
// Reads a record file. Never throws; the record is untouched unless kOk.
ParameterFileRead ReadParameterRecordFile(const std::string& path, ParameterRecord& record);

}  // namespace lumarex
