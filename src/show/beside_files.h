#pragma once

#include <optional>
#include <string>

namespace lumarex {

// Files that belong to a show and lie beside it under the same name with another extension.
// Shows come from systems whose file names ignore case, so the names are matched without
// regard to case: "show.ild" finds "show.wav", "SHOW.WAV" or "Show.Wav".

// The existing file named like `showPath` with the extension `extension` (without its dot),
// or nothing. An exact spelling wins over others; among others the first in name order.
std::optional<std::string> FindBeside(const std::string& showPath, const std::string& extension);

// The show's music: its WAV file, else its MP3 file.
std::optional<std::string> FindMusicBeside(const std::string& showPath);

// The show parameter file (.SHW) of a show.
std::optional<std::string> FindShowParametersBeside(const std::string& showPath);

// The name a file beside the show gets: the show's extension replaced by `extension`.
std::string BesidePath(const std::string& showPath, const std::string& extension);

}  // namespace lumarex
