// Feeds arbitrary bytes to the ILDA reader, alone and merged onto a show, then writes the
// result back out: nothing may read or write out of bounds, and the store stays consistent.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/desktop_services.h"
#include "show/ilda.h"

namespace {

struct Harness {
  Harness() {
    char pattern[] = "/tmp/lumarex-fuzz-ilda-XXXXXX";
    folder = mkdtemp(pattern);
    input = folder + "/in.ild";
    output = folder + "/out.ild";
  }
  std::string folder, input, output;
  lumarex::SilentDesktopServices desktop;
  lumarex::IldaReader reader;
};

void Check(const lumarex::ShowStore& store) {
  for (uint32_t n = 0; n < store.FrameCount; ++n) {
    if (store.FramePoints[n].size() < store.LastPointIndex[n] + 1u &&
        store.LastPointIndex[n] != 0) {
      std::abort();
    }
    (void)store.FrameStatistics(n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness h;
  std::FILE* f = std::fopen(h.input.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  lumarex::ShowStore store;
  h.reader.ReadIlda(store, h.input, false, h.desktop);
  Check(store);
  h.reader.ReadIlda(store, h.input, true, h.desktop);
  Check(store);
  lumarex::WriteIlda(store, h.output, 0, store.FrameCount - 1, h.desktop);
  return 0;
}
