#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "music/audio_exports.h"
#include "music/export_tree.h"

namespace lumarex {

class ByteCursor;

struct TExternalLibrary {
  std::string LibraryName;
  uintptr_t LibraryHandle = 0;
};
using TExternalLibrarys = std::vector<TExternalLibrary>;

struct TDLLFunctionImport {
  uint8_t ByOrdinal = 0;  // 1 when imported by ordinal
  std::string Name;       // empty for by-ordinal imports
  uint16_t Ordinal = 0;   // 0 for by-name imports
  uintptr_t Address = 0;  // what the resolver gave, 0 when unresolved
};

struct TDLLImport {
  std::string LibraryName;
  uintptr_t LibraryHandle = 0;
  std::vector<TDLLFunctionImport> Entries;
};
using TImports = std::vector<TDLLImport>;

struct TDLLFunctionExport {
  std::string Name;
  uint32_t Index = 0;  // ordinal index into the image's function table
  uintptr_t FunctionPointer = 0;
};
using TExports = std::vector<TDLLFunctionExport>;

// Page protection of a section, from the top bits of its characteristics.
enum class SectionProtection : uint8_t {
  kNoAccess,
  kReadOnly,
  kReadWrite,
  kWriteCopy,
  kExecute,
  kExecuteRead,
  kExecuteReadWrite,
  kExecuteWriteCopy,
};
SectionProtection ProtectionFor(uint32_t characteristics);
// The mprotect flags that stand for a protection here (write-copy is a private writable page).
int PosixProtection(SectionProtection protection);

struct TSection {
  uintptr_t Address = 0;
  uint32_t RelativeAddress = 0;
  uint32_t Size = 0;
  uint32_t Characteristics = 0;
  SectionProtection Protection = SectionProtection::kReadWrite;  // after the protection step
  bool NoCache = false;
};
using TSections = std::vector<TSection>;

// How an image's imports reach the system's libraries. Tests give their own; handles are the
// resolver's own numbers, 0 for "not opened".
class TImportResolver {
 public:
  virtual ~TImportResolver() = default;
  virtual uintptr_t OpenLibrary(const std::string& name) = 0;
  virtual uintptr_t FindByName(uintptr_t library, const std::string& name) = 0;
  virtual uintptr_t FindByOrdinal(uintptr_t library, uint16_t ordinal) = 0;
  virtual void CloseLibrary(uintptr_t library) = 0;
};

// Resolves through the dynamic linker. Names with a folder in them are refused, so that an
// image can reach only libraries from the system's search path. ELF has no ordinals.
class DlImportResolver final : public TImportResolver {
 public:
  uintptr_t OpenLibrary(const std::string& name) override;
  uintptr_t FindByName(uintptr_t library, const std::string& name) override;
  uintptr_t FindByOrdinal(uintptr_t, uint16_t) override { return 0; }
  void CloseLibrary(uintptr_t library) override;
};

// Calls an image's entry routine with (image base, reason, 0) and returns its result. i386
// code cannot run on this host, so without a supplied call every load fails at the entry step.
using TEntryCall = std::function<bool(uintptr_t entry, uintptr_t imageBase, uint32_t reason)>;

// Maps a 32-bit Windows library image (PE, i386) from memory as the system loader would: it
// places headers and sections in a reserved region, applies base relocations, resolves imports,
// sets page protections, calls the entry routine and indexes the exports by name. Every offset,
// size and count of the image is checked against the stream and the region before use, so no
// image makes the loader read or write outside them. Main thread only.
class TDLLLoader {
 public:
  static constexpr uint32_t kDefaultMaxImageSize = 64u << 20;

  explicit TDLLLoader(TImportResolver& resolver, TEntryCall entryCall = {},
                      uint32_t maxImageSize = kDefaultMaxImageSize);
  ~TDLLLoader();
  TDLLLoader(const TDLLLoader&) = delete;
  TDLLLoader& operator=(const TDLLLoader&) = delete;

  // True only when every step succeeds. A loader that holds an image releases it first.
  bool Load(std::span<const uint8_t> stream);
  // Takes the export list of a library the host provides itself, for the same name lookup.
  void LoadHostExports(std::span<const HostExport> exports);
  // The address of the named export (exact, case-sensitive), 0 when there is none.
  uintptr_t FindExport(std::string_view name) const;
  // Releases everything Load created.
  void Unload();

  // The memory address of a relative address, through the section list; 0 outside sections.
  uintptr_t AddressOf(uint32_t rva) const;

  uintptr_t ImageBase() const { return imageBase_; }
  int32_t ImageBaseDelta() const { return imageBaseDelta_; }
  uintptr_t EntryRoutine() const { return entryRoutine_; }
  const TExternalLibrarys& ExternalLibraries() const { return externalLibraries_; }
  const TImports& ImportList() const { return importList_; }
  const TExports& ExportList() const { return exportList_; }
  const TSections& SectionList() const { return sectionList_; }
  const TExportTree* ExportNames() const { return exportNames_.get(); }

 private:
  struct Headers;

  bool MapImage(ByteCursor& stream, Headers& h);
  bool PlaceSections(ByteCursor& stream, const Headers& h);
  bool ApplyRelocations(const Headers& h);
  bool ResolveImports(const Headers& h);
  bool ProtectSections();
  bool CallEntry(const Headers& h);
  bool IndexExports(const Headers& h);

  size_t ReadableBytes(uintptr_t address, size_t want) const;
  uint8_t* View(uint32_t rva, uint32_t size) const;
  bool ViewCursor(uint32_t rva, uint32_t size, ByteCursor& out) const;
  bool ReadText(uint32_t rva, std::string& out) const;
  uintptr_t OpenLibrary(const std::string& name);

  TImportResolver& resolver_;
  TEntryCall entryCall_;
  uint32_t maxImageSize_;

  uintptr_t imageBase_ = 0;
  size_t regionSize_ = 0;
  int32_t imageBaseDelta_ = 0;
  uintptr_t entryRoutine_ = 0;
  bool attached_ = false;
  bool protectionsSet_ = false;
  std::vector<int> pageProtection_;  // per page of the region, after the protection step
  TExternalLibrarys externalLibraries_;
  TImports importList_;
  TExports exportList_;
  TSections sectionList_;
  std::unique_ptr<TExportTree> exportNames_;
};

}  // namespace lumarex
