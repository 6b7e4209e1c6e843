// The one case-insensitive comparison of names, independent of the process
// locale.
#pragma once

#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Simple upper-case mapping of one code point as C.UTF-8 defines it. The
// process locale plays no part: under a Turkish LC_CTYPE, towupper maps 'i' to
// U+0130 and "hkey_local_machine" would stop matching its key.
wchar_t foldCase(wchar_t c);

// Simple lower-case mapping of one code point, likewise without the process
// locale (a Turkish LC_CTYPE maps 'I' to U+0131).
wchar_t lowerCase(wchar_t c);

bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b);

}  // namespace Halvex::Tessaran::PAL::detail
