#include "control/set_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "platform/atomic_file.h"

namespace lumarex {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kStartTag = "#LUMAREX-TC";

std::string Trimmed(std::string line) {
  const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  line.erase(line.begin(), std::find_if(line.begin(), line.end(), notSpace));
  line.erase(std::find_if(line.rbegin(), line.rend(), notSpace).base(), line.end());
  return line;
}

// A line of the list as a path: lists from other systems may use file URLs and backslashes.
std::string EntryPath(std::string line, const fs::path& folder) {
  if (line.rfind("file://", 0) == 0) line.erase(0, 7);
  std::replace(line.begin(), line.end(), '\\', '/');
  fs::path entry(line);
  if (entry.is_relative()) entry = folder / entry;
  return entry.lexically_normal().string();
}

// How an entry is written into a list in `folder`: relative where it lies below the folder.
std::string ListedPath(const std::string& entry, const fs::path& folder) {
  const fs::path relative = fs::path(entry).lexically_relative(folder);
  if (relative.empty() || *relative.begin() == "..") return entry;
  std::string text = relative.string();
  // A name that would read back as a remark, lose its leading spaces or look like the byte
  // order mark keeps its folder in front.
  const auto first = static_cast<unsigned char>(text[0]);
  if (first == '#' || std::isspace(first) || first == 0xEF) text.insert(0, "./");
  return text;
}

fs::path FolderOf(const std::string& path) {
  return fs::absolute(fs::path(path)).lexically_normal().parent_path();
}

}  // namespace

SetList::ReadResult SetList::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {false, "cannot open " + path};
  const fs::path folder = FolderOf(path);
  std::vector<std::string> entries;
  std::vector<std::optional<Timecode>> starts;
  std::optional<Timecode> nextStart;
  std::string line;
  bool first = true;
  for (size_t number = 1; std::getline(in, line); ++number) {
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // a UTF-8 mark
    first = false;
    line = Trimmed(std::move(line));
    if (line.rfind(kStartTag, 0) == 0) {
      nextStart = ParseTimecode(Trimmed(line.substr(kStartTag.size())), TimecodeRate::k30);
      if (!nextStart) {
        return {false, "line " + std::to_string(number) + ": " + std::string(kStartTag) +
                           " takes HH:MM:SS:FF"};
      }
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    entries.push_back(EntryPath(line, folder));
    starts.push_back(std::exchange(nextStart, std::nullopt));
  }
  if (in.bad()) return {false, "cannot read " + path};
  entries_ = std::move(entries);
  starts_ = std::move(starts);
  current_.reset();
  path_ = path;
  return {true, {}};
}

bool SetList::Write(const std::string& path) {
  const fs::path folder = FolderOf(path);
  std::ostringstream text;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (starts_[i]) text << kStartTag << ' ' << TimecodeText(*starts_[i]) << '\n';
    text << ListedPath(entries_[i], folder) << '\n';
  }
  const std::string bytes = text.str();
  AtomicFile file;
  if (!file.Open(path) || !file.Write(bytes.data(), bytes.size()) || !file.Commit()) return false;
  path_ = path;
  return true;
}

void SetList::SetCurrent(std::optional<size_t> index) {
  current_ = index && *index < entries_.size() ? index : std::nullopt;
}

std::optional<Timecode> SetList::Start(size_t index) const {
  return index < starts_.size() ? starts_[index] : std::nullopt;
}

void SetList::SetStart(size_t index, std::optional<Timecode> start) {
  if (index < starts_.size()) starts_[index] = start;
}

void SetList::Add(const std::string& path) {
  entries_.push_back(fs::absolute(fs::path(path)).lexically_normal().string());
  starts_.emplace_back();
}

void SetList::Remove(size_t index) {
  if (index >= entries_.size()) return;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(index));
  if (!current_) return;
  if (*current_ == index) {
    current_.reset();
  } else if (*current_ > index) {
    --*current_;
  }
}

bool SetList::MoveUp(size_t index) {
  if (index == 0 || index >= entries_.size()) return false;
  std::swap(entries_[index - 1], entries_[index]);
  std::swap(starts_[index - 1], starts_[index]);
  if (current_ == index) {
    current_ = index - 1;
  } else if (current_ == index - 1) {
    current_ = index;
  }
  return true;
}

bool SetList::MoveDown(size_t index) {
  return MoveUp(index + 1);
}

void SetList::Clear() {
  entries_.clear();
  starts_.clear();
  current_.reset();
}

std::optional<size_t> SetList::Next(bool wrap) const {
  if (entries_.empty()) return std::nullopt;
  if (!current_) return 0;
  if (*current_ + 1 < entries_.size()) return *current_ + 1;
  return wrap ? std::optional<size_t>(0) : std::nullopt;
}

std::optional<size_t> SetList::Previous(bool wrap) const {
  if (entries_.empty()) return std::nullopt;
  if (!current_) return wrap ? std::optional<size_t>(entries_.size() - 1) : std::nullopt;
  if (*current_ > 0) return *current_ - 1;
  return wrap ? std::optional<size_t>(entries_.size() - 1) : std::nullopt;
}

bool SetList::IsSetListPath(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".m3u" || extension == ".m3u8";
}

}  // namespace lumarex
