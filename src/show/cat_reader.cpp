#include <cerrno>

#include "platform/byte_order.h"
#include "show/cat.h"
#include "show/input_file.h"
#include "show/point_words.h"
#include "show/reader_support.h"
#include "show/record_shuffle.h"

namespace lumarex {

namespace {

constexpr uint8_t kKindLds = 0;
constexpr uint8_t kKindRgb = 1;
constexpr uint8_t kKindPhoenix = 0x74;  // "t"
constexpr size_t kLdsRecordSize = 8;
constexpr size_t kRgbRecordSize = 11;
constexpr size_t kPhoenixHeaderSize = 111;
constexpr size_t kPaletteFileSize = 576;

// Both converters write every point of their array (InputFile::ConvertFunction); the LDS
// one takes the palette as context, which no step of a Cat read changes. Blanked points are
// black with index 0, by a mask instead of a branch: beam states alternate unpredictably,
// and the branch cost a third of the read time (Cat RGB, 3000-point frames: 191 ms CPU with
// it, 124 ms without).
void ConvertLdsRecords(const uint8_t* rec, uint32_t count, ShowPoint* out, size_t outSize,
                       const void* context) {
  const PaletteTable& palette = *static_cast<const PaletteTable*>(context);
  for (uint32_t i = 0; i < count; ++i, rec += kLdsRecordSize) {
    const uint8_t colour = rec[6];
    const auto lit = static_cast<uint8_t>((colour & 0x40) == 0);
    const auto mask = static_cast<uint8_t>(-lit);
    const uint8_t index = colour & 0x3F;
    const RgbColour c = palette[index];
    StorePoint(out + i,
               PointHead(LoadU16LE(rec), NegatedY(LoadU16LE(rec + 2)), LoadU16LE(rec + 4),
                         c.R & mask, c.G & mask),
               PointTail(c.B & mask, lit, index & mask));
  }
  StoreZeroPoints(out, count, outSize);
}

// X, Y, Z, status, a spare byte, red, green, blue; the status is also the colour index.
constexpr shuffle::Layout kRgbLayout{kRgbRecordSize,
                                     {0, 1, 2, 3, 4, 5, 8, 9, 10, 6, 6, -1},
                                     shuffle::Layout::kLitUnlessBit6,
                                     true,
                                     true};

void ConvertRgbRecords(const uint8_t* rec, uint32_t count, ShowPoint* out, size_t outSize,
                       const void*) {
  uint32_t i = shuffle::ConvertLeadingGroups<kRgbLayout>(rec, count, out);
  rec += size_t{i} * kRgbRecordSize;
  for (; i < count; ++i, rec += kRgbRecordSize) {
    const uint8_t status = rec[6];
    const auto lit = static_cast<uint8_t>((status & 0x40) == 0);
    const auto mask = static_cast<uint8_t>(-lit);
    StorePoint(out + i,
               PointHead(LoadU16LE(rec), NegatedY(LoadU16LE(rec + 2)), LoadU16LE(rec + 4),
                         rec[8] & mask, rec[9] & mask),
               PointTail(rec[10] & mask, lit, status & mask));
  }
  StoreZeroPoints(out, count, outSize);
}

// Reads one LDS frame after its kind byte. False ends the reading.
bool ReadLdsFrame(ShowStore& store, InputFile& file) {
  uint8_t countBytes[2];
  if (file.Read(countBytes, 2) < 2) return false;
  const uint16_t count = LoadU16LE(countBytes);
  const auto bytes = file.ReadBlock(count * kLdsRecordSize);
  if (bytes.size() < count * kLdsRecordSize) {
    store.IoStatus = "Lesefehler Cat";
    return false;
  }
  file.ConvertLater(bytes, count, store.NewFrameForOverwrite(count + 1u), ConvertLdsRecords,
                    &store.Palette);
  const auto last = static_cast<uint16_t>(count >= 2 ? count - 1 : 0);
  store.CommitFrame(last, RealPointsTail(last));
  return true;
}

// Reads the point count and records of an RGB or Phoenix frame. False ends the reading.
bool ReadRgbFrame(ShowStore& store, InputFile& file) {
  uint8_t countBytes[2];
  if (file.Read(countBytes, 2) < 2) return false;
  const uint16_t count = LoadU16LE(countBytes);
  const auto bytes = file.ReadBlock(count * kRgbRecordSize);
  if (bytes.size() < count * kRgbRecordSize) {
    store.IoStatus = "Lesefehler Cat RGB in XYZ";
    return false;
  }
  file.ConvertLater(bytes, count, store.NewFrameForOverwrite(count + 1u), ConvertRgbRecords,
                    nullptr);
  store.CommitFrame(count, FrameTail::kAppendedZeroPoint);
  return true;
}

}  // namespace

void ReadCat(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop) {
  store.IoStatus = "I.O.";
  InputFile file;
  if (!file.Open(fileName)) {
    store.IoStatus = WithErrorNumber("Cat Datei Lesefehler", errno);
    return;
  }
  store.ShowFileSize = ShownFileSize(file);
  const uint32_t framesBefore = merge ? store.FrameCount : 0;
  if (!StartShowRead(store, merge)) return;
  desktop.ProcessPendingMessages();
  store.SourceFormatCode = 2;

  // Once the Phoenix header has been met, every further section is a Phoenix frame
  // without a kind byte.
  bool phoenix = false;
  // The point data of every section kind is counted off the bytes left, so that one or two
  // stray bytes at the end are never taken for a section.
  while (BytesLeft(file) > 2) {
    if (!store.HasRoomForFrame()) {
      store.IoStatus = kTooManyFrames;
      break;
    }
    uint8_t kind = kKindPhoenix;
    if (!phoenix && file.Read(&kind, 1) < 1) break;

    if (kind == kKindPhoenix) {
      if (!phoenix) {
        uint8_t header[kPhoenixHeaderSize];
        const size_t got = file.Read(header, sizeof header);
        // The mark is known as soon as its two bytes are, so a cut header still tells
        // which system wrote the file.
        store.SourceFormatCode = got >= 2 && header[0] == 'a' && header[1] == 'C' ? 16 : 17;
        if (got < sizeof header) {
          store.IoStatus = "Lesefehler Cat RGB in XYZ";
          break;
        }
        phoenix = true;
      }
      uint8_t frameByte;
      if (file.Read(&frameByte, 1) < 1 || !ReadRgbFrame(store, file)) break;
    } else if (kind == kKindLds) {
      if (!ReadLdsFrame(store, file)) break;
    } else if (kind == kKindRgb) {
      if (!ReadRgbFrame(store, file)) break;
      store.SourceFormatCode = 3;
    } else {
      store.AppendEmptyFrame();  // an unknown kind still counts as a section
    }
  }
  // The frames are touched again from here on.
  file.FinishConversions();
  DropTrailingEmptyFrames(store, framesBefore);
}

void ReadPal(ShowStore& store, const std::string& fileName) {
  store.IoStatus = "Pal I.O.";
  InputFile file;
  if (!file.Open(fileName)) {
    store.IoStatus = WithErrorNumber("LDS Pal Lesefehler", errno);
    return;
  }
  store.ShowFileSize = ShownFileSize(file);
  if (file.Size() != kPaletteFileSize) {
    store.IoStatus = "Unzulässige Dateilänge in PAL";
    return;
  }
  uint8_t bytes[kPaletteFileSize];
  // The file may have shrunk since it was measured; a palette is taken whole or not at all.
  if (file.Read(bytes, sizeof bytes) < sizeof bytes) {
    store.IoStatus = "Unzulässige Dateilänge in PAL";
    return;
  }
  for (size_t i = 0; i < 64; ++i) {
    const uint8_t* entry = bytes + i * 9;
    store.Palette[i] = {entry[3], entry[4], entry[5]};
  }
  store.IoStatus = "Pal muß vor dem *.Cat File geladen werden !";
}

}  // namespace lumarex
