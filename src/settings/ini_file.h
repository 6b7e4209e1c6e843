// Reading one value from an initialisation file, with the rules of the
// Windows profile-string reader.
//
// Rules reproduced: section and key names match without regard to case
// (simple Unicode upper-casing); only the first section with the name is
// searched and its first matching key wins; blanks around names and values
// are trimmed; one pair of enclosing single or double quotes is removed; lines
// starting with ';' are comments and lines without '=' hold no value; the
// value is cut to fit a buffer of `bufferChars` UTF-16 units with its
// terminating zero (a character is never split). A missing section, key or
// file gives the empty string.
//
// Files are UTF-8 (with or without a byte-order mark) or UTF-16 with a
// byte-order mark; bytes that are not UTF-8 read as U+FFFD.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

std::wstring profileStringFromBytes(std::string_view fileBytes, std::wstring_view section,
                                    std::wstring_view key, size_t bufferChars);

std::wstring readProfileString(const std::wstring& file, std::wstring_view section, std::wstring_view key,
                               size_t bufferChars);

}  // namespace Halvex::Tessaran::PAL::detail
