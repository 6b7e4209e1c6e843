// System ANSI code page: the default ANSI code page of the system locale in
// the national-language table.
#include "text/nls_process.h"
#include "text/nls_table.h"
#include "text/system_code_page.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// Windows serves the Unicode-only locales (hi-IN, ka-GE) without an ANSI
// code page; conversions through code page 0 still need one.
unsigned ansiCodePageOf(LCID lcid) {
  const NlsLocale* info = nlsFindLocale(lcid);
  return info && info->ansiCodePage != 0 ? info->ansiCodePage : 1252;
}

}  // namespace

unsigned ansiCodePageForLocaleName(const char* name) {
  return ansiCodePageOf(lcidFromPosixLocaleName(name ? name : ""));
}

unsigned systemAnsiCodePage() {
  static const unsigned codePage = ansiCodePageOf(systemDefaultLcid());
  return codePage;
}

}  // namespace Halvex::Tessaran::PAL::detail
