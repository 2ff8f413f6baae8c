#pragma once

#include <cstdint>
#include <string>

namespace lumarex::fuzzing {

// The first byte of a fuzz input chooses the reader (low nibble) and the modes (high bits);
// the rest is the file. The seed generator writes its seeds with the same choice.
enum Reader : uint8_t {
  kCat,
  kPal,
  kUlf,
  kPho,
  kBilda,
  kPangolin,
  kFla,
  kFlx,
  kPic,
  kGrabben,
  kReaderCount,
};

inline constexpr uint8_t kMergeFlag = 0x10;    // read onto a loaded show
inline constexpr uint8_t kRewriteFlag = 0x20;  // write Cat, Phoenix Cat and ULF, read back

}  // namespace lumarex::fuzzing
