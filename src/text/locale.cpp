// KvLocale, KvLocaleService and the locale queries.
#include "pal/locale.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "base/case_fold.h"
#include "text/locale_charset_cache.h"
#include "text/nls_process.h"
#include "text/nls_table.h"
#include "text/system_code_page.h"

namespace Halvex::Tessaran::PAL::detail {

struct LocaleRecord {
  std::wstring language;
  std::wstring country;
  int lcid;
};

}  // namespace Halvex::Tessaran::PAL::detail

namespace {

using Halvex::Tessaran::PAL::detail::LocaleRecord;
namespace detail = Halvex::Tessaran::PAL::detail;

LocaleRecord* copyOf(const LocaleRecord* r) {
  return r ? new LocaleRecord(*r) : nullptr;
}

std::wstring widen(const char* ascii) {
  return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

constexpr unsigned primaryLanguage(unsigned langid) {
  return langid & 0x3FF;
}
constexpr unsigned subLanguage(unsigned langid) {
  return (langid >> 10) & 0x3F;
}
constexpr unsigned kFrench = 0x0C, kCanadian = 3;

}  // namespace

KvLocale::KvLocale(const wchar_t* language, const wchar_t* country) {
  bool noLanguage = !language || !*language, noCountry = !country || !*country;
  if (noLanguage && noCountry) {
    const KvLocale& system = Halvex::Tessaran::PAL::Locale::getSystemLocale();
    m_record = new LocaleRecord{system.m_record->language, system.m_record->country, 0};
  } else {
    m_record = new LocaleRecord{noLanguage ? L"" : language, noCountry ? L"" : country, 0};
  }
}

KvLocale::KvLocale(int lcid) : KvLocale(KvLocaleService::createLocaleFromWinLCID(lcid)) {}

KvLocale::KvLocale(LocaleRecord* record) : m_record(record) {}

KvLocale::KvLocale(const KvLocale& other) : m_record(copyOf(other.m_record)) {}

KvLocale::KvLocale(KvLocale&& other) noexcept : m_record(other.m_record) {
  other.m_record = nullptr;
}

KvLocale& KvLocale::operator=(const KvLocale& other) {
  if (this != &other) {
    LocaleRecord* copy = copyOf(other.m_record);
    delete m_record;
    m_record = copy;
  }
  return *this;
}

KvLocale& KvLocale::operator=(KvLocale&& other) noexcept {
  if (this != &other) {
    delete m_record;
    m_record = other.m_record;
    other.m_record = nullptr;
  }
  return *this;
}

KvLocale::~KvLocale() {
  delete m_record;
}

const wchar_t* KvLocale::iso2LangName() const {
  return m_record ? m_record->language.c_str() : nullptr;
}

const wchar_t* KvLocale::iso2CountryName() const {
  return m_record ? m_record->country.c_str() : nullptr;
}

bool KvLocale::isValid() const {
  return m_record && !m_record->language.empty() && KvLocaleService::getWinLCIDFromLocaleClass(*this) != 0;
}

bool KvLocale::operator==(const KvLocale& other) const {
  return m_record && other.m_record &&
         detail::equalsIgnoringCase(m_record->language, other.m_record->language) &&
         detail::equalsIgnoringCase(m_record->country, other.m_record->country);
}

bool KvLocale::operator!=(const KvLocale& other) const {
  return !(*this == other);
}

KvLocale::operator int() {
  return KvLocaleService::getWinLCIDFromLocaleClass(*this);
}

KvLocale KvLocaleService::createLocaleFromWinLCID(int lcid) {
  const detail::NlsLocale* info = detail::nlsFindLocale(static_cast<LCID>(lcid));
  return KvLocale(
      new LocaleRecord{info ? widen(info->language) : L"", info ? widen(info->country) : L"", lcid});
}

int KvLocaleService::getWinLCIDFromLocaleClass(const KvLocale& locale) {
  const LocaleRecord* r = locale.m_record;
  if (!r) return 0;
  if (r->lcid != 0) return r->lcid;
  // Windows would read the empty name as the invariant locale; a locale
  // without a language names none.
  if (r->language.empty()) return 0;
  std::wstring name = r->country.empty() ? r->language : r->language + L"-" + r->country;
  return static_cast<int>(detail::nlsLcidFromName(name));
}

namespace Halvex::Tessaran::PAL::Locale {

const KvLocale& getSystemLocale() {
  static const KvLocale locale =
      KvLocaleService::createLocaleFromWinLCID(static_cast<int>(detail::systemDefaultLcid()));
  return locale;
}

const KvLocale& getUserDefaultLocale() {
  static const KvLocale locale =
      KvLocaleService::createLocaleFromWinLCID(static_cast<int>(detail::userDefaultLcid()));
  return locale;
}

const KvLocale& getProductDefaultLocale() {
  static const KvLocale locale(L"en", L"US");
  return locale;
}

KvLocale getLocaleFromLanguage(unsigned short langid) {
  return KvLocaleService::createLocaleFromWinLCID(langid);
}

KvLocale getLocaleFromLocaleString(const wchar_t* text) {
  if (!text) return getSystemLocale();
  std::wstring_view s(text);
  size_t dash = s.find(L'-');
  std::wstring language(s.substr(0, dash));
  std::wstring country(dash == s.npos ? L"" : s.substr(dash + 1));
  return KvLocale(language.c_str(), country.c_str());
}

unsigned short getLanguageFromLocale(const KvLocale& locale) {
  return static_cast<unsigned short>(KvLocaleService::getWinLCIDFromLocaleClass(locale) & 0xFFFF);
}

std::wstring getResourceFolderNameFromLocale(const KvLocale& locale) {
  const wchar_t* language = locale.iso2LangName();
  const wchar_t* country = locale.iso2CountryName();
  if (!language || !*language || !country || !*country) return {};
  return std::wstring(language) + L"-" + country;
}

code_page_id_ex getSystemCodePageIdEx() {
  static const code_page_id_ex id(detail::systemAnsiCodePage());
  return id;
}

unsigned short getCurrentInputLanguage() {
  return static_cast<unsigned short>(detail::userDefaultLcid() & 0xFFFF);
}

KvLocale getLocaleFromCharset(Charset charset) {
  int lcid;
  switch (charset) {
    case SHIFTJIS_CHARSET:
      lcid = 1041;
      break;
    case HANGUL_CHARSET:
    case JOHAB_CHARSET:
      lcid = 1042;
      break;
    case GB2312_CHARSET:
      lcid = 2052;
      break;
    case CHINESEBIG5_CHARSET:
      lcid = 1028;
      break;
    case GREEK_CHARSET:
      lcid = 1032;
      break;
    case TURKISH_CHARSET:
      lcid = 1055;
      break;
    case VIETNAMESE_CHARSET:
      lcid = 1066;
      break;
    case HEBREW_CHARSET:
      lcid = 1037;
      break;
    case ARABIC_CHARSET:
      lcid = 1025;
      break;
    case BALTIC_CHARSET:
      lcid = 1061;
      break;
    case RUSSIAN_CHARSET:
      lcid = 1049;
      break;
    case THAI_CHARSET:
      lcid = 1054;
      break;
    case EASTEUROPE_CHARSET:
      lcid = 1029;
      break;
    case CharsetBengali:
      lcid = 1093;
      break;
    case CharsetGurmukhi:
      lcid = 1094;
      break;
    case CharsetGujarati:
      lcid = 1095;
      break;
    case CharsetTamil:
      lcid = 1097;
      break;
    case CharsetTelugu:
      lcid = 1098;
      break;
    case CharsetKannada:
      lcid = 1099;
      break;
    case CharsetMalayalam:
      lcid = 1100;
      break;
    case CharsetDevanagari:
      lcid = 1102;
      break;
    case CharsetOriya:
      lcid = 1096;
      break;
    default:
      lcid = 1033;
      break;
  }
  return KvLocaleService::createLocaleFromWinLCID(lcid);
}

Charset getCharsetFromLocale(const KvLocale& locale) {
  LCID lcid = static_cast<LCID>(KvLocaleService::getWinLCIDFromLocaleClass(locale));
  if (std::optional<Charset> cached = detail::charsetCacheFind(lcid)) return *cached;
  // TranslateCharsetInfo and the default ANSI code page both come from the
  // table, so one lookup answers both.
  const detail::NlsLocale* info = detail::nlsFindLocale(lcid);
  if (!info) return static_cast<Charset>(-1);
  Charset answer = info->ansiCodePage == 0 ? DEFAULT_CHARSET : static_cast<Charset>(info->charset);
  detail::charsetCacheAppend(lcid, answer);
  return answer;
}

bool isSpecificLatinLanguage(const CLocale& hostLocale) {
  // The rest of the record's layout is the host's, so the two fields are
  // copied out rather than named.
  std::uint16_t language[2];
  std::memcpy(language, reinterpret_cast<const unsigned char*>(&hostLocale), sizeof language);
  switch (language[0]) {
    case 0x0A:
    case 0x10:
      return true;
    case kFrench:
      return language[1] != kCanadian;
    default:
      return false;
  }
}

bool isEuropeanFrench(const KvLocale& locale) {
  unsigned lcid = static_cast<unsigned>(KvLocaleService::getWinLCIDFromLocaleClass(locale));
  return primaryLanguage(lcid) == kFrench && subLanguage(lcid) != kCanadian;
}

bool isRightToLeftLanguage(unsigned short langid) {
  return primaryLanguage(langid) == 0x0D || primaryLanguage(langid) == 0x01;
}

bool isSpecialFrenchUpperCaseLocale() {
  static const bool answer = isEuropeanFrench(
      KvLocaleService::createLocaleFromWinLCID(static_cast<int>(detail::userDefaultLcid() & 0xFFFF)));
  return answer;
}

}  // namespace Halvex::Tessaran::PAL::Locale
