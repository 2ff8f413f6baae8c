#pragma once

#include <optional>
#include <string>

#include "gl/headless_context.h"

namespace lumarex {

// Writes `image` as an 8-bit RGB PNG (the panel has no transparency); the file is replaced
// only once it is complete. False, with `error` set, when it cannot be written.
bool WritePng(const std::string& path, const RgbaImage& image, std::string& error);

// Reads a PNG of any colour type into RGBA; nothing when it cannot be read.
std::optional<RgbaImage> ReadPng(const std::string& path);

}  // namespace lumarex
