#include "show/file_names.h"

#include <cctype>

namespace lumarex {

std::string UpperExtension(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

bool StartsCharacter(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

}  // namespace

std::string CutToCharacters(const std::string& text, size_t count) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (StartsCharacter(text[i]) && seen++ == count) return text.substr(0, i);
  }
  return text;
}

std::string DropLastCharacters(const std::string& text, size_t count) {
  size_t end = text.size();
  while (count > 0 && end > 0) {
    --end;
    if (StartsCharacter(text[end])) --count;
  }
  return count > 0 ? std::string{} : text.substr(0, end);
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace lumarex
