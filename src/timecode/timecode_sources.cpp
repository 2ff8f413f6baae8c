#include "timecode/timecode_sources.h"

#include "timecode/artnet_timecode_input.h"
#include "timecode/ltc_capture_input.h"
#include "timecode/ltc_file_input.h"
#include "timecode/mtc_input.h"

namespace lumarex {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::unique_ptr<TimecodeInput> OpenTimecodeInput(std::string_view source, const Clock& clock,
                                                 std::string& error) {
  if (source == "artnet") return ArtnetTimecodeInput::Open(clock, {}, error);
  if (const auto mtc = ParseMtcSource(source)) return MtcInput::Open(clock, *mtc, error);
  if (StartsWith(source, "ltc-file:")) {
    return LtcFileInput::Open(std::string(source.substr(9)), clock, LtcFilePacing::kOwnThread,
                              error);
  }
  if (source == "ltc") return LtcCaptureInput::Open(clock, {}, error);
  if (StartsWith(source, "ltc:")) {
    return LtcCaptureInput::Open(clock, std::string(source.substr(4)), error);
  }
  error = "unknown timecode source \"" + std::string(source) +
          "\" (artnet, mtc[:PORT], ltc[:DEVICE], ltc-file:PATH)";
  return nullptr;
}

}  // namespace lumarex
