// Conversion through ICU for the Windows code pages the library's own tables
// do not hold (54936 GB18030, the ISO 8859 and Mac code pages, UTF-7, ...).
#pragma once

#include <cstddef>
#include <string>

namespace Halvex::Tessaran::PAL::detail {

// Whether ICU in this process converts the Windows code page.
bool icuConvertsCodePage(unsigned codePage);

// Same contracts as CodePageTable::encode and decode; the result of
// icuEncode is false when the conversion itself failed, `usedDefault` tells
// whether a character became the code page's substitute.
bool icuEncode(unsigned codePage, const wchar_t* in, size_t size, bool bestFit, std::string& out,
               bool& usedDefault);
bool icuDecode(unsigned codePage, const char* in, size_t size, bool strict, std::wstring& out);

}  // namespace Halvex::Tessaran::PAL::detail
