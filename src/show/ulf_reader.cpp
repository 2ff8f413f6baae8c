#include <cerrno>
#include <cstring>

#include "show/byte_order.h"
#include "show/input_file.h"
#include "show/reader_support.h"
#include "show/ulf.h"

namespace lumarex {

namespace {

constexpr size_t kHeaderSize = 24;
constexpr size_t kRecordSize = 8;
constexpr uint32_t kMaxRecords = 65535;

struct Flavour {
  const char magic[4];
  const char* openFailed;
  const char* notThisFormat;
  const char* shortData;
  uint32_t (*dataSize)(const uint8_t* header);
};

uint32_t UlfDataSize(const uint8_t* header) {
  return LoadU32LE(header + 20);
}

// PHO keeps the size as two little-endian 16-bit words, the high word first.
uint32_t PhoDataSize(const uint8_t* header) {
  return (uint32_t{LoadU16LE(header + 18)} << 16) | LoadU16LE(header + 20);
}

constexpr Flavour kUlf{"ULF", "Ulf Datei Lesefehler", "Kein Ulf Format", "Lesefehler ULF",
                       UlfDataSize};
constexpr Flavour kPho{"PHO", "PHO Datei Lesefehler", "Kein PHO Format", "Lesefehler PHO",
                       PhoDataSize};

void ConvertRecords(const uint8_t* rec, uint32_t count, ShowPoint* out) {
  for (uint32_t i = 0; i < count; ++i, rec += kRecordSize) {
    ShowPoint& p = out[i];
    p.X = LoadI16LE(rec);
    p.Y = NegateY(LoadI16LE(rec + 2));
    p.R = rec[4];
    p.G = rec[5];
    p.B = rec[6];
    p.Visible = rec[7] == 0xFF ? 1 : 0;
  }
}

void ReadFrames(const Flavour& flavour, ShowStore& store, const std::string& fileName, bool merge,
                DesktopServices& desktop) {
  store.IoStatus = "I.O.";
  InputFile file;
  if (!file.Open(fileName)) {
    store.IoStatus = WithErrorNumber(flavour.openFailed, errno);
    return;
  }
  store.ShowFileSize = ShownFileSize(file);
  if (!StartShowRead(store, merge)) return;
  desktop.ProcessPendingMessages();

  do {
    uint8_t header[kHeaderSize];
    if (file.Read(header, kHeaderSize) < kHeaderSize ||
        std::memcmp(header, flavour.magic, 3) != 0 || (header[4] != 2 && header[4] != 4)) {
      store.IoStatus = flavour.notThisFormat;
      return;
    }
    const uint32_t dataSize = flavour.dataSize(header);
    const uint32_t count = dataSize / kRecordSize;
    // A frame beyond the 16-bit point counts cannot be held; it is as broken as a short one.
    if (count > kMaxRecords) {
      store.IoStatus = flavour.shortData;
      return;
    }
    const auto bytes = file.ReadBlock(dataSize);
    if (bytes.size() < dataSize) {
      store.IoStatus = flavour.shortData;
      return;
    }
    if (!store.HasRoomForFrame()) {
      store.IoStatus = kTooManyFrames;
      return;
    }
    // Bytes of a record cut short by the data size are read but not converted.
    const std::span<ShowPoint> points = store.NewFrame(count + 1);
    ConvertRecords(bytes.data(), count, points.data());
    store.CommitFrame(static_cast<uint16_t>(count), FrameTail::kAppendedZeroPoint);
  } while (BytesLeft(file) >= kHeaderSize);
}

}  // namespace

void ReadUlf(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop) {
  ReadFrames(kUlf, store, fileName, merge, desktop);
}

void ReadPho(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop) {
  ReadFrames(kPho, store, fileName, merge, desktop);
}

}  // namespace lumarex
