#include <cerrno>

#include "platform/byte_order.h"
#include "show/input_file.h"
#include "show/laserpainter.h"
#include "show/reader_support.h"

namespace lumarex {

namespace {

constexpr size_t kRecordSize = 11;

struct Variant {
  size_t fileHeaderSize;
  const char* openFailed;
  const char* fileHeaderShort;
  const char* leadShort;  // the frame's first two bytes; FLX reports them as the count
  const char* countShort;
  const char* frameHeaderShort;
  const char* pointsShort;
};

constexpr Variant kFla{20,
                       "FLA Datei Lesefehler",
                       "Lesefehler FLA im Header",
                       "Lesefehler FLA in Müll",
                       "Lesefehler FLA in Punkte je Frame",
                       "Lesefehler FLA im Header",
                       "Lesefehler FLA in XYZ RGB"};
constexpr Variant kFlx{9,
                       "FLX Dateifehler",
                       "Lesefehler FLX im File-Header",
                       "Lesefehler FLX in Punkte je Frame",
                       "Lesefehler FLX in Punkte je Frame",
                       "Lesefehler FLX im Frame-Header",
                       "Lesefehler FLX in XYZ RGB"};

void ConvertRecords(const uint8_t* rec, uint32_t count, ShowPoint* out) {
  for (uint32_t i = 0; i < count; ++i, rec += kRecordSize) {
    ShowPoint& p = out[i];
    const uint16_t beam = LoadU16LE(rec);
    p.X = static_cast<int16_t>(int32_t{LoadU16LE(rec + 2)} - 32768);
    p.Y = NegateY(int32_t{LoadU16LE(rec + 4)} - 32768);
    p.R = rec[8];
    p.G = rec[9];
    p.B = rec[10];
    // A lit move in black would only dwell; it is stored blanked.
    p.Visible = beam != 0 && p.R + p.G + p.B != 0 ? 1 : 0;
  }
}

void ReadFrames(const Variant& variant, ShowStore& store, const std::string& fileName, bool merge,
                DesktopServices& desktop) {
  store.IoStatus = "I.O.";
  InputFile file;
  if (!file.Open(fileName)) {
    store.IoStatus = WithErrorNumber(variant.openFailed, errno);
    return;
  }
  store.ShowFileSize = ShownFileSize(file);
  if (!StartShowRead(store, merge)) return;
  desktop.ProcessPendingMessages();
  store.SourceFormatCode = 14;

  if (file.Skip(variant.fileHeaderSize) < variant.fileHeaderSize) {
    store.IoStatus = variant.fileHeaderShort;
    return;
  }
  do {
    uint8_t head[11];
    if (file.Read(head, 2) < 2) {
      store.IoStatus = variant.leadShort;
      return;
    }
    if (file.Read(head + 2, 2) < 2) {
      store.IoStatus = variant.countShort;
      return;
    }
    if (file.Read(head + 4, 7) < 7) {
      store.IoStatus = variant.frameHeaderShort;
      return;
    }
    const uint16_t count = LoadU16LE(head + 2);
    const auto bytes = file.ReadBlock(count * kRecordSize);
    if (bytes.size() < count * kRecordSize) {
      store.IoStatus = variant.pointsShort;
      return;
    }
    if (!store.HasRoomForFrame()) {
      store.IoStatus = kTooManyFrames;
      return;
    }
    const std::span<ShowPoint> points = store.NewFrame(count + 1u);
    ConvertRecords(bytes.data(), count, points.data());
    store.CommitFrame(count, FrameTail::kAppendedZeroPoint);
  } while (BytesLeft(file) >= 10);
}

}  // namespace

void ReadFla(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop) {
  ReadFrames(kFla, store, fileName, merge, desktop);
}

void ReadFlx(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop) {
  ReadFrames(kFlx, store, fileName, merge, desktop);
}

}  // namespace lumarex
