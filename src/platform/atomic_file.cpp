#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace lumarex {

namespace {

// Eleven characters after the target's name, never the name of a file that exists: the open
// below is exclusive, so an existing file or link of that name is never followed or
// overwritten.
std::string TemporaryName(const std::string& target) {
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  uint8_t random[6] = {};
  if (getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
    // Early in boot the pool may not be ready; the address of a stack object and the time
    // still make a clash unlikely, and a clash is only a retry.
    const auto mix = reinterpret_cast<uintptr_t>(&random) ^ static_cast<uintptr_t>(::time(nullptr));
    for (size_t k = 0; k < sizeof random; ++k) random[k] ^= static_cast<uint8_t>(mix >> (8 * k));
  }
  std::string name = target + ".tmp-";
  for (const uint8_t r : random) name += kDigits[r % 36];
  return name;
}

// Makes a rename in `path`'s folder survive a power cut.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

AtomicFile::~AtomicFile() {
  Abandon();
}

bool AtomicFile::Open(const std::string& targetPath) {
  Abandon();
  target_ = targetPath;
  // Created 0666 less the umask, as any file the user saves; the kernel applies the mask, so
  // the process-wide umask is never touched (other threads may be creating files).
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp_ = TemporaryName(targetPath);
    fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int saved = errno;
    temp_.clear();
    errno = saved;
    return false;
  }
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
  // The data reaches the disk before the name does: after a power cut the target is either
  // the old file or the whole new one, never a new name over missing blocks.
  const bool flushed = std::fflush(file_) == 0 && ::fsync(fileno(file_)) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed || std::rename(temp_.c_str(), target_.c_str()) != 0) {
    unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  temp_.clear();
  SyncFolderOf(target_);
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
