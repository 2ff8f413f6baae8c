#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace lumarex {

// Writes a file so that the user never finds a half-written one in place of a good one: the
// data goes to a temporary file beside the target, which is renamed over the target only by
// Commit. Destroying an uncommitted AtomicFile removes the temporary file.
class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  // Creates the temporary file; false (with errno set) when the folder is not writable.
  bool Open(const std::string& targetPath);
  // Appends bytes; false when not all of them could be written.
  bool Write(const void* data, size_t size);
  // Flushes to the disk, closes and renames into place, then makes the rename durable; false
  // (target untouched) on any failure.
  bool Commit();
  // Drops the temporary file, leaving the target as it was.
  void Abandon();

  bool IsOpen() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
  std::string target_;
  std::string temp_;
};

}  // namespace lumarex
