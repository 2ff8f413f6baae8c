#include "show/beside_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace lumarex {

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

bool IsRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string BesidePath(const std::string& showPath, const std::string& extension) {
  // The extension after the last dot is replaced, so that a two-letter one (".LF") finds
  // "show.WAV" and not "showWAV".
  const size_t slash = showPath.find_last_of('/');
  const size_t dot = showPath.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? showPath.substr(0, dot) : showPath) + "." + extension;
}

std::optional<std::string> FindBeside(const std::string& showPath, const std::string& extension) {
  if (showPath.empty()) return std::nullopt;
  const std::filesystem::path wanted(BesidePath(showPath, extension));
  if (IsRegularFile(wanted)) return wanted.string();

  const std::string wantedName = wanted.filename().string();
  std::filesystem::path folder = wanted.parent_path();
  if (folder.empty()) folder = ".";
  std::vector<std::string> matches;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (SameIgnoringCase(name, wantedName) && IsRegularFile(it->path())) matches.push_back(name);
  }
  if (matches.empty()) return std::nullopt;
  std::sort(matches.begin(), matches.end());
  return (wanted.parent_path() / matches.front()).string();
}

std::optional<std::string> FindMusicBeside(const std::string& showPath) {
  if (auto wav = FindBeside(showPath, "WAV")) return wav;
  return FindBeside(showPath, "MP3");
}

std::optional<std::string> FindShowParametersBeside(const std::string& showPath) {
  return FindBeside(showPath, "SHW");
}

}  // namespace lumarex
