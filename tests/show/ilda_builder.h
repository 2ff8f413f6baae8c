#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lumarex::test {

// Builds ILDA files section by section, big-endian as the format wants.
class IldaBuilder {
 public:
  struct Point {
    int16_t x = 0, y = 0, z = 0;
    uint8_t status = 0;
    uint8_t colourIndex = 0;
    uint8_t r = 0, g = 0, b = 0;
  };

  IldaBuilder& Frame(uint8_t format, const std::vector<Point>& points, uint16_t declared = 0xFFFF) {
    Header(format, declared == 0xFFFF ? static_cast<uint16_t>(points.size()) : declared);
    for (const Point& p : points) {
      U16(static_cast<uint16_t>(p.x));
      U16(static_cast<uint16_t>(p.y));
      if (format == 0 || format == 4) U16(static_cast<uint16_t>(p.z));
      bytes.push_back(p.status);
      if (format == 0 || format == 1) {
        bytes.push_back(p.colourIndex);
      } else {
        bytes.push_back(p.b);
        bytes.push_back(p.g);
        bytes.push_back(p.r);
      }
    }
    return *this;
  }
  // A 32-byte frame header with N records and nothing after it (the closing section for N 0).
  IldaBuilder& Header(uint8_t format, uint16_t records) {
    Magic(format);
    bytes.insert(bytes.end(), 16, ' ');
    U16(records);
    U16(0);
    U16(0);
    U16(0);
    return *this;
  }
  IldaBuilder& Palette(uint16_t declared, const std::vector<uint8_t>& rgb) {
    Magic(2);
    bytes.insert(bytes.end(), 16, ' ');
    U16(declared);
    bytes.insert(bytes.end(), 6, 0);  // the rest of the header, there whatever the count
    bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    return *this;
  }
  IldaBuilder& TrueColourTable(const std::vector<uint8_t>& rgb, uint32_t lengthExtra = 0) {
    Magic(3);
    const auto entries = static_cast<uint32_t>(rgb.size() / 3);
    U32(entries * 3 + lengthExtra);
    U32(entries);
    bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    return *this;
  }
  IldaBuilder& Raw(const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
  }

  std::vector<uint8_t> bytes;

 private:
  void Magic(uint8_t format) { bytes.insert(bytes.end(), {'I', 'L', 'D', 'A', 0, 0, 0, format}); }
  void U16(uint16_t v) {
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v >> 16));
    U16(static_cast<uint16_t>(v));
  }
};

}  // namespace lumarex::test
