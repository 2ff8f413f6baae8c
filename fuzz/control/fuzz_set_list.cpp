// A set list file of any bytes: read, and where it was read, written and read again to the
// same entries and start times.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "control/set_list.h"

namespace {

std::string Scratch(const char* name) {
  return "/tmp/fuzz_set_list." + std::to_string(getpid()) + name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string in = Scratch(".m3u");
  static const std::string out = Scratch(".again.m3u");
  if (FILE* f = std::fopen(in.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  lumarex::SetList list;
  if (!list.Read(in).ok) {
    if (!list.Empty()) __builtin_trap();  // a failed read leaves the list as it was
    return 0;
  }
  if (!list.Write(out)) return 0;
  lumarex::SetList again;
  if (!again.Read(out).ok || again.Entries() != list.Entries()) __builtin_trap();
  for (size_t i = 0; i < list.Count(); ++i) {
    if (again.Start(i) != list.Start(i)) __builtin_trap();
  }
  return 0;
}
