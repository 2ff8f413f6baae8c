#pragma once

#include <cstddef>
#include <string>

namespace lumarex {

// The upper-case extension of a file name with its dot (".ILD"), or "" when it has none.
std::string UpperExtension(const std::string& fileName);

// The file name without its folder.
std::string BaseName(const std::string& path);

// The first `count` characters (counted in UTF-8, so that no character is split).
std::string CutToCharacters(const std::string& text, size_t count);

// The text without its last `count` characters (UTF-8); empty when it has no more.
std::string DropLastCharacters(const std::string& text, size_t count);

// The text in upper case (ASCII letters; umlauts stay as they are).
std::string UpperCase(std::string text);

}  // namespace lumarex
