// One fuzz target for every show reader other than ILDA: the first byte chooses the reader,
// the rest is the file. The store's promises to its consumers are checked after each read.

#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/formats/fuzz_targets.h"
#include "show/bilda.h"
#include "show/cat.h"
#include "show/grabben.h"
#include "show/laserpainter.h"
#include "show/pangolin.h"
#include "show/pic.h"
#include "show/show_store.h"
#include "show/ulf.h"

namespace {

using namespace lumarex;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckStore(const ShowStore& store) {
  Require(store.FrameCount <= ShowStore::kMaxFrames);
  for (uint32_t n = 0; n < store.FrameCount; ++n) {
    const uint32_t last = store.LastPointIndex[n];
    Require(last == 0 || store.FramePoints[n].size() >= last + 1u);
    Require(store.RealPointCount(n) <= last + 1u);
    store.FrameStatistics(n);
  }
  Require(store.LastPointIndex[store.FrameCount] == 0);
}

void Read(uint8_t reader, ShowStore& store, const std::string& path, bool merge,
          DesktopServices& desktop) {
  switch (reader) {
    case fuzzing::kCat:
      ReadCat(store, path, merge, desktop);
      break;
    case fuzzing::kPal:
      ReadPal(store, path);
      break;
    case fuzzing::kUlf:
      ReadUlf(store, path, merge, desktop);
      break;
    case fuzzing::kPho:
      ReadPho(store, path, merge, desktop);
      break;
    case fuzzing::kBilda:
      ReadBilda(store, path, merge, desktop);
      break;
    case fuzzing::kPangolin:
      ReadPangolin(store, path, merge, desktop);
      break;
    case fuzzing::kFla:
      ReadFla(store, path, merge, desktop);
      break;
    case fuzzing::kFlx:
      ReadFlx(store, path, merge, desktop);
      break;
    case fuzzing::kPic:
      ReadPic(store, path, merge, desktop);
      break;
    default:
      ReadGrabben(store, path, merge, desktop);
      break;
  }
}

struct Harness {
  Harness() {
    // The input lives in memory; the readers open it by name like any file.
    fd = memfd_create("lumarex-fuzz", MFD_CLOEXEC);
    Require(fd >= 0);
    inputPath = "/proc/self/fd/" + std::to_string(fd);
    char pattern[] = "/tmp/lumarex-fuzz-XXXXXX";
    Require(mkdtemp(pattern) != nullptr);
    folder = pattern;
  }
  ~Harness() {
    unlink((folder + "/copy.cat").c_str());
    unlink((folder + "/copy.ulf").c_str());
    rmdir(folder.c_str());
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  int fd = -1;
  std::string inputPath;
  std::string folder;
  ShowStore store;
  SilentDesktopServices desktop;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness h;
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  Require(ftruncate(h.fd, 0) == 0);
  Require(pwrite(h.fd, data + 1, size - 1, 0) == static_cast<ssize_t>(size - 1));

  ShowStore& store = h.store;
  // The readers leave no point array above FrameCount, so removing the frames resets the
  // store without ClearShow's walk over every slot, which dominates a run under ASan.
  if (store.FrameCount > 0) store.RemoveFrames(0, store.FrameCount - 1u);
  store.LoadDefaultPalette();
  const bool merge = (choice & fuzzing::kMergeFlag) != 0;
  if (merge) {
    store.NewFrame(3);
    store.CommitFrame(2, FrameTail::kAllReal);
    store.AppendEmptyFrame();
  }
  Read(static_cast<uint8_t>((choice & 0x0F) % fuzzing::kReaderCount), store, h.inputPath, merge,
       h.desktop);
  CheckStore(store);

  if ((choice & fuzzing::kRewriteFlag) != 0 && store.FrameCount > 0) {
    const int32_t last = store.FrameCount - 1;
    const std::string cat = h.folder + "/copy.cat", ulf = h.folder + "/copy.ulf";
    WriteCat2008(store, cat, 0, last, h.desktop);
    ReadCat(store, cat, false, h.desktop);
    CheckStore(store);
    WritePhoenixCat(store, cat, 0, last, h.desktop);
    ReadCat(store, cat, false, h.desktop);
    CheckStore(store);
    WriteUlf(store, ulf, 0, store.FrameCount - 1, h.desktop);
    ReadUlf(store, ulf, false, h.desktop);
    CheckStore(store);
  }
  return 0;
}
