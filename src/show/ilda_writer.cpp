#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/byte_order.h"
#include "show/file_names.h"
#include "show/ilda.h"

namespace lumarex {

namespace {

void FillHeader(uint8_t* h, uint8_t code, uint16_t records, uint16_t number, uint16_t total) {
  std::memset(h, 0, 32);
  std::memcpy(h, "ILDA", 4);
  h[7] = code;
  std::memcpy(h + 16, "Lumarex ", 8);
  StoreU16BE(h + 24, records);
  StoreU16BE(h + 26, number);
  StoreU16BE(h + 28, total);
}

// Encodes `count` points as format 4 or 5 records; returns the bytes used.
size_t EncodeRecords(const ShowPoint* points, uint32_t count, bool withZ, uint8_t* out) {
  const size_t recordSize = withZ ? 10 : 8;
  uint8_t* rec = out;
  for (uint32_t i = 0; i < count; ++i, rec += recordSize) {
    const ShowPoint& p = points[i];
    StoreI16BE(rec, p.X);
    StoreI16BE(rec + 2, p.Y);
    uint8_t* status = rec + 4;
    if (withZ) {
      StoreI16BE(rec + 4, p.Z);
      status = rec + 6;
    }
    const bool lit = p.Visible != 0;
    status[0] = static_cast<uint8_t>((lit ? 0x00 : 0x40) | (i + 1 == count ? 0x80 : 0x00));
    // Blanked points are written black.
    status[1] = lit ? p.B : 0;
    status[2] = lit ? p.G : 0;
    status[3] = lit ? p.R : 0;
  }
  return size_t{count} * recordSize;
}

}  // namespace

void WriteIlda(ShowStore& store, const std::string& fileName, int32_t firstFrame, int32_t lastFrame,
               DesktopServices& desktop, SaveProgress* progress) {
  store.IoStatus = "I.O.";
  const std::string target = UpperExtension(fileName) == ".ILD" ? fileName : fileName + ".ILD";

  AtomicFile file;
  if (!file.Open(target)) {
    store.IoStatus = "Konnte Ilda Format 4/5 n.,icht schreiben";
    return;
  }
  if (progress != nullptr) progress->SaveStarted();
  desktop.ProcessPendingMessages();

  const int64_t first = std::max<int64_t>(firstFrame, 0);
  const int64_t last = std::min<int64_t>(lastFrame, ShowStore::kSlotCount - 1);
  const auto framesInRange =
      static_cast<uint16_t>(lastFrame >= firstFrame ? lastFrame - firstFrame + 1 : 0);

  std::vector<uint8_t> records;
  uint8_t header[32];
  uint8_t lastCode = 5;
  uint16_t written = 0;
  for (int64_t n = first; n <= last; ++n) {
    const auto frame = static_cast<uint32_t>(n);
    const uint32_t count = std::min<uint32_t>(store.RealPointCount(frame), 65535);
    const ShowPoint* points = store.FramePoints[frame].data();
    const bool withZ =
        std::any_of(points, points + count, [](const ShowPoint& p) { return p.Z != 0; });
    const uint8_t code = withZ ? 4 : 5;
    if (progress != nullptr) progress->FrameSaved(frame);

    FillHeader(header, code, static_cast<uint16_t>(count), written, framesInRange);
    if (!file.Write(header, sizeof header)) {
      store.IoStatus = withZ ? "Schreibfehler Ilda 4 im Kopf " : "Schreibfehler Ilda 5 im Kopf ";
      return;
    }
    records.resize(size_t{count} * 10);
    const size_t bytes = EncodeRecords(points, count, withZ, records.data());
    if (!file.Write(records.data(), bytes)) {
      store.IoStatus = withZ ? "Schreibfehler Ilda 4 in Frame" : "Schreibfehler Ilda 5 im Frame";
      return;
    }
    lastCode = code;
    ++written;
  }

  // The standard's closing section: players that look for it stop there, and a show that
  // ends in an empty frame keeps it when read back.
  FillHeader(header, lastCode, 0, written, framesInRange);
  if (!file.Write(header, sizeof header) || !file.Commit()) {
    store.IoStatus =
        lastCode == 4 ? "Schreibfehler Ilda 4 im Kopf " : "Schreibfehler Ilda 5 im Kopf ";
  }
}

}  // namespace lumarex
