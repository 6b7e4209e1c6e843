// UTF-32 wide text to and from UTF-8, for the places that meet Linux's
// byte strings (environment, command lines, UTF-8 files).
#pragma once

#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Lone surrogate values and values above U+10FFFF become U+FFFD.
std::string wideToUtf8(std::wstring_view text);

// Each maximal ill-formed subsequence becomes one U+FFFD.
std::wstring utf8ToWide(std::string_view text);

}  // namespace Halvex::Tessaran::PAL::detail
