// The one JSON string writer.
#pragma once

#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// The text as a quoted JSON string in plain ASCII: quote and backslash
// escaped, everything outside printable ASCII as \u escapes (surrogate pairs
// above U+FFFF). Ill-formed input (names read from a hostile file) becomes
// U+FFFD, so that the document stays valid.
std::string jsonString(std::wstring_view text);
std::string jsonString(std::string_view utf8);

}  // namespace Halvex::Tessaran::PAL::detail
