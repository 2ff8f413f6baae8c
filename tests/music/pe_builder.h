#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace lumarex::test {

inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutText(std::vector<uint8_t>& b, size_t at, const std::string& text) {
  if (b.size() < at + text.size() + 1) b.resize(at + text.size() + 1);
  std::memcpy(&b[at], text.c_str(), text.size() + 1);
}
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline constexpr uint32_t kCode = 0x60000020;   // code, execute, read
inline constexpr uint32_t kRData = 0x40000040;  // initialised data, read
inline constexpr uint32_t kData = 0xC0000040;   // initialised data, read, write

// Writes a 32-bit PE library image byte by byte: DOS header, "PE", file header, a PE32
// optional header with 16 directories, the section table and each section's raw data.
struct PeBuilder {
  struct Section {
    uint32_t rva = 0;
    uint32_t virtualSize = 0;
    uint32_t characteristics = 0;
    std::vector<uint8_t> data;  // the raw data; may be shorter than virtualSize
    bool noRawData = false;
  };

  uint16_t machine = 0x014C;
  uint32_t imageBase = 0x10000000;
  uint32_t entryPoint = 0;
  uint32_t sizeOfImage = 0;  // 0: just enough for the sections
  std::array<std::pair<uint32_t, uint32_t>, 16> directories{};
  std::vector<Section> sections;

  // References to sections stay valid only until the next AddSection.
  Section& AddSection(uint32_t rva, uint32_t virtualSize, uint32_t characteristics) {
    sections.push_back(Section{rva, virtualSize, characteristics, {}, false});
    return sections.back();
  }
  Section& At(uint32_t rva) {
    return *std::find_if(sections.begin(), sections.end(),
                         [rva](const Section& s) { return s.rva == rva; });
  }

  std::vector<uint8_t> Build() const {
    constexpr uint32_t kLfanew = 0x40;
    constexpr uint32_t kOptionalSize = 224;
    const uint32_t tableAt = kLfanew + 24 + kOptionalSize;
    const auto count = static_cast<uint32_t>(sections.size());
    const uint32_t headers = (tableAt + 40 * count + 0x1FF) & ~0x1FFu;
    uint32_t image = sizeOfImage;
    if (image == 0) {
      for (const Section& s : sections) {
        const auto size = std::max<uint32_t>(s.virtualSize, static_cast<uint32_t>(s.data.size()));
        image = std::max(image, (s.rva + size + 0xFFF) & ~0xFFFu);
      }
    }
    std::vector<uint8_t> b(headers, 0);
    Put16(b, 0, 0x5A4D);
    Put32(b, 60, kLfanew);
    std::memcpy(&b[kLfanew], "PE\0\0", 4);
    const uint32_t file = kLfanew + 4;
    Put16(b, file, machine);
    Put16(b, file + 2, static_cast<uint16_t>(count));
    Put16(b, file + 16, static_cast<uint16_t>(kOptionalSize));
    Put16(b, file + 18, 0x2102);  // executable, 32-bit, DLL
    const uint32_t opt = file + 20;
    Put16(b, opt, 0x010B);
    Put32(b, opt + 16, entryPoint);
    Put32(b, opt + 28, imageBase);
    Put32(b, opt + 32, 0x1000);
    Put32(b, opt + 36, 0x200);
    Put32(b, opt + 56, image);
    Put32(b, opt + 60, headers);
    Put32(b, opt + 92, 16);
    for (size_t i = 0; i < 16; ++i) {
      Put32(b, opt + 96 + 8 * i, directories[i].first);
      Put32(b, opt + 100 + 8 * i, directories[i].second);
    }
    uint32_t raw = headers;
    for (uint32_t i = 0; i < count; ++i) {
      const Section& s = sections[i];
      const uint32_t at = tableAt + 40 * i;
      std::memcpy(&b[at], ".sect", 5);
      Put32(b, at + 8, s.virtualSize);
      Put32(b, at + 12, s.rva);
      Put32(b, at + 16, static_cast<uint32_t>(s.data.size()));
      Put32(b, at + 20, s.noRawData ? 0 : raw);
      Put32(b, at + 36, s.characteristics);
      if (s.noRawData) continue;
      b.resize(raw, 0);
      b.insert(b.end(), s.data.begin(), s.data.end());
      raw = (static_cast<uint32_t>(b.size()) + 0x1FF) & ~0x1FFu;
    }
    return b;
  }
};

// A library image that uses every part of the loader, for a preferred base:
//   0x1000 code (entry at 0x1000), 0x2000 imports and exports, 0x3000 data with relocated
//   values and the import address tables, 0x4000 base relocations.
inline PeBuilder SampleLibrary(uint32_t imageBase) {
  PeBuilder pe;
  pe.imageBase = imageBase;
  pe.entryPoint = 0x1000;
  pe.AddSection(0x1000, 0x100, kCode);
  pe.AddSection(0x2000, 0x600, kRData);
  pe.AddSection(0x3000, 0x100, kData);
  pe.AddSection(0x4000, 0x10, kRData);
  auto& code = pe.At(0x1000);
  auto& rdata = pe.At(0x2000);
  auto& data = pe.At(0x3000);
  auto& reloc = pe.At(0x4000);
  code.data.assign(0x40, 0xC3);

  // Relocated values: a 32-bit pointer to itself, the high and low halves of another.
  Put32(data.data, 0x00, imageBase + 0x3010);
  Put16(data.data, 0x04, static_cast<uint16_t>((imageBase + 0x1234) >> 16));
  Put16(data.data, 0x08, 0x5678);
  Put32(reloc.data, 0, 0x3000);
  Put32(reloc.data, 4, 16);
  Put16(reloc.data, 8, (3 << 12) | 0x000);
  Put16(reloc.data, 10, (1 << 12) | 0x004);
  Put16(reloc.data, 12, (2 << 12) | 0x008);
  Put16(reloc.data, 14, 0);  // padding entry
  pe.directories[5] = {0x4000, 16};

  // Imports: two descriptors for KERNEL32.dll, one for USER32.dll without a lookup table.
  auto descriptor = [&rdata](uint32_t at, uint32_t lookup, uint32_t name, uint32_t iat) {
    Put32(rdata.data, at, lookup);
    Put32(rdata.data, at + 12, name);
    Put32(rdata.data, at + 16, iat);
  };
  descriptor(0x00, 0x2100, 0x2200, 0x3020);
  descriptor(0x14, 0x2120, 0x2200, 0x3040);
  descriptor(0x28, 0, 0x2210, 0x3060);
  Put32(rdata.data, 0x3C + 16, 0);  // the terminating descriptor
  Put32(rdata.data, 0x100, 0x2300);
  Put32(rdata.data, 0x104, 0x80000007);
  Put32(rdata.data, 0x108, 0);
  Put32(rdata.data, 0x120, 0x2320);
  Put32(rdata.data, 0x124, 0);
  PutText(rdata.data, 0x200, "KERNEL32.dll");
  PutText(rdata.data, 0x210, "USER32.dll");
  Put16(rdata.data, 0x300, 1);
  PutText(rdata.data, 0x302, "HeapAlloc");
  Put16(rdata.data, 0x320, 2);
  PutText(rdata.data, 0x322, "Sleep");
  Put32(data.data, 0x60, 0x80000005);
  Put32(data.data, 0x64, 0);
  pe.directories[1] = {0x2000, 0x50};

  // Exports: two functions, two forwarders, and a second "Alpha" that must not win.
  Put32(rdata.data, 0x400 + 20, 4);
  Put32(rdata.data, 0x400 + 24, 5);
  Put32(rdata.data, 0x400 + 28, 0x2440);
  Put32(rdata.data, 0x400 + 32, 0x2460);
  Put32(rdata.data, 0x400 + 36, 0x2480);
  const uint32_t functions[] = {0x1010, 0x1020, 0x24A0, 0x24C0};
  for (uint32_t i = 0; i < 4; ++i) Put32(rdata.data, 0x440 + 4 * i, functions[i]);
  const std::pair<const char*, uint16_t> names[] = {
      {"Alpha", 0}, {"AlphaBeta", 1}, {"Forwarded", 2}, {"ByOrdinal", 3}, {"Alpha", 1}};
  for (uint32_t i = 0; i < 5; ++i) {
    Put32(rdata.data, 0x460 + 4 * i, 0x2500 + 0x10 * i);
    PutText(rdata.data, 0x500 + 0x10 * i, names[i].first);
    Put16(rdata.data, 0x480 + 2 * i, names[i].second);
  }
  PutText(rdata.data, 0x4A0, "KERNEL32.dll.HeapFree");
  PutText(rdata.data, 0x4C0, "NTDLL.#12");
  pe.directories[0] = {0x2400, 0xE0};
  return pe;
}

}  // namespace lumarex::test
