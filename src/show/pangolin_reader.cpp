#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/byte_order.h"
#include "show/input_file.h"
#include "show/pangolin.h"
#include "show/reader_support.h"

namespace lumarex {

namespace {

constexpr size_t kDescriptorSize = 72;

struct RecordKind {
  uint32_t size;  // 0: the frame has no records in the file
  bool hasZ;
  const char* shortRead;
};

// False for the kinds that are not valid.
bool KindOf(uint8_t kind, RecordKind& out) {
  switch (kind) {
    case 0:
    case 4:
    case 6:
    case 8:
      out = {8, true, "Lesefehler Pango 3D"};
      return true;
    case 1:
    case 3:
    case 5:
    case 7:
    case 9:
    case 13:
      out = {6, false, "Lesefehler Pango 2D"};
      return true;
    case 2:
      out = {10, true, "Lesefehler Pango Format:2"};
      return true;
    default:
      if (kind > 200) {
        out = {0, false, nullptr};
        return true;
      }
      return false;
  }
}

struct Descriptor {
  uint16_t count;
  uint8_t kind;
};

void ConvertRecords(const uint8_t* rec, uint32_t count, const RecordKind& kind, ShowPoint* out,
                    const std::vector<RgbColour>& palette) {
  const uint32_t colourOffset = kind.hasZ ? 6 : 4;
  for (uint32_t i = 0; i < count; ++i, rec += kind.size) {
    ShowPoint& p = out[i];
    p.X = LoadI16BE(rec);
    p.Y = LoadI16BE(rec + 2);
    p.Z = kind.hasZ ? LoadI16BE(rec + 4) : int16_t{0};
    const uint8_t* colour = rec + colourOffset;
    p.Visible = colour[0] != 0 || colour[1] != 0 ? 1 : 0;
    // An index beyond the file's palette has no colour of its own: it is shown black.
    const RgbColour c = colour[1] < palette.size() ? palette[colour[1]] : RgbColour{};
    p.R = c.R;
    p.G = c.G;
    p.B = c.B;
  }
}

}  // namespace

void ReadPangolin(ShowStore& store, const std::string& fileName, bool merge,
                  DesktopServices& desktop) {
  store.IoStatus = "I.O.";
  InputFile file;
  if (!file.Open(fileName)) {
    store.IoStatus = WithErrorNumber("LDB Datei Lesefehler", errno);
    return;
  }
  desktop.ProcessPendingMessages();
  store.ShowFileSize = ShownFileSize(file);

  uint8_t start[18];
  if (file.Read(start, sizeof start) < sizeof start ||
      std::memcmp(start, "PANGOLINOBJECT1", 15) != 0) {
    store.IoStatus = "Kein Pangolin File";
    desktop.ShowMessage(store.IoStatus);
    return;
  }
  const uint8_t nameLength = start[15];
  const uint16_t frames = LoadU16BE(start + 16);

  // Everything up to the point data is read before the show is touched, so a file cut short
  // in its header leaves the show as it was.
  const char* const kHeaderShort = "Lesefehler Pango im Header";
  uint8_t paletteSize = 0;
  const uint64_t nameBlock = nameLength > 0 ? nameLength + 1u : 1u;
  if (file.Skip(nameBlock) < nameBlock || file.Read(&paletteSize, 1) < 1) {
    store.IoStatus = kHeaderShort;
    return;
  }
  std::vector<RgbColour> palette(paletteSize);
  const auto paletteBytes = file.ReadBlock(size_t{paletteSize} * 4);
  if (paletteBytes.size() < size_t{paletteSize} * 4) {
    store.IoStatus = kHeaderShort;
    return;
  }
  for (size_t i = 0; i < paletteSize; ++i) {
    const uint8_t* entry = paletteBytes.data() + i * 4;
    palette[i] = {entry[3], entry[2], entry[1]};
  }
  const auto table = file.ReadBlock(size_t{frames} * kDescriptorSize);
  if (table.size() < size_t{frames} * kDescriptorSize) {
    store.IoStatus = kHeaderShort;
    return;
  }
  std::vector<Descriptor> descriptors(frames);
  for (size_t k = 0; k < frames; ++k) {
    const uint8_t* d = table.data() + k * kDescriptorSize;
    descriptors[k] = {LoadU16BE(d + 4), d[7]};
  }

  if (!StartShowRead(store, merge)) return;
  for (const Descriptor& d : descriptors) {
    RecordKind kind;
    if (!KindOf(d.kind, kind)) {
      store.IoStatus = "Unbekanntes Pangolin LDB Format im Frame " + std::to_string(d.kind);
      desktop.ShowMessage(store.IoStatus);
      return;
    }
    if (!store.HasRoomForFrame()) {
      store.IoStatus = kTooManyFrames;
      return;
    }
    const size_t wanted = size_t{d.count} * kind.size;
    const auto bytes = file.ReadBlock(wanted);
    if (bytes.size() < wanted) {
      store.IoStatus = kind.shortRead;
      return;
    }
    // Frames of the kinds without records keep their N points, blanked at the origin.
    const std::span<ShowPoint> points = store.NewFrame(d.count + 1u);
    if (kind.size > 0) ConvertRecords(bytes.data(), d.count, kind, points.data(), palette);
    const auto last = static_cast<uint16_t>(d.count > 0 ? d.count - 1 : 0);
    store.CommitFrame(last, RealPointsTail(last));
    // Fewer bytes than the smallest record end the show, even where further descriptors
    // promise frames that need no bytes.
    if (BytesLeft(file) < 6) break;
  }
}

}  // namespace lumarex
