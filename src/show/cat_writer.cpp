#include <cstring>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/byte_order.h"
#include "show/cat.h"
#include "show/writer_support.h"

namespace lumarex {

namespace {

struct CatLayout {
  bool phoenix;
  const char* createFailed;
  const char* sectionFailed;
  const char* countFailed;
  const char* emptyCountFailed;
  const char* pointsFailed;
};

constexpr CatLayout kLds2008{false,
                             "Konnte Cat2008 nicht schreiben",
                             "Schreibfehler Cat2008 in Format ",
                             "Schreibfehler Cat2008 in Punkte je Frame",
                             "Schreibfehler Cat RGB in Punkte je Frame",
                             "Schreibfehler Cat2008 in XYZ "};
constexpr CatLayout kPhoenix{true,
                             "Konnte Phoenix RGB Cat nicht schreiben",
                             "Schreibfehler Phoenix RGB Cat in Format ",
                             "Schreibfehler Phoenix RGB Cat in Punkte je Frame",
                             "Schreibfehler Phoenix RGB Cat in Punkte je Frame",
                             "Schreibfehler Phoenix RGB Cat in XYZ "};

constexpr size_t kRecordSize = 11;

size_t EncodeRecords(const ShowPoint* points, uint32_t count, uint8_t* out) {
  uint8_t* rec = out;
  for (uint32_t i = 0; i < count; ++i, rec += kRecordSize) {
    const ShowPoint& p = points[i];
    StoreI16LE(rec, p.X);
    StoreI16LE(rec + 2, NegateY(p.Y));
    StoreI16LE(rec + 4, p.Z);
    const bool lit = p.Visible != 0;
    rec[6] = lit ? 0x80 : 0xC0;
    rec[7] = 0;
    rec[8] = lit ? p.R : 0;
    rec[9] = lit ? p.G : 0;
    rec[10] = lit ? p.B : 0;
  }
  return size_t{count} * kRecordSize;
}

void WriteCat(const CatLayout& layout, ShowStore& store, const std::string& fileName,
              int32_t firstFrame, int32_t lastFrame, DesktopServices& desktop,
              SaveProgress* progress) {
  store.IoStatus = "I.O.";
  AtomicFile file;
  if (!file.Open(WithWriterExtension(fileName, ".CAT"))) {
    store.IoStatus = layout.createFailed;
    return;
  }

  if (layout.phoenix) {
    uint8_t header[112] = {0x74, 0x61, 0x43, 0x6E};
    for (uint8_t i = 0; i < 108; ++i) header[4 + i] = i;
    if (!file.Write(header, sizeof header)) {
      store.IoStatus = layout.sectionFailed;
      return;
    }
  } else {
    // LDS 2008 players expect the file to open with an empty RGB frame.
    const uint8_t emptyFrame[3] = {1, 0, 0};
    if (!file.Write(emptyFrame, sizeof emptyFrame)) {
      store.IoStatus = layout.sectionFailed;
      return;
    }
  }
  if (progress != nullptr) progress->SaveStarted();
  desktop.ProcessPendingMessages();

  const FrameRange range = ClampedRange(firstFrame, lastFrame);
  std::vector<uint8_t> records;
  for (int64_t n = range.first; n <= range.last; ++n) {
    const auto frame = static_cast<uint32_t>(n);
    if (progress != nullptr) progress->FrameSaved(frame);
    desktop.ProcessPendingMessages();

    const uint8_t sectionStart = layout.phoenix ? 0 : 1;
    if (!file.Write(&sectionStart, 1)) {
      store.IoStatus = layout.sectionFailed;
      return;
    }
    const uint32_t count = WrittenPointCount(store, frame);
    uint8_t countBytes[2];
    StoreU16LE(countBytes, static_cast<uint16_t>(count));
    if (!file.Write(countBytes, 2)) {
      store.IoStatus = count > 0 ? layout.countFailed : layout.emptyCountFailed;
      return;
    }
    if (count == 0) continue;
    records.resize(size_t{count} * kRecordSize);
    const size_t bytes = EncodeRecords(store.FramePoints[frame].data(), count, records.data());
    if (!file.Write(records.data(), bytes)) {
      store.IoStatus = layout.pointsFailed;
      return;
    }
  }
  if (!file.Commit()) store.IoStatus = layout.createFailed;
}

}  // namespace

void WriteCat2008(ShowStore& store, const std::string& fileName, int32_t firstFrame,
                  int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress) {
  WriteCat(kLds2008, store, fileName, firstFrame, lastFrame, desktop, progress);
}

void WritePhoenixCat(ShowStore& store, const std::string& fileName, int32_t firstFrame,
                     int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress) {
  WriteCat(kPhoenix, store, fileName, firstFrame, lastFrame, desktop, progress);
}

}  // namespace lumarex
