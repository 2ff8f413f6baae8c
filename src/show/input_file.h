#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace lumarex {

// A show file opened for reading, read sequentially. Block reads land in a buffer that is
// reused from block to block, so a reader allocates nothing per frame for its records.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Opens read-only; false with errno set when that fails (also for a folder).
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  uint64_t Size() const { return size_; }
  uint64_t Position() const { return position_; }
  bool AtEnd() const { return position_ >= size_; }

  // Reads up to n bytes into dst; returns how many arrived.
  size_t Read(void* dst, size_t n);
  // Reads up to n bytes into the reusable buffer; the span holds what arrived. Valid until
  // the next ReadBlock.
  std::span<const uint8_t> ReadBlock(size_t n);
  // Moves forward by up to n bytes; returns how far it moved.
  uint64_t Skip(uint64_t n);
  // Goes to an absolute offset (clamped to the size).
  bool Seek(uint64_t offset);

 private:
  std::FILE* file_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace lumarex
