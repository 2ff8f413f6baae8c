// Feeds arbitrary bytes to the library loader as a PE image. The loader must never read or
// write outside the input or its own mapping, whatever the headers say.
#include <cstddef>
#include <cstdint>
#include <string>

#include "music/dll_loader.h"

namespace {

class FuzzResolver final : public lumarex::TImportResolver {
 public:
  uintptr_t OpenLibrary(const std::string& name) override { return name.empty() ? 0 : 0x1000; }
  uintptr_t FindByName(uintptr_t library, const std::string& name) override {
    return library + name.size();
  }
  uintptr_t FindByOrdinal(uintptr_t library, uint16_t ordinal) override {
    return library + ordinal;
  }
  void CloseLibrary(uintptr_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzResolver resolver;
  // A small image limit keeps each run quick; the checks are the same at any limit.
  lumarex::TDLLLoader loader(
      resolver, [](uintptr_t, uintptr_t, uint32_t reason) { return reason == 1; }, 1u << 22);
  if (loader.Load({data, size})) {
    for (const auto& e : loader.ExportList()) {
      if (loader.FindExport(e.Name) == 0 && e.FunctionPointer != 0 && !e.Name.empty()) {
        // A name found in the list must be found in the tree (first value of its name wins).
        bool earlier = false;
        for (const auto& other : loader.ExportList()) {
          if (&other == &e) break;
          earlier = earlier || other.Name == e.Name;
        }
        if (!earlier) __builtin_trap();
      }
    }
  }
  return 0;
}
