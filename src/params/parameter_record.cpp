#include "params/parameter_record.h"

#include <cctype>
#include <cstdio>
#include <memory>

#include "show/beside_files.h"
#include "show/file_names.h"

namespace lumarex {

void ParameterRecord::SetOrientation(int32_t orientation) {
  const int32_t o = orientation;
  Set(ParameterField::kSwapAxes, o >= 4 ? 1 : 0);
  Set(ParameterField::kInvertX, o == 1 || o == 2 || o == 5 || o == 6 ? 1 : 0);
  Set(ParameterField::kInvertY, o == 1 || o == 3 || o == 5 || o == 7 ? 1 : 0);
}

int32_t ParameterRecord::Orientation() const {
  const bool swap = Get(ParameterField::kSwapAxes) == 1;
  const bool invertX = Get(ParameterField::kInvertX) == 1;
  const bool invertY = Get(ParameterField::kInvertY) == 1;
  int32_t inversion = 0;
  if (invertX && invertY) {
    inversion = 1;
  } else if (invertX) {
    inversion = 2;
  } else if (invertY) {
    inversion = 3;
  }
  return (swap ? 4 : 0) + inversion;
}

std::optional<ParameterRecord> DecodeParameterRecord(std::span<const uint8_t> bytes) {
  if (bytes.size() != kParameterRecordBytes && bytes.size() != kParameterRecordShortBytes) {
    return std::nullopt;
  }
  ParameterRecord record;
  for (size_t i = 0; i < bytes.size(); ++i) record.bytes[i] = bytes[i];
  return record;
}

bool IsProjectorParameterName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name.find("PRO") != std::string::npos;
}

std::string ProjectorParameterSaveName(const std::string& chosen) {
  return UpperExtension(chosen) == ".PRO" ? chosen : chosen + ".PRO";
}

std::string ShowParameterFileName(const std::string& showPath) {
  return BesidePath(showPath, "SHW");
}

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

ParameterFileRead ReadParameterRecordFile(const std::string& path, ParameterRecord& record) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return ParameterFileRead::kCannotOpen;
  // One byte more than a record has tells a long file from a full one without reading it all.
  std::array<uint8_t, kParameterRecordBytes + 1> bytes{};
  const size_t read = std::fread(bytes.data(), 1, bytes.size(), file.get());
  if (std::ferror(file.get()) != 0) return ParameterFileRead::kReadFailed;
  const std::optional<ParameterRecord> decoded = DecodeParameterRecord({bytes.data(), read});
  if (!decoded) return ParameterFileRead::kBadLength;
  record = *decoded;
  return ParameterFileRead::kOk;
}

}  // namespace lumarex
