#include "music/dll_loader.h"

#include <sys/mman.h>

#include <fstream>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>

#include "tests/music/pe_builder.h"

namespace lumarex {
namespace {

using test::Get16;
using test::Get32;
using test::PeBuilder;

class FakeResolver final : public TImportResolver {
 public:
  uintptr_t OpenLibrary(const std::string& name) override {
    opened.push_back(name);
    return 0x10000 * opened.size();
  }
  uintptr_t FindByName(uintptr_t library, const std::string& name) override {
    return library + 0x100 + name.size();
  }
  uintptr_t FindByOrdinal(uintptr_t library, uint16_t ordinal) override {
    return library + ordinal;
  }
  void CloseLibrary(uintptr_t library) override { closed.push_back(library); }

  std::vector<std::string> opened;
  std::vector<uintptr_t> closed;
};

struct EntryCalls {
  std::vector<std::tuple<uintptr_t, uintptr_t, uint32_t>> calls;
  bool result = true;
  TEntryCall Call() {
    return [this](uintptr_t entry, uintptr_t base, uint32_t reason) {
      calls.emplace_back(entry, base, reason);
      return result;
    };
  }
};

// A free 64 KiB range below 2 GiB, where a 32-bit preferred base can point.
uint32_t FreeLowAddress() {
  void* p = mmap(nullptr, 0x10000, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (p == MAP_FAILED) return 0;
  munmap(p, 0x10000);
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

// The permissions /proc/self/maps shows for the page at `address`, e.g. "r-xp".
std::string MappedPermissions(uintptr_t address) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    std::istringstream in(line);
    std::string range, permissions;
    in >> range >> permissions;
    const size_t dash = range.find('-');
    const uintptr_t from = std::stoull(range.substr(0, dash), nullptr, 16);
    const uintptr_t to = std::stoull(range.substr(dash + 1), nullptr, 16);
    if (address >= from && address < to) return permissions;
  }
  return "";
}

class DllLoaderTest : public ::testing::Test {
 protected:
  bool LoadSample(uint32_t base) {
    image = test::SampleLibrary(base).Build();
    return loader.Load(image);
  }
  const uint8_t* At(uint32_t rva) const {
    return reinterpret_cast<const uint8_t*>(loader.AddressOf(rva));
  }

  FakeResolver resolver;
  EntryCalls entry;
  TDLLLoader loader{resolver, entry.Call()};
  std::vector<uint8_t> image;
};

TEST_F(DllLoaderTest, PlacesHeadersAndSections) {
  ASSERT_TRUE(LoadSample(0x10000000));
  ASSERT_NE(loader.ImageBase(), 0u);
  EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(loader.ImageBase()), image.data(), 0x200), 0);
  const TSections& sections = loader.SectionList();
  ASSERT_EQ(sections.size(), 4u);
  EXPECT_EQ(sections[0].Address, loader.ImageBase() + 0x1000);
  EXPECT_EQ(sections[0].RelativeAddress, 0x1000u);
  EXPECT_EQ(sections[0].Size, 0x100u);  // the virtual size beats the 0x40 raw bytes
  EXPECT_EQ(sections[0].Characteristics, test::kCode);
  EXPECT_EQ(sections[1].Size, 0x600u);
  EXPECT_EQ(At(0x1000)[0x3F], 0xC3);
  EXPECT_EQ(At(0x1000)[0x40], 0x00);  // zero beyond the raw data
  EXPECT_EQ(loader.AddressOf(0x10FF), loader.ImageBase() + 0x10FF);
  EXPECT_EQ(loader.AddressOf(0x1100), 0u);  // between sections
  EXPECT_EQ(loader.AddressOf(0x0010), 0u);  // headers are no section
}

TEST_F(DllLoaderTest, AtThePreferredBaseNothingIsRelocated) {
  const uint32_t base = FreeLowAddress();
  ASSERT_NE(base, 0u);
  ASSERT_TRUE(LoadSample(base));
  ASSERT_EQ(loader.ImageBase(), base);
  EXPECT_EQ(loader.ImageBaseDelta(), 0);
  EXPECT_EQ(Get32(At(0x3000)), base + 0x3010);
  EXPECT_EQ(Get16(At(0x3004)), static_cast<uint16_t>((base + 0x1234) >> 16));
  EXPECT_EQ(Get16(At(0x3008)), 0x5678);
}

TEST_F(DllLoaderTest, ElsewhereValuesChangeByExactlyTheDelta) {
  const uint32_t base = FreeLowAddress();
  ASSERT_NE(base, 0u);
  void* blocker = mmap(reinterpret_cast<void*>(uintptr_t{base}), 0x10000, PROT_NONE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_EQ(blocker, reinterpret_cast<void*>(uintptr_t{base}));
  const bool loaded = LoadSample(base);
  munmap(blocker, 0x10000);
  ASSERT_TRUE(loaded);
  ASSERT_NE(loader.ImageBase(), base);
  const auto delta = static_cast<uint32_t>(loader.ImageBaseDelta());
  EXPECT_EQ(delta, static_cast<uint32_t>(loader.ImageBase()) - base);
  EXPECT_EQ(Get32(At(0x3000)), base + 0x3010 + delta);
  EXPECT_EQ(Get16(At(0x3004)), static_cast<uint16_t>(((base + 0x1234) >> 16) + (delta >> 16)));
  EXPECT_EQ(Get16(At(0x3008)), static_cast<uint16_t>(0x5678 + (delta & 0xFFFF)));
}

TEST_F(DllLoaderTest, ResolvesImportsByNameAndOrdinalSharingOneHandlePerLibrary) {
  ASSERT_TRUE(LoadSample(0x10000000));
  ASSERT_GE(resolver.opened.size(), 2u);
  EXPECT_EQ(resolver.opened[0], "KERNEL32.dll");
  EXPECT_EQ(resolver.opened[1], "USER32.dll");
  const TImports& imports = loader.ImportList();
  ASSERT_EQ(imports.size(), 3u);
  EXPECT_EQ(imports[0].LibraryName, "KERNEL32.dll");
  EXPECT_EQ(imports[1].LibraryName, "KERNEL32.dll");
  EXPECT_EQ(imports[0].LibraryHandle, imports[1].LibraryHandle);
  EXPECT_NE(imports[2].LibraryHandle, imports[0].LibraryHandle);

  const uintptr_t kernel = imports[0].LibraryHandle;
  ASSERT_EQ(imports[0].Entries.size(), 2u);
  EXPECT_EQ(imports[0].Entries[0].ByOrdinal, 0);
  EXPECT_EQ(imports[0].Entries[0].Name, "HeapAlloc");
  EXPECT_EQ(imports[0].Entries[0].Ordinal, 0);
  EXPECT_EQ(imports[0].Entries[1].ByOrdinal, 1);
  EXPECT_EQ(imports[0].Entries[1].Name, "");
  EXPECT_EQ(imports[0].Entries[1].Ordinal, 7);
  EXPECT_EQ(Get32(At(0x3020)), static_cast<uint32_t>(kernel + 0x100 + 9));
  EXPECT_EQ(Get32(At(0x3024)), static_cast<uint32_t>(kernel + 7));
  EXPECT_EQ(Get32(At(0x3040)), static_cast<uint32_t>(kernel + 0x100 + 5));
  // Without a lookup table the address table itself says what to import.
  ASSERT_EQ(imports[2].Entries.size(), 1u);
  EXPECT_EQ(Get32(At(0x3060)), static_cast<uint32_t>(imports[2].LibraryHandle + 5));

  loader.Unload();
  EXPECT_EQ(resolver.closed.size(), resolver.opened.size());
  EXPECT_TRUE(loader.ExternalLibraries().empty());
  EXPECT_TRUE(loader.ImportList().empty());
}

TEST_F(DllLoaderTest, SectionsGetThePageProtectionOfTheirCharacteristics) {
  ASSERT_TRUE(LoadSample(0x10000000));
  const TSections& s = loader.SectionList();
  EXPECT_EQ(s[0].Protection, SectionProtection::kExecuteRead);
  EXPECT_EQ(s[1].Protection, SectionProtection::kReadOnly);
  EXPECT_EQ(s[2].Protection, SectionProtection::kReadWrite);
  EXPECT_EQ(MappedPermissions(s[0].Address), "r-xp");
  EXPECT_EQ(MappedPermissions(s[1].Address), "r--p");
  EXPECT_EQ(MappedPermissions(s[2].Address), "rw-p");
  EXPECT_EQ(MappedPermissions(loader.ImageBase()), "r--p");  // the headers

  constexpr uint32_t kX = 1u << 29, kR = 1u << 30, kW = 1u << 31;
  EXPECT_EQ(ProtectionFor(kX | kR | kW), SectionProtection::kExecuteReadWrite);
  EXPECT_EQ(ProtectionFor(kX | kR), SectionProtection::kExecuteRead);
  EXPECT_EQ(ProtectionFor(kX | kW), SectionProtection::kExecuteWriteCopy);
  EXPECT_EQ(ProtectionFor(kX), SectionProtection::kExecute);
  EXPECT_EQ(ProtectionFor(kR | kW), SectionProtection::kReadWrite);
  EXPECT_EQ(ProtectionFor(kR), SectionProtection::kReadOnly);
  EXPECT_EQ(ProtectionFor(kW), SectionProtection::kWriteCopy);
  EXPECT_EQ(ProtectionFor(0x40), SectionProtection::kNoAccess);
}

TEST_F(DllLoaderTest, NoCacheSectionsAndNoAccessSections) {
  PeBuilder pe = test::SampleLibrary(0x10000000);
  pe.At(0x4000).characteristics = 0x04000040;  // not cached, no access
  image = pe.Build();
  ASSERT_TRUE(loader.Load(image));
  EXPECT_TRUE(loader.SectionList()[3].NoCache);
  EXPECT_EQ(loader.SectionList()[3].Protection, SectionProtection::kNoAccess);
  EXPECT_EQ(MappedPermissions(loader.SectionList()[3].Address), "---p");
}

TEST_F(DllLoaderTest, EntryRoutineIsCalledToAttachAndDetach) {
  ASSERT_TRUE(LoadSample(0x10000000));
  const uintptr_t base = loader.ImageBase();
  EXPECT_EQ(loader.EntryRoutine(), base + 0x1000);
  ASSERT_EQ(entry.calls.size(), 1u);
  EXPECT_EQ(entry.calls[0], std::make_tuple(base + 0x1000, base, 1u));
  loader.Unload();
  ASSERT_EQ(entry.calls.size(), 2u);
  EXPECT_EQ(entry.calls[1], std::make_tuple(base + 0x1000, base, 0u));
  EXPECT_EQ(loader.ImageBase(), 0u);
  EXPECT_EQ(loader.EntryRoutine(), 0u);
  EXPECT_EQ(loader.FindExport("Alpha"), 0u);

  entry.result = false;
  EXPECT_FALSE(LoadSample(0x10000000));
  loader.Unload();
  EXPECT_EQ(entry.calls.size(), 3u);  // a refused attach is not detached

  // Without a way to run i386 code the load fails cleanly at the entry step.
  FakeResolver otherResolver;
  TDLLLoader cannotRun(otherResolver);
  EXPECT_FALSE(cannotRun.Load(image));
  EXPECT_NE(cannotRun.ImageBase(), 0u);
  cannotRun.Unload();
  EXPECT_EQ(cannotRun.ImageBase(), 0u);
}

TEST_F(DllLoaderTest, ExportsAreFoundByExactNameIncludingForwarders) {
  ASSERT_TRUE(LoadSample(0x10000000));
  const uintptr_t base = loader.ImageBase();
  ASSERT_NE(loader.ExportNames(), nullptr);
  EXPECT_EQ(loader.FindExport("Alpha"), base + 0x1010);  // the first of the two
  EXPECT_EQ(loader.FindExport("AlphaBeta"), base + 0x1020);
  EXPECT_EQ(loader.FindExport("Alph"), 0u);
  EXPECT_EQ(loader.FindExport("AlphaB"), 0u);
  EXPECT_EQ(loader.FindExport("AlphaBetaGamma"), 0u);
  EXPECT_EQ(loader.FindExport("Alphb"), 0u);
  EXPECT_EQ(loader.FindExport("alpha"), 0u);
  EXPECT_EQ(loader.FindExport(""), 0u);

  const uintptr_t kernel = loader.ImportList()[0].LibraryHandle;
  EXPECT_EQ(loader.FindExport("Forwarded"), kernel + 0x100 + 8);  // KERNEL32.dll reused
  ASSERT_EQ(resolver.opened.size(), 3u);
  EXPECT_EQ(resolver.opened[2], "NTDLL");
  EXPECT_EQ(loader.FindExport("ByOrdinal"), loader.ExternalLibraries()[2].LibraryHandle + 12);

  const TExports& exports = loader.ExportList();
  ASSERT_EQ(exports.size(), 5u);
  EXPECT_EQ(exports[4].Name, "Alpha");
  EXPECT_EQ(exports[4].Index, 1u);
  EXPECT_EQ(exports[4].FunctionPointer, base + 0x1020);
}

// Each case breaks one thing of an otherwise good image.
TEST_F(DllLoaderTest, DamagedImagesFailCleanly) {
  const std::vector<uint8_t> good = test::SampleLibrary(0x10000000).Build();
  const auto broken = [&good](auto&& change) {
    std::vector<uint8_t> b = good;
    change(b);
    return b;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  PeBuilder noSections = test::SampleLibrary(0x10000000);
  noSections.sections.clear();
  PeBuilder tooSmall = test::SampleLibrary(0x10000000);
  tooSmall.sizeOfImage = 0x3000;
  PeBuilder farPage = test::SampleLibrary(0x10000000);
  test::Put32(farPage.At(0x4000).data, 0, 0x9000);
  PeBuilder shortBlock = test::SampleLibrary(0x10000000);
  test::Put32(shortBlock.At(0x4000).data, 4, 4);
  PeBuilder targetOutside = test::SampleLibrary(0x10000000);
  test::Put16(targetOutside.At(0x4000).data, 8, (3 << 12) | 0xFFE);
  PeBuilder endlessImports = test::SampleLibrary(0x10000000);
  endlessImports.directories[1] = {0x25F0, 0x14};  // descriptors run off the section
  test::PutText(endlessImports.At(0x2000).data, 0x5FC, "");
  test::Put32(endlessImports.At(0x2000).data, 0x5FC, 0x2200);
  PeBuilder namesOutside = test::SampleLibrary(0x10000000);
  test::Put32(namesOutside.At(0x2000).data, 0x400 + 24, 0x40000000);
  PeBuilder badOrdinal = test::SampleLibrary(0x10000000);
  test::Put16(badOrdinal.At(0x2000).data, 0x480, 9);

  PeBuilder unreadableExports = test::SampleLibrary(0x10000000);
  unreadableExports.At(0x2000).characteristics = 0x00000040;  // no access once protected

  const Case cases[] = {
      {"empty", {}},
      {"not MZ", broken([](auto& b) { b[0] = 'Z'; })},
      {"not PE", broken([](auto& b) { b[0x41] = 'X'; })},
      {"PE offset beyond the end", broken([](auto& b) { test::Put32(b, 60, 0x7FFFFFF0); })},
      {"x86-64", broken([](auto& b) { test::Put16(b, 0x44, 0x8664); })},
      {"optional header cut short", broken([](auto& b) { test::Put16(b, 0x54, 64); })},
      {"truncated", broken([](auto& b) { b.resize(b.size() - 8); })},
      {"only the headers", broken([](auto& b) { b.resize(0x150); })},
      {"no sections", noSections.Build()},
      {"sections beyond SizeOfImage", tooSmall.Build()},
      {"relocation page outside", farPage.Build()},
      {"relocation block shorter than its head", shortBlock.Build()},
      {"relocation target outside", targetOutside.Build()},
      {"import descriptors off the end", endlessImports.Build()},
      {"export names outside", namesOutside.Build()},
      {"export ordinal beyond the functions", badOrdinal.Build()},
      {"exports in a section that forbids reading", unreadableExports.Build()},
  };
  for (const Case& c : cases) {
    FakeResolver r;
    TDLLLoader l(r, [](uintptr_t, uintptr_t, uint32_t) { return true; });
    EXPECT_FALSE(l.Load(c.bytes)) << c.what;
    l.Unload();
    EXPECT_EQ(l.ImageBase(), 0u) << c.what;
    EXPECT_EQ(r.closed.size(), r.opened.size()) << c.what;
  }
  // A wrong signature maps nothing at all.
  TDLLLoader l(resolver, entry.Call());
  EXPECT_FALSE(l.Load(cases[1].bytes));
  EXPECT_EQ(l.ImageBase(), 0u);
  EXPECT_TRUE(l.SectionList().empty());
}

TEST_F(DllLoaderTest, AnImageCutAtAnyLengthFailsCleanly) {
  PeBuilder bare = test::SampleLibrary(0x10000000);
  bare.directories = {};
  bare.entryPoint = 0;
  for (const auto& whole : {test::SampleLibrary(0x10000000).Build(), bare.Build()}) {
    // Each cut in a buffer of its own size, so that the sanitizer build sees a read past it.
    for (size_t n = 0; n < whole.size(); ++n) {
      const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
      TDLLLoader l(resolver, entry.Call());
      ASSERT_FALSE(l.Load(cut)) << "cut at " << n;
      l.Unload();
      EXPECT_EQ(l.ImageBase(), 0u) << "cut at " << n;
    }
    EXPECT_TRUE(loader.Load(whole));
  }
}

TEST(ExportTreeTest, FindsExactNamesOnly) {
  TExportTree tree;
  EXPECT_FALSE(tree.Add("", 1));
  // Out of order, sharing prefixes, inserted before, between and after siblings.
  const std::pair<const char*, uintptr_t> names[] = {
      {"BASS_Init", 1}, {"BASS_Free", 2}, {"BASS_GetVersion", 3}, {"BASS_GetConfig", 4}, {"A", 5},
      {"BASS_", 6},     {"Zeta", 7},      {"BASS_Info", 8}};
  for (const auto& [name, value] : names) EXPECT_TRUE(tree.Add(name, value)) << name;
  for (const auto& [name, value] : names) EXPECT_EQ(tree.Find(name), value) << name;
  EXPECT_FALSE(tree.Find("BASS").has_value());        // a prefix
  EXPECT_FALSE(tree.Find("BASS_Init2").has_value());  // an extension
  EXPECT_FALSE(tree.Find("BASS_Inis").has_value());   // one character off
  EXPECT_FALSE(tree.Find("BASS_FreE").has_value());
  EXPECT_FALSE(tree.Find("").has_value());
  EXPECT_FALSE(tree.Find("B").has_value());

  const size_t nodes = tree.NodeCount();
  EXPECT_FALSE(tree.Add("BASS_Free", 99));  // the first value stays
  EXPECT_EQ(tree.Find("BASS_Free"), 2u);
  EXPECT_EQ(tree.NodeCount(), nodes);
  EXPECT_TRUE(tree.Add("BASS_Fre", 10));  // a prefix of a present name gets its own value
  EXPECT_EQ(tree.Find("BASS_Fre"), 10u);
  EXPECT_EQ(tree.NodeCount(), nodes);
}

TEST(HostExportsTest, LoaderIndexesAHostExportList) {
  FakeResolver resolver;
  TDLLLoader loader(resolver);
  const HostExport exports[] = {{"First", 0x10}, {"Second", 0x20}, {"First", 0x30}};
  loader.LoadHostExports(exports);
  EXPECT_EQ(loader.FindExport("First"), 0x10u);
  EXPECT_EQ(loader.FindExport("Second"), 0x20u);
  EXPECT_EQ(loader.FindExport("Secon"), 0u);
  EXPECT_EQ(loader.ExportList().size(), 3u);
}

}  // namespace
}  // namespace lumarex
