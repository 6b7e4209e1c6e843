// The national-language table standing in for Windows' locale database: per
// LCID its ISO names, default ANSI code page and GDI character set, and the
// locale names LocaleNameToLCID resolves. As on Windows, names match without
// regard to case.
#pragma once

#include <span>
#include <string_view>

#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::detail {

struct NlsLocale {
  LCID lcid;
  const char* language;         // LOCALE_SISO639LANGNAME
  const char* country;          // LOCALE_SISO3166CTRYNAME
  unsigned short ansiCodePage;  // LOCALE_IDEFAULTANSICODEPAGE; 0 for none
  int charset;                  // TranslateCharsetInfo(TCI_SRCLOCALE)
  unsigned short oemCodePage;   // LOCALE_IDEFAULTCODEPAGE; 1 (CP_OEMCP) for none
};

struct NlsName {
  const char* name;  // lower case
  LCID lcid;
};

// Generated tables: locales sorted by LCID, names sorted by name.
std::span<const NlsLocale> nlsLocales();
std::span<const NlsName> nlsNames();

// Null when Windows does not know the LCID.
const NlsLocale* nlsFindLocale(LCID lcid);

// LocaleNameToLCID: 0 when the name is unknown.
LCID nlsLcidFromName(std::wstring_view name);

}  // namespace Halvex::Tessaran::PAL::detail
