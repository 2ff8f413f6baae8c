#include "show/load_status.h"

#include <cctype>

#include "show/file_names.h"

namespace lumarex {

namespace {

constexpr size_t kShownNameLength = 25;

std::string TwoDigits(uint32_t value) {
  return value < 10 ? "0" + std::to_string(value) : std::to_string(value);
}

// Seconds with three decimals, whatever the locale.
std::string Seconds(uint32_t ms) {
  const std::string thousandths = std::to_string(ms % 1000);
  return std::to_string(ms / 1000) + "." + std::string(3 - thousandths.size(), '0') + thousandths;
}

}  // namespace

std::vector<StatusText> LoadStatusLines(const ShowStore& store,
                                        const std::array<std::string, 6>& ildaFormatsSeen,
                                        const LoadResult& load,
                                        std::optional<uint32_t> musicLengthSeconds) {
  std::vector<StatusText> lines;
  std::string name = BaseName(load.fileName);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (store.SourceFormatCode == 15 || store.SourceFormatCode == 17) name += " \"Protect\"";
  lines.push_back({10, 115, "File        : " + CutToCharacters(name, kShownNameLength)});
  lines.push_back({10, 130, "Size       : " + std::to_string(store.ShowFileSize / 1024) + " KB "});
  if (UpperExtension(load.fileName) == ".ILD") {
    std::string seen = "Ilda Format: ";
    for (const std::string& code : ildaFormatsSeen) seen += code;
    lines.push_back({10, 145, seen});
  }
  lines.push_back({10, 160,
                   store.IoStatus + " in : " + Seconds(load.durationMs) + " Sek mit " +
                       std::to_string(store.FrameCount) + " Frames "});
  if (musicLengthSeconds) {
    lines.push_back({10, 175, "Showlänge "});
    lines.push_back({110, 175,
                     ": " + TwoDigits(*musicLengthSeconds / 60) + " : " +
                         TwoDigits(*musicLengthSeconds % 60) + " : 0" + "0"});
  }
  return lines;
}

std::vector<StatusText> MergeStatusLines(const ShowStore& store) {
  const std::string blank(30, ' ');
  const int lastFrame = static_cast<int>(store.FrameCount) - 1;
  return {{30, 140, blank},
          {30, 155, blank},
          {30, 170, "Gesamtframes : " + std::to_string(lastFrame) + "      "},
          {30, 185, blank}};
}

std::vector<StatusText> SaveRangeLines(const ShowStore& store, bool merge) {
  if (store.FrameCount == 0) return {};
  const std::string last = std::to_string(store.FrameCount - 1);
  if (merge) {
    return {{10, 9, "Save File Start : 0      "}, {10, 33, "Save File End   : " + last + "      "}};
  }
  return {{10, 9, "Save File Start"},
          {10, 33, "Save File End"},
          {83, 9, ": 0      "},
          {83, 33, ": " + last + "      "}};
}

}  // namespace lumarex
