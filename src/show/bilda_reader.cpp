#include <cstring>

#include "platform/byte_order.h"
#include "show/bilda.h"
#include "show/input_file.h"
#include "show/reader_support.h"

namespace lumarex {

namespace {

constexpr size_t kRecordSize = 8;
constexpr uint32_t kMaxLastIndex = 65534;

bool IsFrameEnd(uint8_t flag) {
  return (flag >> 4) == 8 && (flag & 1) != 0;
}

void ConvertRecords(const uint8_t* rec, uint32_t count, ShowPoint* out) {
  for (uint32_t i = 0; i < count; ++i, rec += kRecordSize) {
    ShowPoint& p = out[i];
    p.X = LoadI16LE(rec);
    p.Y = LoadI16LE(rec + 2);
    p.R = rec[4];
    p.G = rec[5];
    p.B = rec[6];
    p.Visible = p.R + p.G + p.B != 0 ? 1 : 0;
  }
}

}  // namespace

void ReadBilda(ShowStore& store, const std::string& fileName, bool merge,
               DesktopServices& desktop) {
  store.IoStatus = "I.O.";
  InputFile file;
  if (!file.Open(fileName)) {
    store.IoStatus = "Datei nicht vorhanden";
    return;
  }
  store.ShowFileSize = ShownFileSize(file);
  if (file.Size() < 17) {
    store.IoStatus = "File zu Klein";
    return;
  }
  desktop.ProcessPendingMessages();

  uint8_t header[8];
  if (file.Read(header, sizeof header) < sizeof header) {
    store.IoStatus = "Lesefehler Bilda";
    return;
  }
  if (std::memcmp(header, "LF\0\x10", 4) != 0) {
    store.IoStatus = header[3] == 16 ? "Kein Bilda Format" : "Dieses Format ist noch Unbekannt";
    return;
  }
  const uint64_t records = (file.Size() - 8) / kRecordSize;
  // The frame ends are only known from the points, so all records are read before the show
  // is touched; a short read leaves the show as it was.
  const auto bytes = file.ReadBlock(static_cast<size_t>(records * kRecordSize));
  if (bytes.size() < records * kRecordSize) {
    store.IoStatus = "Lesefehler Bilda";
    return;
  }
  if (!StartShowRead(store, merge)) return;

  const uint8_t* frameStart = bytes.data();
  uint32_t p = 0;  // index of the current record within its frame
  for (uint64_t r = 0; r < records; ++r) {
    const uint8_t* rec = bytes.data() + r * kRecordSize;
    if (IsFrameEnd(rec[7])) {
      if (!store.HasRoomForFrame()) {
        store.IoStatus = kTooManyFrames;
        return;
      }
      const std::span<ShowPoint> points = store.NewFrame(p + 1);
      ConvertRecords(frameStart, p + 1, points.data());
      const auto last = static_cast<uint16_t>(p);
      store.CommitFrame(last, RealPointsTail(last));
      frameStart = rec + kRecordSize;
      p = 0;
    } else if (p == kMaxLastIndex) {
      store.IoStatus = "Ungültige Daten";
      return;
    } else {
      ++p;
    }
  }
}

}  // namespace lumarex
