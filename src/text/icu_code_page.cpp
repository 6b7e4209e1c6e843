// ICU-backed code page conversion.
#include "text/icu_code_page.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <memory>
#include <string>

#include "base/utf16.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// ICU names most Windows code pages "windows-N"; these few it knows only
// under their standard names.
const char* standardName(unsigned codePage) {
  switch (codePage) {
    case 28591: return "ISO-8859-1";
    case 12000: return "UTF-32LE";
    case 12001: return "UTF-32BE";
    default: return nullptr;
  }
}

Converter open(unsigned codePage) {
  std::string name = "windows-" + std::to_string(codePage);
  const char* known = standardName(codePage);
  UErrorCode err = U_ZERO_ERROR;
  Converter c(ucnv_open(known != nullptr ? known : name.c_str(), &err));
  if (U_FAILURE(err)) return nullptr;
  return c;
}

void recordSubstitution(const void* context, UConverterFromUnicodeArgs* args, const UChar* units,
                        int32_t length, UChar32 c, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason == UCNV_UNASSIGNED || reason == UCNV_ILLEGAL || reason == UCNV_IRREGULAR)
    *static_cast<bool*>(const_cast<void*>(context)) = true;
  UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, units, length, c, reason, err);
}

}  // namespace

bool icuConvertsCodePage(unsigned codePage) { return open(codePage) != nullptr; }

bool icuEncode(unsigned codePage, const wchar_t* in, size_t size, bool bestFit, std::string& out,
               bool& usedDefault) {
  usedDefault = false;
  Converter c = open(codePage);
  if (!c) return false;
  std::wstring_view wide(in, size);
  for (wchar_t w : wide)
    if ((w >= 0xD800 && w <= 0xDFFF) || static_cast<uint32_t>(w) > 0x10FFFF) usedDefault = true;
  std::u16string utf16 = wideToUtf16(wide);
  UErrorCode err = U_ZERO_ERROR;
  static const UChar kQuestionMark[] = {u'?'};
  ucnv_setSubstString(c.get(), kQuestionMark, 1, &err);
  ucnv_setFromUCallBack(c.get(), recordSubstitution, &usedDefault, nullptr, nullptr, &err);
  ucnv_setFallback(c.get(), bestFit);
  if (U_FAILURE(err)) return false;
  const auto units = static_cast<int32_t>(utf16.size());
  out.resize(UCNV_GET_MAX_BYTES_FOR_STRING(units, ucnv_getMaxCharSize(c.get())));
  int32_t n = ucnv_fromUChars(c.get(), out.data(), static_cast<int32_t>(out.size()), utf16.data(), units, &err);
  if (U_FAILURE(err)) return false;
  out.resize(static_cast<size_t>(n));
  return true;
}

bool icuDecode(unsigned codePage, const char* in, size_t size, bool strict, std::wstring& out) {
  Converter c = open(codePage);
  if (!c) return false;
  UErrorCode err = U_ZERO_ERROR;
  if (strict) ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  std::u16string utf16(size + 1, u'\0');
  const auto bytes = static_cast<int32_t>(size);
  int32_t n = ucnv_toUChars(c.get(), utf16.data(), static_cast<int32_t>(utf16.size()), in, bytes, &err);
  if (err == U_BUFFER_OVERFLOW_ERROR) {
    // Only substitutions in stateful encodings grow beyond one unit a byte.
    err = U_ZERO_ERROR;
    utf16.assign(static_cast<size_t>(n) + 1, u'\0');
    n = ucnv_toUChars(c.get(), utf16.data(), static_cast<int32_t>(utf16.size()), in, bytes, &err);
  }
  if (U_FAILURE(err)) return false;
  utf16.resize(static_cast<size_t>(n));
  out = utf16ToWide(utf16);
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail
