#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace lumarex {

SingleInstanceGuard::SingleInstanceGuard(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string folder = runtime != nullptr && *runtime != '\0' ? runtime : "/tmp";
  path_ = folder + "/" + name + ".lock";
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    acquired_ = true;
    return;
  }
  anotherRuns_ = errno == EWOULDBLOCK;
  ::close(fd_);
  fd_ = -1;
}

SingleInstanceGuard::~SingleInstanceGuard() {
  Release();
}

void SingleInstanceGuard::Release() {
  if (fd_ < 0) return;
  // The file stays: removing it would let a third copy lock a new file while a second still
  // holds the old one.
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
  acquired_ = false;
}

}  // namespace lumarex
