#include <cerrno>
#include <cstring>

#include "platform/byte_order.h"
#include "show/input_file.h"
#include "show/point_words.h"
#include "show/reader_support.h"
#include "show/record_shuffle.h"
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

constexpr shuffle::Layout kRecordLayout{kRecordSize,
                                        {0, 1, 2, 3, -1, -1, 4, 5, 6, 7, -1, -1},
                                        shuffle::Layout::kLitIf0xFF,
                                        true,
                                        false};

// Writes every point of the array (InputFile::ConvertFunction).
void ConvertRecords(const uint8_t* rec, uint32_t count, ShowPoint* out, size_t outSize,
                    const void*) {
  uint32_t i = shuffle::ConvertLeadingGroups<kRecordLayout>(rec, count, out);
  rec += size_t{i} * kRecordSize;
  for (; i < count; ++i, rec += kRecordSize) {
    const uint8_t visible = rec[7] == 0xFF ? 1 : 0;
    StorePoint(out + i, PointHead(LoadU16LE(rec), NegatedY(LoadU16LE(rec + 2)), 0, rec[4], rec[5]),
               PointTail(rec[6], visible, 0));
  }
  StoreZeroPoints(out, count, outSize);
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
    file.ConvertLater(bytes, count, store.NewFrameForOverwrite(count + 1), ConvertRecords, nullptr);
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
