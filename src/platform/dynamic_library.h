#pragma once

#include <string>

namespace lumarex {

// A shared library opened at run time, closed when the object goes. Opening never throws;
// a failure leaves the object closed with the loader's message in LastError.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  ~DynamicLibrary();

  // Opens the library at `path` (closing one held before); false when it cannot be loaded.
  // With `keepMapped` the code stays mapped after Close until the process ends: for a driver
  // whose threads might still be returning into it.
  bool Open(const std::string& path, bool keepMapped = false);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  // The address of an exported symbol, nullptr when the library lacks it or is closed.
  void* Symbol(const char* name) const;

  const std::string& LastError() const { return lastError_; }

 private:
  void* handle_ = nullptr;
  std::string lastError_;
};

// The folder of the running executable with a trailing '/', where the program's own driver
// libraries live; empty when the system cannot tell.
std::string ExecutableFolder();

}  // namespace lumarex
