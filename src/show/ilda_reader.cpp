#include <cstring>

#include "platform/byte_order.h"
#include "show/ilda.h"
#include "show/input_file.h"
#include "show/point_words.h"
#include "show/record_shuffle.h"

namespace lumarex {

namespace {

constexpr const char kTooManyFrames[] = "Zu viele Frames (max. 65535)";

struct FrameFormat {
  uint32_t recordSize;
  bool hasZ;
  bool trueColour;  // formats 4 and 5 carry blue, green, red in each record
  const char* shortReadMessage;
};

constexpr FrameFormat kFrameFormats[6] = {
    {8, true, false, "Unerwartetes Fileende Format 0"},
    {6, false, false, "Lesefehler Format 1"},
    {0, false, false, nullptr},
    {0, false, false, nullptr},
    {10, true, true, "Lesefehler Format 4"},
    {8, false, true, "Lesefehler Format 5"},
};

// Indexed frames take the palette and true-colour table as they stand at the frame, and a
// later section may change both: they are converted at once. The depth is a template
// parameter so that the per-point loop has no branches on it.
template <bool kHasZ>
void ConvertIndexedRecords(const uint8_t* rec, uint32_t count, ShowPoint* out,
                           const PaletteTable& palette, const std::array<RgbColour, 65536>* table) {
  constexpr uint32_t kStatus = kHasZ ? 6 : 4;
  constexpr uint32_t kRecordSize = kStatus + 2;
  for (uint32_t i = 0; i < count; ++i, rec += kRecordSize) {
    const uint8_t visible = (rec[kStatus] & 0x40) != 0 ? 0 : 1;
    const RgbColour c = table != nullptr ? (*table)[i] : palette[rec[kStatus + 1]];
    StorePoint(
        out + i,
        PointHead(LoadU16BE(rec), LoadU16BE(rec + 2), kHasZ ? LoadU16BE(rec + 4) : 0, c.R, c.G),
        PointTail(c.B, visible, 0));
  }
}

// Format 4: X, Y, Z big-endian, status, blue, green, red; format 5 without Z.
constexpr shuffle::Layout kFormat4Layout{
    10, {1, 0, 3, 2, 5, 4, 9, 8, 7, 6, -1, -1}, shuffle::Layout::kLitUnlessBit6, false, false};
constexpr shuffle::Layout kFormat5Layout{
    8, {1, 0, 3, 2, -1, -1, 7, 6, 5, 4, -1, -1}, shuffle::Layout::kLitUnlessBit6, false, false};

// True-colour frames carry their colours: they may be converted later (InputFile), into an
// array whose every point the conversion writes.
template <bool kHasZ>
void ConvertTrueColourFrame(const uint8_t* rec, uint32_t count, ShowPoint* out, size_t outSize,
                            const void*) {
  constexpr uint32_t kStatus = kHasZ ? 6 : 4;
  constexpr uint32_t kRecordSize = kStatus + 4;
  static constexpr const shuffle::Layout& kLayout = kHasZ ? kFormat4Layout : kFormat5Layout;
  uint32_t i = shuffle::ConvertLeadingGroups<kLayout>(rec, count, out);
  rec += size_t{i} * kRecordSize;
  for (; i < count; ++i, rec += kRecordSize) {
    const uint8_t visible = (rec[kStatus] & 0x40) != 0 ? 0 : 1;
    StorePoint(out + i,
               PointHead(LoadU16BE(rec), LoadU16BE(rec + 2), kHasZ ? LoadU16BE(rec + 4) : 0,
                         rec[kStatus + 3], rec[kStatus + 2]),
               PointTail(rec[kStatus + 1], visible, 0));
  }
  StoreZeroPoints(out, count, outSize);
}

}  // namespace

IldaReader::IldaReader() : TrueColourTable(std::make_unique<std::array<RgbColour, 65536>>()) {}

void IldaReader::ReadIlda(ShowStore& store, const std::string& fileName, bool merge,
                          DesktopServices& desktop) {
  for (std::string& seen : IldaFormatsSeen) seen.clear();
  store.IoStatus = "I.O.";

  InputFile file;
  if (!file.Open(fileName)) {
    store.IoStatus = "Datei nicht vorhanden";
    return;
  }
  store.ShowFileSize = static_cast<uint32_t>(file.Size());
  // A countdown of the bytes left, kept from the headers' sizes; it decides when a closing
  // section is passed over and when the reading stops.
  int64_t remaining = static_cast<int64_t>(file.Size());

  store.LoadDefaultPalette();
  if (!merge) {
    store.ClearShow();
    store.FrameCount = 0;
  } else {
    if (!store.HasRoomForFrame()) {
      store.IoStatus = kTooManyFrames;
      return;
    }
    ++store.FrameCount;  // one empty frame between the two shows
  }
  desktop.ProcessPendingMessages();

  bool useTrueColourTable = false;
  uint8_t section[32];
  for (;;) {
    remaining -= 4;
    if (file.Read(section, 4) < 4 || std::memcmp(section, "ILDA", 4) != 0) break;
    remaining -= 4;
    if (file.Read(section + 4, 4) < 4) break;
    const uint8_t code = section[7];
    if (code > 5) break;
    IldaFormatsSeen[code] = std::string(" ") + static_cast<char>('0' + code);

    if (code == 2) {
      remaining -= 18;
      if (file.Read(section + 8, 18) < 18) break;
      uint32_t colours = LoadU16BE(section + 24);
      if (colours == 1) colours = 256;  // a count of 1 means a full table
      if (colours > 0) {
        // The six further header bytes are not counted down: files written for players that
        // count this way must end the same way here.
        if (file.Read(section + 26, 6) < 6) {
          store.IoStatus = "Lesefehler in Colortabelle";
          break;
        }
        remaining -= int64_t{colours} * 3;
        // A table of more than 256 colours keeps the first 256; the rest is skipped.
        const uint32_t kept = colours < 256 ? colours : 256;
        const auto bytes = file.ReadBlock(size_t{kept} * 3);
        const uint64_t surplus = uint64_t{colours - kept} * 3;
        if (bytes.size() < size_t{kept} * 3 || file.Skip(surplus) < surplus) {
          store.IoStatus = "Lesefehler in Colortabelle";
          break;
        }
        for (uint32_t i = 0; i < kept; ++i) {
          store.Palette[i] = {bytes[i * 3], bytes[i * 3 + 1], bytes[i * 3 + 2]};
        }
      }
      store.IoStatus = "Ildafile IO";
    } else if (code == 3) {
      remaining -= 8;
      if (file.Read(section + 8, 8) < 8) break;
      // Only the low 16 bits of each big-endian 32-bit field count.
      const uint32_t length = LoadU16BE(section + 10);
      const uint32_t entries = LoadU16BE(section + 14);
      if (length != entries * 3 && length != entries * 3 + 4) break;
      remaining -= int64_t{entries} * 3;
      const auto bytes = file.ReadBlock(size_t{entries} * 3);
      if (bytes.size() < size_t{entries} * 3) {
        store.IoStatus = "Lesefehler in Truecolortabelle";
        break;
      }
      for (uint32_t i = 0; i < entries; ++i) {
        (*TrueColourTable)[i] = {bytes[i * 3], bytes[i * 3 + 1], bytes[i * 3 + 2]};
      }
      useTrueColourTable = true;
    } else {
      const FrameFormat& format = kFrameFormats[code];
      remaining -= 24;
      if (file.Read(section + 8, 24) < 24) break;
      const uint32_t count = LoadU16BE(section + 24);
      const int64_t threshold = code == 4 ? 10 : 8;
      if (remaining > threshold && count > 0) {
        if (!store.HasRoomForFrame()) {
          store.IoStatus = kTooManyFrames;
          break;
        }
        const size_t bytesWanted = size_t{count} * format.recordSize;
        remaining -= static_cast<int64_t>(bytesWanted);
        const auto bytes = file.ReadBlock(bytesWanted);
        if (bytes.size() < bytesWanted) {
          store.IoStatus = format.shortReadMessage;
          break;
        }
        if (format.trueColour) {
          file.ConvertLater(
              bytes.first(bytesWanted), count, store.NewFrameForOverwrite(count + 1),
              code == 4 ? ConvertTrueColourFrame<true> : ConvertTrueColourFrame<false>, nullptr);
        } else {
          const std::span<ShowPoint> points = store.NewFrame(count + 1);
          const auto* table = useTrueColourTable ? TrueColourTable.get() : nullptr;
          if (code == 0) {
            ConvertIndexedRecords<true>(bytes.data(), count, points.data(), store.Palette, table);
          } else {
            ConvertIndexedRecords<false>(bytes.data(), count, points.data(), store.Palette, table);
          }
        }
        store.CommitFrame(static_cast<uint16_t>(count - 1), FrameTail::kAllReal);
      } else if (remaining > 8 && count == 0) {
        if (!store.HasRoomForFrame()) {
          store.IoStatus = kTooManyFrames;
          break;
        }
        store.AppendTwoPointEmptyFrame();
      }
      useTrueColourTable = false;
    }

    if (file.AtEnd() || remaining < 5) break;
  }
}

}  // namespace lumarex
