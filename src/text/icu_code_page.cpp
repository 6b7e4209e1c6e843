// ICU-backed code page conversion.
#include "text/icu_code_page.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

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
    case 28591:
      return "ISO-8859-1";
    case 12000:
      return "UTF-32LE";
    case 12001:
      return "UTF-32BE";
    default:
      return nullptr;
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

bool icuConvertsCodePage(unsigned codePage) {
  return open(codePage) != nullptr;
}

bool icuEncode(unsigned codePage, const wchar_t* in, size_t size, bool bestFit, std::string& out,
               bool& usedDefault, size_t chunkUnits) {
  usedDefault = false;
  out.clear();
  Converter c = open(codePage);
  if (!c) return false;
  UErrorCode err = U_ZERO_ERROR;
  static const UChar kQuestionMark[] = {u'?'};
  ucnv_setSubstString(c.get(), kQuestionMark, 1, &err);
  ucnv_setFromUCallBack(c.get(), recordSubstitution, &usedDefault, nullptr, nullptr, &err);
  ucnv_setFallback(c.get(), bestFit);
  if (U_FAILURE(err)) return false;
  chunkUnits = std::max<size_t>(chunkUnits, 1);
  // A chunk never splits a character: each wide unit becomes whole UTF-16.
  std::string buffer(4 * chunkUnits + 16, '\0');
  for (size_t done = 0;;) {
    std::wstring_view wide(in + done, std::min(chunkUnits, size - done));
    done += wide.size();
    const bool last = done == size;
    for (wchar_t w : wide)
      if ((w >= 0xD800 && w <= 0xDFFF) || static_cast<uint32_t>(w) > 0x10FFFF) usedDefault = true;
    std::u16string utf16 = wideToUtf16(wide);
    const UChar* source = utf16.data();
    do {
      err = U_ZERO_ERROR;
      char* target = buffer.data();
      ucnv_fromUnicode(c.get(), &target, buffer.data() + buffer.size(), &source, utf16.data() + utf16.size(),
                       nullptr, last, &err);
      out.append(buffer.data(), target);
    } while (err == U_BUFFER_OVERFLOW_ERROR);
    if (U_FAILURE(err)) return false;
    if (last) return true;
  }
}

bool icuDecode(unsigned codePage, const char* in, size_t size, bool strict, std::wstring& out,
               size_t chunkBytes) {
  out.clear();
  Converter c = open(codePage);
  if (!c) return false;
  UErrorCode err = U_ZERO_ERROR;
  if (strict) ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  if (U_FAILURE(err)) return false;
  chunkBytes = std::max<size_t>(chunkBytes, 1);
  // Room for a held-back high surrogate and at least one more unit.
  std::u16string buffer(chunkBytes + 2, u'\0');
  size_t held = 0;
  for (const char *source = in, *end = in + size;;) {
    const char* chunkEnd = source + std::min(chunkBytes, size_t(end - source));
    const bool last = chunkEnd == end;
    do {
      err = U_ZERO_ERROR;
      UChar* target = buffer.data() + held;
      ucnv_toUnicode(c.get(), &target, buffer.data() + buffer.size(), &source, chunkEnd, nullptr, last, &err);
      size_t n = size_t(target - buffer.data());
      // A surrogate pair cut by the buffer's end waits for its second half.
      bool more = !last || err == U_BUFFER_OVERFLOW_ERROR;
      held = more && n > 0 && U16_IS_LEAD(buffer[n - 1]) ? 1 : 0;
      out += utf16ToWide(std::u16string_view(buffer.data(), n - held));
      if (held != 0) buffer[0] = buffer[n - 1];
    } while (err == U_BUFFER_OVERFLOW_ERROR);
    if (U_FAILURE(err)) return false;
    if (last) return true;
  }
}

}  // namespace Halvex::Tessaran::PAL::detail
