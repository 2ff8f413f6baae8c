#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "timecode/timecode.h"

namespace lumarex {

// A set list: the shows of an evening in their order, kept as an M3U playlist (.m3u, .m3u8):
// one show path a line, relative to the list's folder, '#' lines (#EXTM3U, #EXTINF, remarks)
// and blank lines ignored, except that a line "#LUMAREX-TC HH:MM:SS:FF" gives the timecode at
// which the next entry starts (for a show that chases timecode; players that do not know the
// line skip it as a remark). Entries are held as full paths; the list knows which entry is the
// current one. Plain data: the control registry loads and plays the entries.
class SetList {
 public:
  // Reads a list; on failure the list is left as it was and the answer says why.
  struct ReadResult {
    bool ok = false;
    std::string error;
  };
  ReadResult Read(const std::string& path);
  // Writes the entries (each after its start timecode line, where it has one), relative to the
  // folder of `path` where they lie below it; false when the file could not be written (the old
  // file then stands as it was).
  bool Write(const std::string& path);

  const std::vector<std::string>& Entries() const { return entries_; }
  // The timecode at which an entry starts; none where the list gives none.
  std::optional<Timecode> Start(size_t index) const;
  void SetStart(size_t index, std::optional<Timecode> start);
  size_t Count() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  // The file the list was read from or last written to; empty for a new list.
  const std::string& Path() const { return path_; }

  // The current entry, counted from 0; none before the first Go or Cue.
  std::optional<size_t> Current() const { return current_; }
  void SetCurrent(std::optional<size_t> index);

  // Editing keeps the current entry on the show it named (none when that one is removed).
  void Add(const std::string& path);
  void Remove(size_t index);
  // Swaps an entry with its neighbour; false at the end of the list.
  bool MoveUp(size_t index);
  bool MoveDown(size_t index);
  void Clear();

  // The entry after or before the current one, wrapping round when `wrap` holds; none at the
  // end (or the start) otherwise. With no current entry, Next is the first.
  std::optional<size_t> Next(bool wrap) const;
  std::optional<size_t> Previous(bool wrap) const;

  // Whether a path names a set list by its extension (.m3u, .m3u8, any case).
  static bool IsSetListPath(const std::string& path);

 private:
  std::vector<std::string> entries_;
  std::vector<std::optional<Timecode>> starts_;  // one per entry
  std::optional<size_t> current_;
  std::string path_;
};

}  // namespace lumarex
