#pragma once

#include <cstdint>
#include <string>

#include "show/input_file.h"
#include "show/show_store.h"

namespace lumarex {

// Shared steps of the show readers other than ILDA; not part of the layer's interface.

inline constexpr const char kTooManyFrames[] = "Zu viele Frames (max. 65535)";

// The readers' open-failure texts carry the system's error number right after the message.
inline std::string WithErrorNumber(const char* message, int error) {
  return message + std::to_string(error);
}

// The store keeps a 32-bit size; larger files show as the largest value.
inline uint32_t ShownFileSize(const InputFile& file) {
  return file.Size() > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(file.Size());
}

inline uint64_t BytesLeft(const InputFile& file) {
  return file.Size() > file.Position() ? file.Size() - file.Position() : 0;
}

// Empties the store for a new show, or leaves one empty frame after the show for a merge.
// False, with IoStatus set, when a merge finds no room for that frame.
bool StartShowRead(ShowStore& store, bool merge);

// The tail of a frame whose points all came from the file. A frame of one point has
// LastPointIndex 0 and so counts as empty; a writer must not bring its point back.
inline FrameTail RealPointsTail(uint16_t lastPointIndex) {
  return lastPointIndex == 0 ? FrameTail::kEmpty : FrameTail::kAllReal;
}

// Drops trailing frames with LastPointIndex 0, but never below `keep` frames, so that a
// merge cannot take away frames of the show it was merged onto.
void DropTrailingEmptyFrames(ShowStore& store, uint32_t keep);

}  // namespace lumarex
