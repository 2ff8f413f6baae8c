#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace lumarex {

// One exported function of a library that the host provides itself.
struct HostExport {
  std::string_view name;
  uintptr_t address;
};

// The audio engine's export list: all 91 entry points of the audio entry table, each taking
// the AudioEngine first. The ones the engine does not offer answer with the library's failure
// values and set the error code "not available".
std::span<const HostExport> AudioEngineExports();

}  // namespace lumarex
