// Writes a few good library images as the starting corpus of fuzz_pe_loader.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/music/pe_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_pe_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const auto write = [&folder](const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  };
  write("sample.dll", lumarex::test::SampleLibrary(0x10000000).Build());
  write("sample_low_base.dll", lumarex::test::SampleLibrary(0x00400000).Build());
  lumarex::test::PeBuilder bare = lumarex::test::SampleLibrary(0x10000000);
  bare.directories = {};
  bare.entryPoint = 0;
  write("bare.dll", bare.Build());
  return 0;
}
