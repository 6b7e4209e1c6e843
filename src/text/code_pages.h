// Which Windows code pages this build converts with, and the code page that
// a conversion actually uses.
#pragma once

#include <cstddef>
#include <string>

namespace Halvex::Tessaran::PAL::detail {

// The validity test of Windows (IsValidCodePage), answered from what this
// build converts: its own tables, UTF-8, UTF-16LE and the code pages ICU
// knows. Code page 0 is not valid.
bool isValidCodePage(unsigned codePage);

// Code page 0 becomes the system's ANSI code page; others stay as they are.
unsigned effectiveCodePage(unsigned codePage);

// Bytes of in[0, size) in a code page (not 0). False when the code page does
// not convert; `usedDefault` tells whether a character had no counterpart and
// became the default character (or U+FFFD in the Unicode code pages). Zero
// bytes inside a character (UTF-16, UTF-32) are kept.
bool encodeCodePage(unsigned codePage, const wchar_t* in, size_t size, bool bestFit, std::string& out,
                    bool& usedDefault);

// Characters of in[0, size) in a code page (not 0). With strict, any byte
// sequence invalid in the code page fails the call.
bool decodeCodePage(unsigned codePage, const char* in, size_t size, bool strict, std::wstring& out);

// Bytes of the code page's zero character: the text ends at the first zero
// unit of this width (2 for UTF-16, 4 for UTF-32, else 1).
size_t zeroUnitWidth(unsigned codePage);

}  // namespace Halvex::Tessaran::PAL::detail
