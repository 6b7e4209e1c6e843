// Conversion through ICU for the Windows code pages the library's own tables
// do not hold (54936 GB18030, the ISO 8859 and Mac code pages, UTF-7, ...).
#pragma once

#include <cstddef>
#include <string>

namespace Halvex::Tessaran::PAL::detail {

// Whether ICU in this process converts the Windows code page.
bool icuConvertsCodePage(unsigned codePage);

// Input units (wide units, bytes) converted per step: bounds the temporary
// buffers and keeps every count handed to ICU far inside its 32-bit sizes,
// however long the text.
constexpr size_t kIcuChunkUnits = 1 << 16;

// Same contracts as CodePageTable::encode and decode; the result of
// icuEncode is false when the conversion itself failed, `usedDefault` tells
// whether a character became the code page's substitute. The text goes
// through ICU in steps of `chunk` units, the converter's state carried over.
bool icuEncode(unsigned codePage, const wchar_t* in, size_t size, bool bestFit, std::string& out,
               bool& usedDefault, size_t chunk = kIcuChunkUnits);
bool icuDecode(unsigned codePage, const char* in, size_t size, bool strict, std::wstring& out,
               size_t chunk = kIcuChunkUnits);

}  // namespace Halvex::Tessaran::PAL::detail
