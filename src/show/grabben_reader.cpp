#include <cerrno>

#include "platform/byte_order.h"
#include "show/grabben.h"
#include "show/input_file.h"
#include "show/reader_support.h"

namespace lumarex {

namespace {

constexpr size_t kRecordSize = 8;

void ConvertRecords(const uint8_t* rec, uint32_t count, ShowPoint* out) {
  for (uint32_t i = 0; i < count; ++i, rec += kRecordSize) {
    ShowPoint& p = out[i];
    p.X = LoadI16LE(rec);
    p.Y = LoadI16LE(rec + 2);
    p.R = rec[4];
    p.G = rec[5];
    p.B = rec[6];
    p.Visible = rec[7] != 0 ? 1 : 0;  // a blanked point keeps its colour
  }
}

}  // namespace

void ReadGrabben(ShowStore& store, const std::string& fileName, bool merge,
                 DesktopServices& desktop) {
  store.IoStatus = "I.O.";
  InputFile file;
  if (!file.Open(fileName)) {
    store.IoStatus = WithErrorNumber("Grabben Datei Lesefehler", errno);
    return;
  }
  store.ShowFileSize = ShownFileSize(file);
  if (!StartShowRead(store, merge)) return;
  desktop.ProcessPendingMessages();
  store.SourceFormatCode = 22;

  do {
    uint8_t head[8];
    if (file.Read(head, 4) < 4) {
      store.IoStatus = "Lesefehler Gabben File in Punkte je Frame";
      return;
    }
    if (file.Read(head + 4, 4) < 4) {
      store.IoStatus = "Lesefehler Grabben im Header";
      return;
    }
    const uint16_t count = LoadU16LE(head + 2);
    const auto bytes = file.ReadBlock(count * kRecordSize);
    if (bytes.size() < count * kRecordSize) {
      store.IoStatus = "Lesefehler Grabben in XY RGB";
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

}  // namespace lumarex
