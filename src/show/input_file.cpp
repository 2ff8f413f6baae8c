#include "show/input_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace lumarex {

InputFile::~InputFile() {
  Close();
}

bool InputFile::Open(const std::string& path) {
  Close();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    errno = EISDIR;
    return false;
  }
  file_ = f;
  size_ = static_cast<uint64_t>(st.st_size);
  position_ = 0;
  return true;
}

void InputFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
  position_ = 0;
}

size_t InputFile::Read(void* dst, size_t n) {
  if (file_ == nullptr || n == 0) return 0;
  const size_t got = std::fread(dst, 1, n, file_);
  position_ += got;
  return got;
}

std::span<const uint8_t> InputFile::ReadBlock(size_t n) {
  // Never reserve more than the file can still give, whatever count the file claims.
  const uint64_t left = size_ > position_ ? size_ - position_ : 0;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(n, left));
  if (buffer_.size() < want) buffer_.resize(want);
  const size_t got = Read(buffer_.data(), want);
  return {buffer_.data(), got};
}

uint64_t InputFile::Skip(uint64_t n) {
  const uint64_t left = size_ > position_ ? size_ - position_ : 0;
  const uint64_t step = std::min(n, left);
  if (file_ == nullptr || step == 0) return 0;
  if (fseeko(file_, static_cast<off_t>(step), SEEK_CUR) != 0) return 0;
  position_ += step;
  return step;
}

bool InputFile::Seek(uint64_t offset) {
  if (file_ == nullptr) return false;
  offset = std::min(offset, size_);
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  position_ = offset;
  return true;
}

}  // namespace lumarex
