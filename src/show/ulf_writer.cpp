#include <cstring>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/byte_order.h"
#include "show/ulf.h"
#include "show/writer_support.h"

namespace lumarex {

namespace {

constexpr size_t kRecordSize = 8;
constexpr uint32_t kScanSpeed = 28000;

size_t EncodeRecords(const ShowPoint* points, uint32_t count, uint8_t* out) {
  uint8_t* rec = out;
  for (uint32_t i = 0; i < count; ++i, rec += kRecordSize) {
    const ShowPoint& p = points[i];
    StoreI16LE(rec, p.X);
    StoreI16LE(rec + 2, NegateY(p.Y));
    const bool lit = p.Visible != 0;
    rec[4] = lit ? p.R : 0;
    rec[5] = lit ? p.G : 0;
    rec[6] = lit ? p.B : 0;
    rec[7] = lit ? 0xFF : 0;
  }
  return size_t{count} * kRecordSize;
}

}  // namespace

void WriteUlf(ShowStore& store, const std::string& fileName, int32_t firstFrame, int32_t lastFrame,
              DesktopServices& desktop, SaveProgress* progress) {
  store.IoStatus = "I.O.";
  AtomicFile file;
  if (!file.Open(WithWriterExtension(fileName, ".ULF"))) {
    store.IoStatus = "Konnte Ulf Datei nicht schreiben";
    return;
  }
  if (progress != nullptr) progress->SaveStarted();

  const FrameRange range = ClampedRange(firstFrame, lastFrame);
  std::vector<uint8_t> records;
  for (int64_t n = range.first; n <= range.last; ++n) {
    const auto frame = static_cast<uint32_t>(n);
    if (progress != nullptr) progress->FrameSaved(frame);
    desktop.ProcessPendingMessages();

    uint8_t header[16] = {'U', 'L', 'F', 0, 2};
    header[12] = 8;
    if (!file.Write(header, sizeof header)) {
      store.IoStatus = "Schreibfehler Ulf in Header/Laufzeit ";
      return;
    }
    uint8_t word[4];
    StoreU32LE(word, kScanSpeed);
    if (!file.Write(word, sizeof word)) {
      store.IoStatus = "Schreibfehler Ulf in Scannspedd ";
      return;
    }
    const uint32_t count = WrittenPointCount(store, frame);
    StoreU32LE(word, count * static_cast<uint32_t>(kRecordSize));
    if (!file.Write(word, sizeof word)) {
      store.IoStatus = "Schreibfehler Ulf in Filesize";
      return;
    }
    records.resize(size_t{count} * kRecordSize);
    const size_t bytes = EncodeRecords(store.FramePoints[frame].data(), count, records.data());
    if (!file.Write(records.data(), bytes)) {
      store.IoStatus = "Schreibfehler Ulf in XY ";
      return;
    }
  }
  if (!file.Commit()) store.IoStatus = "Konnte Ulf Datei nicht schreiben";
}

}  // namespace lumarex
