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

}  // namespace lumarex
