// A rig file's text through the reader: it either names the field at fault or reads one to
// eight outputs, and what it read is written and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rig/rig_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lumarex;
  const RigRead read = ParseRig(std::string(reinterpret_cast<const char*>(data), size));
  if (!read.ok) {
    if (read.error.empty() || !read.outputs.empty()) std::abort();
    return 0;
  }
  if (read.outputs.empty() || read.outputs.size() > kMaxRigOutputs) std::abort();
  const RigRead again = ParseRig(RigJson(read.outputs));
  if (!again.ok || again.outputs != read.outputs) std::abort();
  return 0;
}
