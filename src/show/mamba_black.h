#pragma once

#include <string>

#include "show/show_store.h"

namespace lumarex {

// The file name the Mamba Black converter writes its ILDA output to, in the working folder.
inline constexpr const char kMambaBlackTempFile[] = "$$$.ild";

// Turns a Mamba Black show (.EIL) into the ILDA file tempFileName for the ILDA reader.
// The shows are enciphered and Lumarex has no decoder for them, so after checking that the
// show can be read and the temporary file created, the conversion ends with "EIL Datei
// Allgemeiner Fehler". The temporary file never stays behind, and the show in the store
// is not touched. True only when tempFileName holds ILDA data to read.
bool ConvertMambaBlack(ShowStore& store, const std::string& fileName,
                       const std::string& tempFileName = kMambaBlackTempFile);

}  // namespace lumarex
