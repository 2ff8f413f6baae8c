#pragma once

#include <string>

namespace lumarex {

// The upper-case extension of a file name with its dot (".ILD"), or "" when it has none.
std::string UpperExtension(const std::string& fileName);

}  // namespace lumarex
