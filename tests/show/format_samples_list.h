#pragma once

#include <string>
#include <vector>

#include "tests/show/format_samples.h"

namespace lumarex::samples {

// One small file of every format and variant the load command reads, with the name it
// goes by (the extension chooses the reader).
struct NamedSample {
  std::string fileName;
  Bytes bytes;
};

inline std::vector<NamedSample> EveryFormat() {
  const std::vector<FileFrame> frames = SampleFrames();
  return {
      {"rgb.cat", CatRgbFile(frames)},
      {"lds.cat", CatLdsFile(frames)},
      {"phoenix.cat", PhoenixCatFile(frames, true)},
      {"show.ulf", UlfFile(frames)},
      {"show.pho", PhoFile(frames)},
      {"show.lf", BildaFile(frames)},
      {"show.slf", BildaFile({frames[1], frames[0]})},
      {"show.ldb", PangolinFile({{2, frames[0]}, {1, frames[1]}, {201, {}, 2}, {0, frames[2]}})},
      {"show.fla", LaserPainterFile(frames, true)},
      {"show.flx", LaserPainterFile(frames, false)},
      {"indexed.pic", PicIndexedFile(frames)},
      {"rgb.pic", PicRgbFile(frames)},
      {"show.gr1", GrabbenFile(frames)},
  };
}

}  // namespace lumarex::samples
