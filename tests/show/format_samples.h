#pragma once

// Small show files of every format, built byte by byte from the layouts, for the tests and
// the fuzz seeds. Header-only so that the seed generator can use it without the tests.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace lumarex::samples {

// A byte buffer that grows by typed appends.
struct Bytes {
  std::vector<uint8_t> data;

  Bytes& U8(int v) {
    data.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Bytes& U16LE(int v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
  Bytes& U16BE(int v) { return U8((v >> 8) & 0xFF).U8(v & 0xFF); }
  Bytes& U32LE(uint32_t v) {
    return U16LE(static_cast<int>(v & 0xFFFF)).U16LE(static_cast<int>(v >> 16));
  }
  Bytes& Text(const std::string& s) {
    for (char c : s) U8(static_cast<unsigned char>(c));
    return *this;
  }
  Bytes& Zeros(size_t n) {
    data.insert(data.end(), n, 0);
    return *this;
  }
  Bytes& Append(const Bytes& other) {
    data.insert(data.end(), other.data.begin(), other.data.end());
    return *this;
  }
};

// A point as a file states it, before any reader's conversion.
struct FilePoint {
  int x = 0;
  int y = 0;
  int z = 0;
  int r = 0;
  int g = 0;
  int b = 0;
  bool lit = true;
  int index = 0;  // palette index for the indexed formats
};

using FileFrame = std::vector<FilePoint>;

// A few frames with lit and blanked points, depth, colours and the coordinate extremes.
inline std::vector<FileFrame> SampleFrames() {
  return {
      {{100, 200, 0, 255, 0, 0, true, 0},
       {-300, 400, 0, 0, 255, 0, false, 8},
       {32767, -32767, 0, 0, 0, 255, true, 40},
       {-32768, 32767, 0, 10, 20, 30, true, 63}},
      {{1, 2, 0, 9, 8, 7, true, 1}, {3, 4, 0, 6, 5, 4, true, 2}},
      {{-5, -6, 7, 200, 100, 50, true, 56},
       {8, 9, -10, 1, 1, 1, false, 3},
       {0, 0, 0, 0, 0, 0, true, 0}},
  };
}

inline int Blanked(const FilePoint& p) {
  return p.lit ? 0 : 1;
}

// Cat: kind 1 sections (LDS 2008 RGB); Y as the file states it.
inline Bytes CatRgbFile(const std::vector<FileFrame>& frames) {
  Bytes f;
  for (const FileFrame& frame : frames) {
    f.U8(1).U16LE(static_cast<int>(frame.size()));
    for (const FilePoint& p : frame) {
      f.U16LE(p.x).U16LE(p.y).U16LE(p.z).U8(p.lit ? 0x80 : 0xC0).U8(0).U8(p.r).U8(p.g).U8(p.b);
    }
  }
  return f;
}

// Cat: kind 0 sections (palette-indexed LDS frames).
inline Bytes CatLdsFile(const std::vector<FileFrame>& frames) {
  Bytes f;
  for (const FileFrame& frame : frames) {
    f.U8(0).U16LE(static_cast<int>(frame.size()));
    for (const FilePoint& p : frame) {
      f.U16LE(p.x).U16LE(p.y).U16LE(p.z).U8((p.index & 0x3F) | (p.lit ? 0 : 0x40)).U8(0);
    }
  }
  return f;
}

// Cat: the Phoenix layout, with or without the "aC" mark.
inline Bytes PhoenixCatFile(const std::vector<FileFrame>& frames, bool marked) {
  Bytes f;
  f.U8('t').Text(marked ? "aC" : "xy").Zeros(109);
  for (const FileFrame& frame : frames) {
    f.U8(0).U16LE(static_cast<int>(frame.size()));
    for (const FilePoint& p : frame) {
      f.U16LE(p.x).U16LE(p.y).U16LE(p.z).U8(p.lit ? 0x80 : 0xC0).U8(0).U8(p.r).U8(p.g).U8(p.b);
    }
  }
  return f;
}

inline Bytes PalFile() {
  Bytes f;
  for (int i = 0; i < 64; ++i) f.U8(0).U8(0).U8(0).U8(i * 4).U8(255 - i).U8(i).U8(0).U8(0).U8(0);
  return f;
}

inline Bytes UlfRecords(const FileFrame& frame) {
  Bytes f;
  for (const FilePoint& p : frame) {
    f.U16LE(p.x).U16LE(p.y).U8(p.r).U8(p.g).U8(p.b).U8(p.lit ? 0xFF : 0);
  }
  return f;
}

inline Bytes UlfFile(const std::vector<FileFrame>& frames, int formatByte = 2) {
  Bytes f;
  for (const FileFrame& frame : frames) {
    f.Text("ULF").U8(0).U8(formatByte).Zeros(7).U8(8).Zeros(3).U32LE(28000);
    f.U32LE(static_cast<uint32_t>(frame.size() * 8)).Append(UlfRecords(frame));
  }
  return f;
}

inline Bytes PhoFile(const std::vector<FileFrame>& frames) {
  Bytes f;
  for (const FileFrame& frame : frames) {
    const auto size = static_cast<uint32_t>(frame.size() * 8);
    f.Text("PHO").U8(0).U8(4).Zeros(13);
    f.U16LE(static_cast<int>(size >> 16)).U16LE(static_cast<int>(size & 0xFFFF)).Zeros(2);
    f.Append(UlfRecords(frame));
  }
  return f;
}

// Bilda: the last point of every frame carries the end flag.
inline Bytes BildaFile(const std::vector<FileFrame>& frames) {
  Bytes f;
  f.Text("LF").U8(0).U8(16).Zeros(4);
  for (const FileFrame& frame : frames) {
    for (size_t i = 0; i < frame.size(); ++i) {
      const FilePoint& p = frame[i];
      f.U16LE(p.x).U16LE(p.y).U8(p.r).U8(p.g).U8(p.b).U8(i + 1 == frame.size() ? 0x81 : 0);
    }
  }
  return f;
}

struct PangolinFrame {
  int kind = 1;
  FileFrame points;
  int count = -1;  // the descriptor's point count; -1: the number of points
};

// Pangolin: a four-entry palette (entry i is red 10i+1, green 10i+2, blue 10i+3).
inline Bytes PangolinFile(const std::vector<PangolinFrame>& frames) {
  Bytes f;
  f.Text("PANGOLINOBJECT1").U8(4).U16BE(static_cast<int>(frames.size()));
  f.Text("abc").Zeros(2);  // name of L-1 = 3 bytes and 2 more
  f.U8(4);
  for (int i = 0; i < 4; ++i) f.U8(0).U8(10 * i + 3).U8(10 * i + 2).U8(10 * i + 1);
  for (const PangolinFrame& frame : frames) {
    const int count = frame.count >= 0 ? frame.count : static_cast<int>(frame.points.size());
    f.Zeros(4).U16BE(count).U8(0).U8(frame.kind).Zeros(64);
  }
  for (const PangolinFrame& frame : frames) {
    const bool threeD =
        frame.kind == 0 || frame.kind == 2 || frame.kind == 4 || frame.kind == 6 || frame.kind == 8;
    if (frame.kind > 200) continue;
    for (const FilePoint& p : frame.points) {
      f.U16BE(p.x).U16BE(p.y);
      if (threeD) f.U16BE(p.z);
      f.U8(p.lit ? 1 : 0).U8(p.lit ? p.index : 0);
      if (frame.kind == 2) f.Zeros(2);
    }
  }
  return f;
}

// LaserPainter: unsigned coordinates centred on 32768, Y downwards as the file states it.
inline Bytes LaserPainterFile(const std::vector<FileFrame>& frames, bool fla) {
  Bytes f;
  f.Zeros(fla ? 20 : 9);
  for (const FileFrame& frame : frames) {
    f.Zeros(2).U16LE(static_cast<int>(frame.size())).Zeros(7);
    for (const FilePoint& p : frame) {
      f.U16LE(p.lit ? 1 : 0).U16LE(p.x + 32768).U16LE(p.y + 32768).Zeros(2).U8(p.r).U8(p.g).U8(p.b);
    }
  }
  return f;
}

// Pic: variant 0 (indexed, big-endian, status byte of each record for the next point).
inline Bytes PicIndexedFile(const std::vector<FileFrame>& frames) {
  Bytes f;
  for (const FileFrame& frame : frames) {
    f.Zeros(6).U16BE(static_cast<int>(frame.size())).Zeros(6);
    for (const FilePoint& p : frame) {
      f.U8(0).U8((p.index & 0x3F) | (p.lit ? 0 : 0x40)).U16BE(p.x).U16BE(p.y).U16BE(p.z);
    }
  }
  return f;  // the first byte, 0, selects the variant
}

// Pic: variant 4 (Cat RGB records).
inline Bytes PicRgbFile(const std::vector<FileFrame>& frames) {
  Bytes f;
  for (const FileFrame& frame : frames) {
    f.U8(4).Zeros(5).U16BE(static_cast<int>(frame.size())).Zeros(6);
    for (const FilePoint& p : frame) {
      f.U16LE(p.x).U16LE(p.y).U16LE(p.z).U8(p.lit ? 0x80 : 0xC0).U8(0).U8(p.r).U8(p.g).U8(p.b);
    }
  }
  return f;
}

inline Bytes GrabbenFile(const std::vector<FileFrame>& frames) {
  Bytes f;
  for (const FileFrame& frame : frames) {
    f.Zeros(2).U16LE(static_cast<int>(frame.size())).Zeros(4);
    for (const FilePoint& p : frame) {
      f.U16LE(p.x).U16LE(p.y).U8(p.r).U8(p.g).U8(p.b).U8(p.lit ? 1 : 0);
    }
  }
  return f;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace lumarex::samples
