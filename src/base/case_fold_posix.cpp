// Case folding through a C.UTF-8 locale object rather than the process locale.
#include <locale.h>
#include <wctype.h>

#include "base/case_fold.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

locale_t utf8Locale() {
  static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

wchar_t foldCase(wchar_t c) {
  if (c < 0x80) return (c >= L'a' && c <= L'z') ? c - (L'a' - L'A') : c;
  const locale_t loc = utf8Locale();
  return loc ? static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), loc)) : c;
}

wchar_t lowerCase(wchar_t c) {
  if (c < 0x80) return (c >= L'A' && c <= L'Z') ? c + (L'a' - L'A') : c;
  const locale_t loc = utf8Locale();
  return loc ? static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), loc)) : c;
}

bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail
