#include <cerrno>

#include "platform/byte_order.h"
#include "show/input_file.h"
#include "show/pic.h"
#include "show/reader_support.h"

namespace lumarex {

namespace {

constexpr size_t kFrameHeaderSize = 14;
constexpr size_t kIndexedRecordSize = 8;
constexpr size_t kRgbRecordSize = 11;
constexpr uint8_t kIndexedVariant = 0;
constexpr uint8_t kRgbVariant = 4;

// The status byte of an indexed record describes the move to the next point, so point 0
// is lit in palette colour 0 and point i takes record i-1's status.
void ConvertIndexedRecords(const uint8_t* rec, uint32_t count, ShowPoint* out,
                           const PaletteTable& palette) {
  uint8_t status = 0;
  for (uint32_t i = 0; i < count; ++i, rec += kIndexedRecordSize) {
    ShowPoint& p = out[i];
    p.X = LoadI16BE(rec + 2);
    p.Y = LoadI16BE(rec + 4);
    p.Z = LoadI16BE(rec + 6);
    const uint8_t index = status & 0x3F;
    p.Visible = (status & 0x40) != 0 ? 0 : 1;
    p.ColourIndex = index;
    p.R = palette[index].R;
    p.G = palette[index].G;
    p.B = palette[index].B;
    status = rec[1];
  }
}

void ConvertRgbRecords(const uint8_t* rec, uint32_t count, ShowPoint* out) {
  for (uint32_t i = 0; i < count; ++i, rec += kRgbRecordSize) {
    ShowPoint& p = out[i];
    p.X = LoadI16LE(rec);
    p.Y = NegateY(LoadI16LE(rec + 2));
    p.Z = LoadI16LE(rec + 4);
    const uint8_t status = rec[6];
    p.Visible = (status & 0x40) != 0 ? 0 : 1;
    p.ColourIndex = status;
    p.R = rec[8];
    p.G = rec[9];
    p.B = rec[10];
  }
}

}  // namespace

void ReadPic(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop) {
  store.IoStatus = "I.O.";
  InputFile file;
  if (!file.Open(fileName)) {
    store.IoStatus = WithErrorNumber("PIC Datei Lesefehler", errno);
    return;
  }
  uint8_t variant = 0xFF;
  // The variant byte is also the first byte of the first frame header.
  const bool known = file.Read(&variant, 1) == 1 &&
                     (variant == kIndexedVariant || variant == kRgbVariant) && file.Seek(0);
  store.ShowFileSize = ShownFileSize(file);
  const uint32_t framesBefore = merge ? store.FrameCount : 0;
  if (!StartShowRead(store, merge)) return;
  desktop.ProcessPendingMessages();

  const bool indexed = variant == kIndexedVariant;
  const size_t recordSize = indexed ? kIndexedRecordSize : kRgbRecordSize;
  while (known && BytesLeft(file) >= 10) {
    uint8_t header[kFrameHeaderSize];
    if (file.Read(header, sizeof header) < sizeof header) {
      store.IoStatus = "Lesefehler PIC";
      break;
    }
    const uint16_t count = LoadU16BE(header + 6);
    const auto bytes = file.ReadBlock(count * recordSize);
    if (bytes.size() < count * recordSize) {
      store.IoStatus = indexed ? "Lesefehler PIC" : "Lesefehler Pic RGB in XYZ";
      break;
    }
    if (!store.HasRoomForFrame()) {
      store.IoStatus = kTooManyFrames;
      break;
    }
    const std::span<ShowPoint> points = store.NewFrame(count + 1u);
    if (indexed) {
      ConvertIndexedRecords(bytes.data(), count, points.data(), store.Palette);
      store.CommitFrame(count, FrameTail::kAppendedZeroPoint);
    } else {
      ConvertRgbRecords(bytes.data(), count, points.data());
      const auto last = static_cast<uint16_t>(count > 0 ? count - 1 : 0);
      store.CommitFrame(last, RealPointsTail(last));
    }
  }
  DropTrailingEmptyFrames(store, framesBefore);
}

}  // namespace lumarex
