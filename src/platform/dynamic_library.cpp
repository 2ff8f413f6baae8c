#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace lumarex {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), lastError_(std::move(other.lastError_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    lastError_ = std::move(other.lastError_);
  }
  return *this;
}

DynamicLibrary::~DynamicLibrary() {
  Close();
}

bool DynamicLibrary::Open(const std::string& path, bool keepMapped) {
  Close();
  // RTLD_LOCAL keeps a driver's symbols from standing in for another library's.
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | (keepMapped ? RTLD_NODELETE : 0));
  if (handle_ == nullptr) {
    const char* error = dlerror();
    lastError_ = error != nullptr ? error : "dlopen failed";
    return false;
  }
  lastError_.clear();
  return true;
}

void DynamicLibrary::Close() {
  if (handle_ == nullptr) return;
  dlclose(handle_);
  handle_ = nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name);
}

std::string ExecutableFolder() {
  // The link's target can be longer than any fixed buffer; grow until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(length));
      const size_t slash = path.rfind('/');
      return slash == std::string::npos ? std::string{} : path.substr(0, slash + 1);
    }
    if (buffer.size() >= (size_t{1} << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace lumarex
