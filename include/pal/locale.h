// The locale model: the KvLocale value type, its conversions to and from
// Windows locale identifiers (LCIDs), font character sets and the
// process-wide locales.
//
// Differences on Linux from what a Windows caller expects:
// - LCIDs, ISO names, default ANSI code pages and character sets come from the
//   library's own copy of the Windows national-language tables, not from the
//   system; the answers are those Windows gives for the same LCID. A locale
//   with an empty language has LCID 0 (Windows would read the empty name as
//   the invariant locale, 127).
// - The system locale is read once from the environment: LC_ALL, else
//   LC_CTYPE, else LANG (the first that is set and not empty). The user
//   default locale likewise from LC_ALL, else LC_NUMERIC, else LANG.
// - A POSIX locale name (language[_territory][.codeset][@modifier]) maps to
//   the Windows locale name language-territory, with the modifier used as a
//   script (sr_RS@latin is sr-Latn-RS, plain sr_RS the Cyrillic sr-Cyrl-RS)
//   or variant (ca_ES@valencia), and then to its LCID; the codeset is
//   ignored. A territory Windows does not know for the language gives the
//   language's own locale (nl_AW is nl-NL). C, POSIX, an unset variable and an
//   unknown language give en-US (1033).
// - The system ANSI code page is the default ANSI code page of the system
//   locale (932 for ja_JP.UTF-8), whatever codeset the environment names; a
//   locale without one (hi_IN) gives 1252.
// - getCurrentInputLanguage has no keyboard layout service to ask: it gives
//   the language identifier of the user default locale.
// - setCharAndNumericFormat switches LC_CTYPE to the C library's locale for
//   the locale's language and country (preferring its UTF-8 form) when the C
//   library has one, and leaves LC_CTYPE alone otherwise; LC_NUMERIC is set
//   to "C" in every case.
#pragma once

#include <string>

#include "pal/export.h"
#include "pal/unicode_convert.h"

namespace Halvex::Tessaran::PAL::detail {
struct LocaleRecord;
}

// A language and country by ISO names, optionally pinned to an LCID.
class PAL_EXPORT KvLocale {
 public:
  // Both null or empty: the system locale's names with LCID 0.
  KvLocale(const wchar_t* language, const wchar_t* country);
  KvLocale(int lcid);
  KvLocale(const KvLocale& other);
  KvLocale(KvLocale&& other) noexcept;
  KvLocale& operator=(const KvLocale& other);
  KvLocale& operator=(KvLocale&& other) noexcept;
  ~KvLocale();

  // Null for a moved-from locale.
  const wchar_t* iso2LangName() const;
  const wchar_t* iso2CountryName() const;
  bool isValid() const;
  // Names compare ignoring case; the LCID is not compared.
  bool operator==(const KvLocale& other) const;
  bool operator!=(const KvLocale& other) const;
  operator int();

 private:
  friend class KvLocaleService;
  explicit KvLocale(Halvex::Tessaran::PAL::detail::LocaleRecord* record);
  Halvex::Tessaran::PAL::detail::LocaleRecord* m_record;
};

class PAL_EXPORT KvLocaleService {
 public:
  // Unknown LCIDs give empty names; the LCID is kept as passed.
  static KvLocale createLocaleFromWinLCID(int lcid);
  // The pinned LCID, else the LCID of "language-country"; 0 when unknown.
  static int getWinLCIDFromLocaleClass(const KvLocale& locale);
};

// The host application's locale record, defined by the host (so declared
// only here); the library reads just its two leading 16-bit fields, the
// primary language and the sub-language.
class CLocale;

namespace Halvex::Tessaran::PAL {

// Font character sets: Windows GDI values, extended from 256 for Indic
// scripts. -1 (as a Charset) means none could be found.
enum Charset : int {
  ANSI_CHARSET = 0,
  DEFAULT_CHARSET = 1,
  SHIFTJIS_CHARSET = 128,
  HANGUL_CHARSET = 129,
  JOHAB_CHARSET = 130,
  GB2312_CHARSET = 134,
  CHINESEBIG5_CHARSET = 136,
  GREEK_CHARSET = 161,
  TURKISH_CHARSET = 162,
  VIETNAMESE_CHARSET = 163,
  HEBREW_CHARSET = 177,
  ARABIC_CHARSET = 178,
  BALTIC_CHARSET = 186,
  RUSSIAN_CHARSET = 204,
  THAI_CHARSET = 222,
  EASTEUROPE_CHARSET = 238,
  CharsetBengali = 256,
  CharsetGurmukhi = 257,
  CharsetGujarati = 258,
  CharsetTamil = 259,
  CharsetTelugu = 260,
  CharsetKannada = 261,
  CharsetMalayalam = 262,
  CharsetDevanagari = 263,
  CharsetOriya = 264,
};

namespace Locale {

// Process-wide locales, each built on first use and kept until exit.
PAL_EXPORT const KvLocale& getSystemLocale();
PAL_EXPORT const KvLocale& getUserDefaultLocale();
PAL_EXPORT const KvLocale& getProductDefaultLocale();
// The locale of the product's current language (Settings::Roots), fixed at
// the first call; es-ES is pinned to LCID 1034.
PAL_EXPORT const KvLocale& getProductLocale();

PAL_EXPORT KvLocale getLocaleFromLanguage(unsigned short langid);
// "lang-rest" splits at the first '-'; null gives the system locale.
PAL_EXPORT KvLocale getLocaleFromLocaleString(const wchar_t* text);
PAL_EXPORT unsigned short getLanguageFromLocale(const KvLocale& locale);
// "language-country" as stored; empty when either name is empty.
PAL_EXPORT std::wstring getResourceFolderNameFromLocale(const KvLocale& locale);
// The system ANSI code page by the reverse lookup of code_page_id_ex; fixed
// at first use.
PAL_EXPORT code_page_id_ex getSystemCodePageIdEx();
PAL_EXPORT unsigned short getCurrentInputLanguage();

PAL_EXPORT KvLocale getLocaleFromCharset(Charset charset);
PAL_EXPORT Charset getCharsetFromLocale(const KvLocale& locale);

// Spanish, Italian, or French other than Canadian French.
PAL_EXPORT bool isSpecificLatinLanguage(const CLocale& hostLocale);
PAL_EXPORT bool isEuropeanFrench(const KvLocale& locale);
// Hebrew or Arabic.
PAL_EXPORT bool isRightToLeftLanguage(unsigned short langid);
// The user default locale is French other than Canadian French; fixed at
// first use.
PAL_EXPORT bool isSpecialFrenchUpperCaseLocale();

// Switches the C library's character classification to the locale and keeps
// its numeric formats at "C". The C library has no multibyte code page of its
// own: the thread's last error becomes 1000 when this build cannot convert
// with the system's ANSI code page.
PAL_EXPORT void setCharAndNumericFormat(const KvLocale& locale);

}  // namespace Locale
}  // namespace Halvex::Tessaran::PAL
