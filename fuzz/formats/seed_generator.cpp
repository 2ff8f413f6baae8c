// Writes the seed corpus of fuzz_formats: one small file of every format, each behind the
// byte that chooses its reader, plain and with the merge and rewrite modes.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/formats/fuzz_targets.h"
#include "tests/show/format_samples_list.h"

namespace {

using namespace lumarex;

uint8_t ReaderFor(const std::string& name) {
  const std::string ext = name.substr(name.find_last_of('.') + 1);
  if (ext == "cat") return fuzzing::kCat;
  if (ext == "ulf") return fuzzing::kUlf;
  if (ext == "pho") return fuzzing::kPho;
  if (ext == "lf" || ext == "slf") return fuzzing::kBilda;
  if (ext == "ldb") return fuzzing::kPangolin;
  if (ext == "fla") return fuzzing::kFla;
  if (ext == "flx") return fuzzing::kFlx;
  if (ext == "pic") return fuzzing::kPic;
  return fuzzing::kGrabben;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  std::vector<samples::NamedSample> seeds = samples::EveryFormat();
  seeds.push_back({"colours.pal", samples::PalFile()});
  for (const samples::NamedSample& seed : seeds) {
    const uint8_t reader =
        seed.fileName == "colours.pal" ? fuzzing::kPal : ReaderFor(seed.fileName);
    for (const uint8_t mode : {uint8_t{0}, fuzzing::kMergeFlag, fuzzing::kRewriteFlag}) {
      std::vector<uint8_t> bytes{static_cast<uint8_t>(reader | mode)};
      bytes.insert(bytes.end(), seed.bytes.data.begin(), seed.bytes.data.end());
      const auto path = folder / (seed.fileName + "." + std::to_string(int{mode}));
      if (!samples::WriteBytes(path.string(), bytes)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
      }
    }
  }
  return 0;
}
