// The C library's character and numeric categories switched to a locale.
#include <clocale>
#include <string>

#include "pal/locale.h"
#include "platform/posix_util.h"
#include "text/code_pages.h"
#include "text/nls_table.h"
#include "text/system_code_page.h"

namespace Halvex::Tessaran::PAL::Locale {

namespace {
// The last error callers expect when the multibyte code page cannot be set.
constexpr unsigned kMultibyteCodePageNotSet = 1000;
}  // namespace

void setCharAndNumericFormat(const KvLocale& locale) {
  // The C library names its locales language_COUNTRY; the UTF-8 form is the
  // one that classifies every wide character. Without either, LC_CTYPE stays.
  if (const detail::NlsLocale* info =
          detail::nlsFindLocale(KvLocaleService::getWinLCIDFromLocaleClass(locale))) {
    std::string name = std::string(info->language) + "_" + info->country;
    if (!std::setlocale(LC_CTYPE, (name + ".UTF-8").c_str())) std::setlocale(LC_CTYPE, name.c_str());
  }
  std::setlocale(LC_NUMERIC, "C");
  // The C library has no separate multibyte code page: the library's
  // conversions through code page 0 use the system ANSI code page, which
  // counts as set when this build converts with it.
  if (!detail::isValidCodePage(detail::systemAnsiCodePage())) detail::setLastError(kMultibyteCodePageNotSet);
}

}  // namespace Halvex::Tessaran::PAL::Locale
