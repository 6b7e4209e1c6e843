// The C library's character and numeric categories switched to a locale.
#include <clocale>
#include <string>

#include "pal/locale.h"
#include "text/nls_table.h"

namespace Halvex::Tessaran::PAL::Locale {

void setCharAndNumericFormat(const KvLocale& locale) {
  // The C library names its locales language_COUNTRY; the UTF-8 form is the
  // one that classifies every wide character. Without either, LC_CTYPE stays.
  if (const detail::NlsLocale* info = detail::nlsFindLocale(KvLocaleService::getWinLCIDFromLocaleClass(locale))) {
    std::string name = std::string(info->language) + "_" + info->country;
    if (!std::setlocale(LC_CTYPE, (name + ".UTF-8").c_str())) std::setlocale(LC_CTYPE, name.c_str());
  }
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace Halvex::Tessaran::PAL::Locale
