// UTF-32 wide text to and from UTF-16, for the places that store or send
// UTF-16 (settings values, event payloads, UTF-16 files).
#pragma once

#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Lone surrogate values and values above U+10FFFF become U+FFFD.
std::u16string wideToUtf16(std::wstring_view text);

// An unpaired surrogate becomes U+FFFD.
std::wstring utf16ToWide(std::u16string_view text);

}  // namespace Halvex::Tessaran::PAL::detail
