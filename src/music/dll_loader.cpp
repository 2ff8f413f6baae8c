#include "music/dll_loader.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"

namespace lumarex {

namespace {

constexpr uint16_t kMzSignature = 0x5A4D;
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr size_t kPeOffsetAt = 60;
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint32_t kOptionalHeaderMinimum = 96;  // up to the data directories
constexpr uint32_t kDirectoryExport = 0;
constexpr uint32_t kDirectoryImport = 1;
constexpr uint32_t kDirectoryBaseRelocation = 5;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint32_t kExportDirectorySize = 40;
constexpr uint32_t kReasonProcessAttach = 1;
constexpr uint32_t kReasonProcessDetach = 0;
constexpr uint32_t kNoCacheBit = 1u << 26;
constexpr size_t kMaxTextLength = 4096;

size_t PageSize() {
  return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// mprotect works on whole pages; sections aligned below the page size share theirs.
bool ProtectRange(uintptr_t address, size_t size, int protection) {
  if (size == 0) return true;
  const size_t page = PageSize();
  const uintptr_t first = address & ~(page - 1);
  const uintptr_t end = (address + size + page - 1) & ~(page - 1);
  return mprotect(reinterpret_cast<void*>(first), end - first, protection) == 0;
}

}  // namespace

SectionProtection ProtectionFor(uint32_t characteristics) {
  const bool execute = (characteristics & (1u << 29)) != 0;
  const bool read = (characteristics & (1u << 30)) != 0;
  const bool write = (characteristics & (1u << 31)) != 0;
  if (execute) {
    if (read) return write ? SectionProtection::kExecuteReadWrite : SectionProtection::kExecuteRead;
    return write ? SectionProtection::kExecuteWriteCopy : SectionProtection::kExecute;
  }
  if (read) return write ? SectionProtection::kReadWrite : SectionProtection::kReadOnly;
  return write ? SectionProtection::kWriteCopy : SectionProtection::kNoAccess;
}

int PosixProtection(SectionProtection protection) {
  switch (protection) {
    case SectionProtection::kNoAccess:
      return PROT_NONE;
    case SectionProtection::kReadOnly:
      return PROT_READ;
    case SectionProtection::kReadWrite:
    case SectionProtection::kWriteCopy:
      return PROT_READ | PROT_WRITE;
    case SectionProtection::kExecute:
      return PROT_EXEC;
    case SectionProtection::kExecuteRead:
      return PROT_EXEC | PROT_READ;
    case SectionProtection::kExecuteReadWrite:
    case SectionProtection::kExecuteWriteCopy:
      return PROT_EXEC | PROT_READ | PROT_WRITE;
  }
  return PROT_NONE;
}

uintptr_t DlImportResolver::OpenLibrary(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return 0;
  return reinterpret_cast<uintptr_t>(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
}

uintptr_t DlImportResolver::FindByName(uintptr_t library, const std::string& name) {
  if (library == 0) return 0;
  return reinterpret_cast<uintptr_t>(dlsym(reinterpret_cast<void*>(library), name.c_str()));
}

void DlImportResolver::CloseLibrary(uintptr_t library) {
  if (library != 0) dlclose(reinterpret_cast<void*>(library));
}

struct TDLLLoader::Headers {
  uint16_t sectionCount = 0;
  uint32_t entryPoint = 0;
  uint32_t preferredBase = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sizeOfHeaders = 0;
  uint64_t sectionTableOffset = 0;
  struct Directory {
    uint32_t rva = 0;
    uint32_t size = 0;
  };
  Directory directories[16];
};

TDLLLoader::TDLLLoader(TImportResolver& resolver, TEntryCall entryCall, uint32_t maxImageSize)
    : resolver_(resolver), entryCall_(std::move(entryCall)), maxImageSize_(maxImageSize) {}

// A load that failed part way still holds its region and libraries; they go here too.
TDLLLoader::~TDLLLoader() {
  Unload();
}

bool TDLLLoader::Load(std::span<const uint8_t> bytes) {
  Unload();
  ByteCursor stream(bytes);
  if (stream.Size() == 0) return false;
  Headers h;
  if (!MapImage(stream, h)) return false;
  if (!PlaceSections(stream, h)) return false;
  if (!ApplyRelocations(h)) return false;
  if (!ResolveImports(h)) return false;
  if (!ProtectSections()) return false;
  if (!CallEntry(h)) return false;
  return IndexExports(h);
}

bool TDLLLoader::MapImage(ByteCursor& stream, Headers& h) {
  uint16_t mz = 0;
  uint32_t peOffset = 0;
  uint32_t signature = 0;
  if (!stream.ReadU16LE(mz) || mz != kMzSignature || !stream.Seek(kPeOffsetAt) ||
      !stream.ReadU32LE(peOffset) || !stream.Seek(peOffset) || !stream.ReadU32LE(signature) ||
      signature != kPeSignature) {
    return false;
  }
  ByteCursor file;
  uint16_t machine = 0;
  uint16_t optionalSize = 0;
  if (!stream.Sub(kFileHeaderSize, file) || !file.ReadU16LE(machine) || machine != kMachineI386 ||
      !file.ReadU16LE(h.sectionCount) || !file.Skip(12) || !file.ReadU16LE(optionalSize)) {
    return false;
  }
  ByteCursor optional;
  if (optionalSize < kOptionalHeaderMinimum || !stream.Sub(optionalSize, optional)) return false;
  h.sectionTableOffset = stream.Position();
  const auto field = [&optional](size_t offset, uint32_t& value) {
    return optional.Seek(offset) && optional.ReadU32LE(value);
  };
  uint32_t directoryCount = 0;
  // The directories follow their count, at the end of the fixed part.
  if (!field(16, h.entryPoint) || !field(28, h.preferredBase) || !field(56, h.sizeOfImage) ||
      !field(60, h.sizeOfHeaders) || !field(92, directoryCount)) {
    return false;
  }
  directoryCount =
      std::min<uint32_t>({directoryCount, 16u, (optionalSize - kOptionalHeaderMinimum) / 8u});
  for (uint32_t i = 0; i < directoryCount; ++i) {
    if (!optional.ReadU32LE(h.directories[i].rva) || !optional.ReadU32LE(h.directories[i].size)) {
      return false;
    }
  }

  if (h.sectionCount == 0) return false;
  if (h.sizeOfImage == 0 || h.sizeOfImage > maxImageSize_) return false;
  if (h.sizeOfHeaders > h.sizeOfImage || h.sizeOfHeaders > stream.Size()) return false;

  const size_t page = PageSize();
  regionSize_ = (static_cast<size_t>(h.sizeOfImage) + page - 1) & ~(page - 1);
  // Asking for the preferred base first spares the relocations when that range is free.
  void* hint = reinterpret_cast<void*>(static_cast<uintptr_t>(h.preferredBase));
  void* region =
      mmap(hint, regionSize_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (region == MAP_FAILED) {
    regionSize_ = 0;
    return false;
  }
  imageBase_ = reinterpret_cast<uintptr_t>(region);
  // The image speaks 32-bit addresses: the delta is taken modulo 2^32.
  imageBaseDelta_ = static_cast<int32_t>(static_cast<uint32_t>(imageBase_) - h.preferredBase);

  if (h.sizeOfHeaders > 0) {
    if (!ProtectRange(imageBase_, h.sizeOfHeaders, PROT_READ | PROT_WRITE)) return false;
    if (!stream.Seek(0) || !stream.ReadBytes(region, h.sizeOfHeaders)) return false;
    if (!ProtectRange(imageBase_, h.sizeOfHeaders, PROT_READ)) return false;
  }
  return stream.Seek(h.sectionTableOffset);
}

bool TDLLLoader::PlaceSections(ByteCursor& stream, const Headers& h) {
  ByteCursor table;
  if (!stream.Sub(size_t{h.sectionCount} * kSectionHeaderSize, table)) return false;
  for (uint32_t i = 0; i < h.sectionCount; ++i) {
    ByteCursor s;
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawPointer = 0;
    uint32_t characteristics = 0;
    // Past the name; the relocation and line-number fields of object files mean nothing here.
    if (!table.Sub(kSectionHeaderSize, s) || !s.Skip(8) || !s.ReadU32LE(virtualSize) ||
        !s.ReadU32LE(virtualAddress) || !s.ReadU32LE(rawSize) || !s.ReadU32LE(rawPointer) ||
        !s.Skip(12) || !s.ReadU32LE(characteristics)) {
      return false;
    }
    const uint32_t size = std::max(rawSize, virtualSize);
    if (uint64_t{virtualAddress} + size > h.sizeOfImage) return false;
    const uintptr_t address = imageBase_ + virtualAddress;
    if (!ProtectRange(address, size, PROT_READ | PROT_WRITE)) return false;
    std::memset(reinterpret_cast<void*>(address), 0, size);
    if (rawPointer != 0) {
      if (!stream.Seek(rawPointer) ||
          !stream.ReadBytes(reinterpret_cast<void*>(address), rawSize)) {
        return false;
      }
    }
    TSection section;
    section.Address = address;
    section.RelativeAddress = virtualAddress;
    section.Size = size;
    section.Characteristics = characteristics;
    sectionList_.push_back(section);
  }
  return true;
}

uintptr_t TDLLLoader::AddressOf(uint32_t rva) const {
  for (const TSection& s : sectionList_) {
    if (rva >= s.RelativeAddress && rva - s.RelativeAddress < s.Size) {
      return s.Address + (rva - s.RelativeAddress);
    }
  }
  return 0;
}

// How many of the `want` bytes from `address` may be read. Once the protections are set, a
// page counts as the last section that touched it left it: sections aligned below the page
// size share pages, and the exports must not be read from one that forbids it.
size_t TDLLLoader::ReadableBytes(uintptr_t address, size_t want) const {
  if (!protectionsSet_ || want == 0) return want;
  const size_t page = PageSize();
  size_t done = 0;
  while (done < want) {
    const size_t offset = address + done - imageBase_;
    const size_t index = offset / page;
    if (index >= pageProtection_.size() || (pageProtection_[index] & PROT_READ) == 0) break;
    done += std::min((index + 1) * page - offset, want - done);
  }
  return done;
}

// The bytes [rva, rva + size) when they lie inside one readable section, else nullptr.
uint8_t* TDLLLoader::View(uint32_t rva, uint32_t size) const {
  for (const TSection& s : sectionList_) {
    if (rva >= s.RelativeAddress && rva - s.RelativeAddress < s.Size &&
        uint64_t{rva - s.RelativeAddress} + size <= s.Size) {
      const uintptr_t address = s.Address + (rva - s.RelativeAddress);
      if (ReadableBytes(address, size) < size) return nullptr;
      return reinterpret_cast<uint8_t*>(address);
    }
  }
  return nullptr;
}

// The same bytes as a cursor, for the image's own tables.
bool TDLLLoader::ViewCursor(uint32_t rva, uint32_t size, ByteCursor& out) const {
  const uint8_t* bytes = View(rva, size);
  if (bytes == nullptr) return false;
  out = ByteCursor({bytes, size});
  return true;
}

bool TDLLLoader::ReadText(uint32_t rva, std::string& out) const {
  const TSection* section = nullptr;
  for (const TSection& s : sectionList_) {
    if (rva >= s.RelativeAddress && rva - s.RelativeAddress < s.Size) {
      section = &s;
      break;
    }
  }
  if (section == nullptr) return false;
  const uintptr_t address = section->Address + (rva - section->RelativeAddress);
  const size_t available = ReadableBytes(
      address, std::min<size_t>(section->Size - (rva - section->RelativeAddress), kMaxTextLength));
  const auto* start = reinterpret_cast<const char*>(address);
  const void* end = std::memchr(start, 0, available);
  if (end == nullptr) return false;
  out.assign(start, static_cast<const char*>(end));
  return true;
}

bool TDLLLoader::ApplyRelocations(const Headers& h) {
  const auto dir = h.directories[kDirectoryBaseRelocation];
  if (dir.rva == 0) return true;
  const auto delta = static_cast<uint32_t>(imageBaseDelta_);
  uint64_t walked = 0;
  while (walked < dir.size) {
    const uint64_t blockRva = uint64_t{dir.rva} + walked;
    if (blockRva > UINT32_MAX) return false;
    ByteCursor head;
    uint32_t page = 0;
    uint32_t blockSize = 0;
    if (!ViewCursor(static_cast<uint32_t>(blockRva), 8, head) || !head.ReadU32LE(page) ||
        !head.ReadU32LE(blockSize)) {
      return false;
    }
    if (AddressOf(page) == 0) return false;
    // A block shorter than its own head would never move the walk on.
    if (blockSize < 8) return false;
    const uint32_t count = (blockSize - 8) / 2;
    ByteCursor entries;
    if (!ViewCursor(static_cast<uint32_t>(blockRva + 8), count * 2, entries)) return false;
    for (uint16_t entry = 0; entries.ReadU16LE(entry);) {
      const uint32_t type = entry >> 12;
      const uint64_t target = uint64_t{page} + (entry & 0xFFFu);
      if (type != 1 && type != 2 && type != 3) continue;
      if (target > UINT32_MAX) return false;
      uint8_t* p = View(static_cast<uint32_t>(target), type == 3 ? 4 : 2);
      if (p == nullptr) return false;
      if (type == 1) StoreU16LE(p, static_cast<uint16_t>(LoadU16LE(p) + (delta >> 16)));
      if (type == 2) StoreU16LE(p, static_cast<uint16_t>(LoadU16LE(p) + (delta & 0xFFFFu)));
      if (type == 3) StoreU32LE(p, LoadU32LE(p) + delta);
    }
    walked += blockSize;
  }
  return true;
}

uintptr_t TDLLLoader::OpenLibrary(const std::string& name) {
  for (const TExternalLibrary& library : externalLibraries_) {
    if (library.LibraryName == name) return library.LibraryHandle;
  }
  const uintptr_t handle = resolver_.OpenLibrary(name);
  externalLibraries_.push_back(TExternalLibrary{name, handle});
  return handle;
}

bool TDLLLoader::ResolveImports(const Headers& h) {
  const auto dir = h.directories[kDirectoryImport];
  if (dir.rva == 0 || AddressOf(dir.rva) == 0) return true;
  for (uint64_t d = dir.rva;; d += kImportDescriptorSize) {
    if (d > UINT32_MAX) return false;
    ByteCursor descriptor;
    uint32_t lookupTable = 0;
    uint32_t nameRva = 0;
    uint32_t addressTable = 0;
    // Between the lookup table and the name: the time stamp and the forwarder chain.
    if (!ViewCursor(static_cast<uint32_t>(d), kImportDescriptorSize, descriptor) ||
        !descriptor.ReadU32LE(lookupTable) || !descriptor.Skip(8) ||
        !descriptor.ReadU32LE(nameRva) || !descriptor.ReadU32LE(addressTable)) {
      return false;
    }
    if (nameRva == 0) break;
    TDLLImport import;
    if (!ReadText(nameRva, import.LibraryName)) return false;
    import.LibraryHandle = OpenLibrary(import.LibraryName);
    const uint32_t lookup = lookupTable != 0 ? lookupTable : addressTable;
    for (uint64_t j = 0;; ++j) {
      const uint64_t lookupRva = uint64_t{lookup} + 4 * j;
      const uint64_t slotRva = uint64_t{addressTable} + 4 * j;
      if (lookupRva > UINT32_MAX || slotRva > UINT32_MAX) return false;
      ByteCursor entryBytes;
      uint32_t entry = 0;
      if (!ViewCursor(static_cast<uint32_t>(lookupRva), 4, entryBytes) ||
          !entryBytes.ReadU32LE(entry)) {
        return false;
      }
      if (entry == 0) break;
      uint8_t* slot = View(static_cast<uint32_t>(slotRva), 4);
      if (slot == nullptr) return false;
      TDLLFunctionImport function;
      if ((entry & 0x80000000u) != 0) {
        function.ByOrdinal = 1;
        function.Ordinal = static_cast<uint16_t>(entry & 0xFFFFu);
        if (import.LibraryHandle != 0) {
          function.Address = resolver_.FindByOrdinal(import.LibraryHandle, function.Ordinal);
        }
      } else {
        if (uint64_t{entry} + 2 > UINT32_MAX || !ReadText(entry + 2, function.Name)) return false;
        if (import.LibraryHandle != 0) {
          function.Address = resolver_.FindByName(import.LibraryHandle, function.Name);
        }
      }
      // The image's own slots hold 32-bit addresses; only their low half fits.
      StoreU32LE(slot, static_cast<uint32_t>(function.Address));
      import.Entries.push_back(std::move(function));
    }
    importList_.push_back(std::move(import));
  }
  return true;
}

bool TDLLLoader::ProtectSections() {
  const size_t page = PageSize();
  pageProtection_.assign(regionSize_ / page, PROT_NONE);
  for (TSection& s : sectionList_) {
    s.Protection = ProtectionFor(s.Characteristics);
    s.NoCache = (s.Characteristics & kNoCacheBit) != 0;  // no uncached user pages here
    if (!ProtectRange(s.Address, s.Size, PosixProtection(s.Protection))) return false;
    if (s.Size == 0) continue;
    const size_t first = (s.Address - imageBase_) / page;
    const size_t end = (s.Address - imageBase_ + s.Size + page - 1) / page;
    for (size_t i = first; i < end && i < pageProtection_.size(); ++i) {
      pageProtection_[i] = PosixProtection(s.Protection);
    }
  }
  protectionsSet_ = true;
  return true;
}

bool TDLLLoader::CallEntry(const Headers& h) {
  // Like the system loader, an image without an entry routine needs no call.
  if (h.entryPoint == 0) return true;
  entryRoutine_ = AddressOf(h.entryPoint);
  if (entryRoutine_ == 0) return false;
  if (!entryCall_) return false;  // the image's code cannot run on this host
  attached_ = entryCall_(entryRoutine_, imageBase_, kReasonProcessAttach);
  return attached_;
}

bool TDLLLoader::IndexExports(const Headers& h) {
  const auto dir = h.directories[kDirectoryExport];
  if (dir.rva == 0 || AddressOf(dir.rva) == 0) return true;
  ByteCursor directory;
  uint32_t functionCount = 0;
  uint32_t nameCount = 0;
  uint32_t functions = 0;
  uint32_t names = 0;
  uint32_t ordinals = 0;
  // Past the flags, time stamp, version, name and ordinal base.
  if (!ViewCursor(dir.rva, kExportDirectorySize, directory) || !directory.Skip(20) ||
      !directory.ReadU32LE(functionCount) || !directory.ReadU32LE(nameCount) ||
      !directory.ReadU32LE(functions) || !directory.ReadU32LE(names) ||
      !directory.ReadU32LE(ordinals)) {
    return false;
  }
  if (nameCount > UINT32_MAX / 4) return false;
  ByteCursor nameTable;
  ByteCursor ordinalTable;
  if (nameCount > 0 && (!ViewCursor(names, nameCount * 4, nameTable) ||
                        !ViewCursor(ordinals, nameCount * 2, ordinalTable))) {
    return false;
  }

  exportNames_ = std::make_unique<TExportTree>();
  exportList_.reserve(nameCount);
  for (uint32_t i = 0; i < nameCount; ++i) {
    TDLLFunctionExport entry;
    uint32_t nameRva = 0;
    uint16_t index = 0;
    if (!nameTable.ReadU32LE(nameRva) || !ReadText(nameRva, entry.Name)) return false;
    if (!ordinalTable.ReadU16LE(index) || index >= functionCount) return false;
    entry.Index = index;
    const uint64_t slotRva = uint64_t{functions} + 4 * entry.Index;
    ByteCursor slot;
    uint32_t functionRva = 0;
    if (slotRva > UINT32_MAX || !ViewCursor(static_cast<uint32_t>(slotRva), 4, slot) ||
        !slot.ReadU32LE(functionRva)) {
      return false;
    }
    if (functionRva >= dir.rva && functionRva - dir.rva < dir.size) {
      // Forwarded: "library.function" or "library.#ordinal".
      std::string forward;
      if (!ReadText(functionRva, forward)) return false;
      const size_t dot = forward.rfind('.');
      if (dot != std::string::npos && dot > 0 && dot + 1 < forward.size()) {
        const uintptr_t library = OpenLibrary(forward.substr(0, dot));
        const std::string function = forward.substr(dot + 1);
        if (library != 0 && function[0] == '#') {
          uint32_t ordinal = 0;
          bool valid = function.size() > 1 && function.size() <= 6;
          for (size_t k = 1; valid && k < function.size(); ++k) {
            valid = function[k] >= '0' && function[k] <= '9';
            ordinal = ordinal * 10 + static_cast<uint32_t>(function[k] - '0');
          }
          if (valid && ordinal <= 0xFFFF) {
            entry.FunctionPointer =
                resolver_.FindByOrdinal(library, static_cast<uint16_t>(ordinal));
          }
        } else if (library != 0) {
          entry.FunctionPointer = resolver_.FindByName(library, function);
        }
      }
    } else {
      entry.FunctionPointer = AddressOf(functionRva);
    }
    exportNames_->Add(entry.Name, entry.FunctionPointer);
    exportList_.push_back(std::move(entry));
  }
  return true;
}

void TDLLLoader::LoadHostExports(std::span<const HostExport> exports) {
  Unload();
  exportNames_ = std::make_unique<TExportTree>();
  exportList_.reserve(exports.size());
  for (size_t i = 0; i < exports.size(); ++i) {
    exportList_.push_back(TDLLFunctionExport{std::string(exports[i].name), static_cast<uint32_t>(i),
                                             exports[i].address});
    exportNames_->Add(exports[i].name, exports[i].address);
  }
}

uintptr_t TDLLLoader::FindExport(std::string_view name) const {
  if (exportNames_ != nullptr) return exportNames_->Find(name).value_or(0);
  for (const TDLLFunctionExport& e : exportList_) {
    if (e.Name == name) return e.FunctionPointer;
  }
  return 0;
}

void TDLLLoader::Unload() {
  // Detach only what attached: a routine that refused the attach has nothing to undo.
  if (entryRoutine_ != 0 && attached_ && entryCall_) {
    entryCall_(entryRoutine_, imageBase_, kReasonProcessDetach);
  }
  entryRoutine_ = 0;
  attached_ = false;
  protectionsSet_ = false;
  pageProtection_.clear();
  sectionList_.clear();
  for (const TExternalLibrary& library : externalLibraries_) {
    if (library.LibraryHandle != 0) resolver_.CloseLibrary(library.LibraryHandle);
  }
  externalLibraries_.clear();
  importList_.clear();
  exportList_.clear();
  if (imageBase_ != 0) munmap(reinterpret_cast<void*>(imageBase_), regionSize_);
  imageBase_ = 0;
  regionSize_ = 0;
  imageBaseDelta_ = 0;
  exportNames_.reset();
}

}  // namespace lumarex
