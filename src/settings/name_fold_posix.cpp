// Locale-independent comparison of key and value names.
#include <clocale>
#include <cwctype>

#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// C.UTF-8 upper-cases by the Unicode simple mapping whatever LC_CTYPE the
// host has chosen (a Turkish locale would turn 'i' into U+0130).
locale_t foldLocale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

wchar_t foldNameChar(wchar_t c) {
  if (c < 0x80) return (c >= L'a' && c <= L'z') ? c - 32 : c;
  locale_t loc = foldLocale();
  return loc ? static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), loc)) : c;
}

bool namesEqual(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (foldNameChar(a[i]) != foldNameChar(b[i])) return false;
  return true;
}

}  // namespace Halvex::Tessaran::PAL::detail
