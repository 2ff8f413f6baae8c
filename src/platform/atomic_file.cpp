#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace lumarex {

AtomicFile::~AtomicFile() {
  Abandon();
}

bool AtomicFile::Open(const std::string& targetPath) {
  Abandon();
  target_ = targetPath;
  std::vector<char> pattern(targetPath.begin(), targetPath.end());
  const char kSuffix[] = ".tmp-XXXXXX";
  pattern.insert(pattern.end(), kSuffix, kSuffix + sizeof kSuffix);
  // mkstemp creates the name exclusively, so an existing file or link of that name is never
  // followed or overwritten.
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  // mkstemp creates the file 0600; a show file should get the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, static_cast<mode_t>(0666 & ~mask));
  temp_.assign(pattern.data());
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    const int saved = errno;
    close(fd);
    unlink(temp_.c_str());
    temp_.clear();
    errno = saved;
    return false;
  }
  static constexpr size_t kBufferSize = 1 << 20;
  std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
  return true;
}

bool AtomicFile::Write(const void* data, size_t size) {
  if (file_ == nullptr) return false;
  if (size == 0) return true;
  return std::fwrite(data, 1, size, file_) == size;
}

bool AtomicFile::Commit() {
  if (file_ == nullptr) return false;
  const bool flushed = std::fflush(file_) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed || std::rename(temp_.c_str(), target_.c_str()) != 0) {
    unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  temp_.clear();
  return true;
}

void AtomicFile::Abandon() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    temp_.clear();
  }
}

}  // namespace lumarex
