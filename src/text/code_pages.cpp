// Dispatch of code page conversions: UTF-8 and UTF-16LE directly, the
// Windows code pages through the library's tables, the rest through ICU.
#include "text/code_pages.h"

#include "base/utf16.h"
#include "base/utf8.h"
#include "text/code_page_table.h"
#include "text/icu_code_page.h"
#include "text/system_code_page.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr unsigned kUtf8 = 65001;
constexpr unsigned kUtf16Le = 1200;

bool isSurrogate(uint32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

void encodeUtf16Le(const wchar_t* in, size_t size, std::string& out, bool& usedDefault) {
  for (size_t i = 0; i < size; ++i)
    if (isSurrogate(static_cast<uint32_t>(in[i])) || static_cast<uint32_t>(in[i]) > 0x10FFFF)
      usedDefault = true;
  std::u16string units = wideToUtf16(std::wstring_view(in, size));
  out.resize(units.size() * 2);
  for (size_t i = 0; i < units.size(); ++i) {
    out[2 * i] = static_cast<char>(units[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
}

bool decodeUtf16Le(const char* in, size_t size, bool strict, std::wstring& out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  if (strict) {
    if (size % 2 != 0) return false;
    for (size_t i = 0; i < units.size(); ++i) {
      bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
      if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
        ++i;
      else if (isSurrogate(units[i]))
        return false;
    }
  }
  out = utf16ToWide(units);
  // A last odd byte is half a unit.
  if (size % 2 != 0) out.push_back(L'\uFFFD');
  return true;
}

}  // namespace

bool isValidCodePage(unsigned codePage) {
  if (codePage == 0) return false;
  if (codePage == kUtf8 || codePage == kUtf16Le || CodePageTable::find(codePage) != nullptr) return true;
  return icuConvertsCodePage(codePage);
}

unsigned effectiveCodePage(unsigned codePage) {
  return codePage == 0 ? systemAnsiCodePage() : codePage;
}

size_t zeroUnitWidth(unsigned codePage) {
  switch (codePage) {
    case 1200:
    case 1201:
      return 2;
    case 12000:
    case 12001:
      return 4;
    default:
      return 1;
  }
}

bool encodeCodePage(unsigned codePage, const wchar_t* in, size_t size, bool bestFit, std::string& out,
                    bool& usedDefault) {
  usedDefault = false;
  if (codePage == kUtf8) {
    usedDefault = assignUtf32ToUtf8(in, size, out).replaced;
    return true;
  }
  if (codePage == kUtf16Le) {
    encodeUtf16Le(in, size, out, usedDefault);
    return true;
  }
  if (const CodePageTable* table = CodePageTable::find(codePage)) {
    usedDefault = table->encode(in, size, bestFit, out);
    return true;
  }
  return icuEncode(codePage, in, size, bestFit, out, usedDefault);
}

bool decodeCodePage(unsigned codePage, const char* in, size_t size, bool strict, std::wstring& out) {
  if (codePage == kUtf8) {
    bool replaced = assignUtf8ToUtf32(in, size, out).replaced;
    return !(strict && replaced);
  }
  if (codePage == kUtf16Le) return decodeUtf16Le(in, size, strict, out);
  if (const CodePageTable* table = CodePageTable::find(codePage)) return table->decode(in, size, strict, out);
  return icuDecode(codePage, in, size, strict, out);
}

}  // namespace Halvex::Tessaran::PAL::detail
