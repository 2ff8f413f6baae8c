#include "optimiser/osa_file.h"

#include <cctype>
#include <cstdio>
#include <memory>

#include "platform/atomic_file.h"
#include "show/file_names.h"

namespace lumarex {

std::array<uint8_t, kParameterSetBytes> EncodeParameterSet(const ParameterSet& set) {
  std::array<uint8_t, kParameterSetBytes> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  bytes[0] = set.SeekStart;
  bytes[1] = set.BlankStart;
  bytes[2] = set.SeekEnd;
  bytes[3] = set.BlankEnd;
  bytes[4] = set.InterpolationBlank;
  bytes[5] = set.InterpolationSeek;
  bytes[6] = set.MinPoints;
  bytes[7] = set.SearchRaster;
  bytes[8] = set.DirectionFactor;
  return bytes;
}

std::optional<ParameterSet> DecodeParameterSet(std::span<const uint8_t> bytes) {
  if (bytes.size() < kParameterSetMinBytes || bytes.size() > kParameterSetBytes) return {};
  ParameterSet set;
  set.SeekStart = bytes[0];
  set.BlankStart = bytes[1];
  set.SeekEnd = bytes[2];
  set.BlankEnd = bytes[3];
  set.InterpolationBlank = bytes[4];
  set.InterpolationSeek = bytes[5];
  set.MinPoints = bytes[6];
  set.SearchRaster = bytes[7];
  set.DirectionFactor = bytes.size() > 8 ? bytes[8] : 0;
  return set;
}

bool IsParameterSetName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name.find("OSA") != std::string::npos;
}

std::string ParameterSetSaveName(const std::string& chosen) {
  return UpperExtension(chosen) == ".OSA" ? chosen : chosen + ".OSA";
}

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

ParameterSetRead ReadParameterSetFile(const std::string& path, ParameterSet& set) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return ParameterSetRead::kCannotOpen;
  // One byte more than a set may have tells a long file from a full one.
  std::array<uint8_t, kParameterSetBytes + 1> bytes{};
  const size_t read = std::fread(bytes.data(), 1, bytes.size(), file.get());
  if (std::ferror(file.get()) != 0) return ParameterSetRead::kReadFailed;
  const std::optional<ParameterSet> decoded = DecodeParameterSet({bytes.data(), read});
  if (!decoded) return ParameterSetRead::kBadLength;
  set = *decoded;
  return ParameterSetRead::kOk;
}

ParameterSetWrite WriteParameterSetFile(const std::string& path, const ParameterSet& set) {
  const std::array<uint8_t, kParameterSetBytes> bytes = EncodeParameterSet(set);
  AtomicFile file;
  if (!file.Open(path)) return ParameterSetWrite::kCannotCreate;
  if (!file.Write(bytes.data(), bytes.size())) return ParameterSetWrite::kShortWrite;
  if (!file.Commit()) return ParameterSetWrite::kFailed;
  return ParameterSetWrite::kOk;
}

}  // namespace lumarex
