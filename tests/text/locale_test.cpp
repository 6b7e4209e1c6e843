// KvLocale, KvLocaleService, the locale queries and the national-language
// table, for whatever locale environment the test runs in.
#include "pal/locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "support/reference_data.h"
#include "text/locale_charset_cache.h"
#include "text/nls_process.h"
#include "text/nls_table.h"

// The host application defines its locale record; the library sees only a
// declaration and reads the two leading fields.
class CLocale {
 public:
  unsigned short primaryLanguage;
  unsigned short subLanguage;
};

namespace {

using namespace Halvex::Tessaran::PAL;
namespace detail = Halvex::Tessaran::PAL::detail;

std::wstring str(const wchar_t* s) {
  return s ? s : L"<null>";
}

int lcidOf(const KvLocale& locale) {
  return KvLocaleService::getWinLCIDFromLocaleClass(locale);
}

TEST(KvLocaleValue, CopyIsDeepAndMoveLeavesNull) {
  KvLocale pinned = KvLocaleService::createLocaleFromWinLCID(1034);
  KvLocale copy(pinned);
  EXPECT_NE(copy.iso2LangName(), pinned.iso2LangName());
  EXPECT_EQ(lcidOf(copy), 1034);
  EXPECT_EQ(str(copy.iso2CountryName()), L"ES");

  KvLocale assigned(L"de", L"DE");
  assigned = pinned;
  EXPECT_EQ(lcidOf(assigned), 1034);
  assigned = static_cast<KvLocale&>(assigned);  // self-assignment
  EXPECT_EQ(str(assigned.iso2LangName()), L"es");

  KvLocale moved(std::move(copy));
  EXPECT_EQ(lcidOf(moved), 1034);
  EXPECT_EQ(copy.iso2LangName(), nullptr);
  EXPECT_EQ(copy.iso2CountryName(), nullptr);
  EXPECT_EQ(lcidOf(copy), 0);
  EXPECT_EQ(static_cast<int>(copy), 0);
  EXPECT_FALSE(copy.isValid());
  EXPECT_FALSE(copy == copy);
  EXPECT_TRUE(copy != moved);
  EXPECT_TRUE(moved != copy);
  EXPECT_EQ(Locale::getResourceFolderNameFromLocale(copy), L"");
  EXPECT_EQ(Locale::getCharsetFromLocale(copy), static_cast<Charset>(-1));

  KvLocale copyOfNull(copy);
  EXPECT_EQ(copyOfNull.iso2LangName(), nullptr);
  KvLocale moveAssigned(L"fr", L"FR");
  moveAssigned = std::move(moved);
  EXPECT_EQ(lcidOf(moveAssigned), 1034);
  EXPECT_EQ(moved.iso2LangName(), nullptr);
}

TEST(KvLocaleValue, EmptyNamesTakeTheSystemLocaleWithoutItsLcid) {
  const KvLocale& system = Locale::getSystemLocale();
  ASSERT_TRUE(system.isValid());
  for (auto [language, country] : {std::pair<const wchar_t*, const wchar_t*>{nullptr, nullptr},
                                   {L"", L""},
                                   {nullptr, L""},
                                   {L"", nullptr}}) {
    KvLocale locale(language, country);
    EXPECT_TRUE(locale == system);
    EXPECT_EQ(str(locale.iso2LangName()), str(system.iso2LangName()));
    // Recomputed from the names, so a sort variant or alias LCID is not kept.
    std::wstring name = std::wstring(system.iso2LangName()) + L"-" + system.iso2CountryName();
    EXPECT_EQ(static_cast<int>(locale), static_cast<int>(detail::nlsLcidFromName(name)));
  }
  KvLocale fromNull = Locale::getLocaleFromLocaleString(nullptr);
  EXPECT_EQ(lcidOf(fromNull), lcidOf(system));  // a copy, LCID included
  KvLocale fromEmpty = Locale::getLocaleFromLocaleString(L"");
  EXPECT_TRUE(fromEmpty == system);
}

struct NamedCase {
  const wchar_t* text;  // for getLocaleFromLocaleString
  const wchar_t* language;
  const wchar_t* country;
  int lcid;
  const wchar_t* folder;
};

TEST(KvLocaleNames, FromStringSplitsAtTheFirstDash) {
  const NamedCase cases[] = {
      {L"en-US", L"en", L"US", 1033, L"en-US"},
      {L"EN-us", L"EN", L"us", 1033, L"EN-us"},
      {L"zh-Hant-TW", L"zh", L"Hant-TW", 0x0404, L"zh-Hant-TW"},
      {L"sr-Latn-RS", L"sr", L"Latn-RS", 0x241A, L"sr-Latn-RS"},
      {L"de", L"de", L"", 0x0407, L""},
      {L"es-ES", L"es", L"ES", 3082, L"es-ES"},
      {L"es-ES_tradnl", L"es", L"ES_tradnl", 1034, L"es-ES_tradnl"},
      {L"ca-ES-valencia", L"ca", L"ES-valencia", 0x0803, L"ca-ES-valencia"},
      {L"xx-YY", L"xx", L"YY", 0, L"xx-YY"},
      {L"-US", L"", L"US", 0, L""},
      {L"en-", L"en", L"", 1033, L""},
  };
  for (const NamedCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "text " << testing::PrintToString(std::wstring(c.text)));
    KvLocale locale = Locale::getLocaleFromLocaleString(c.text);
    EXPECT_EQ(str(locale.iso2LangName()), c.language);
    EXPECT_EQ(str(locale.iso2CountryName()), c.country);
    EXPECT_EQ(static_cast<int>(locale), c.lcid);
    EXPECT_EQ(locale.isValid(), c.lcid != 0 && *c.language != 0);
    EXPECT_EQ(Locale::getLanguageFromLocale(locale), c.lcid & 0xFFFF);
    EXPECT_EQ(Locale::getResourceFolderNameFromLocale(locale), c.folder);
  }
}

TEST(KvLocaleNames, EqualityIgnoresCaseAndTheLcid) {
  EXPECT_TRUE(KvLocale(L"EN", L"us") == KvLocale(L"en", L"US"));
  EXPECT_TRUE(KvLocale(L"es", L"ES") == KvLocaleService::createLocaleFromWinLCID(1034));
  EXPECT_NE(static_cast<int>(KvLocale(L"es", L"ES")), static_cast<int>(KvLocale(1034)));
  EXPECT_TRUE(KvLocale(L"en", L"US") != KvLocale(L"en", L"GB"));
  EXPECT_TRUE(KvLocale(L"en", L"US") != KvLocale(L"en", L"USA"));
  EXPECT_TRUE(KvLocale(L"pt", L"") != KvLocale(L"pt", L"BR"));
}

struct LcidCase {
  int lcid;
  const wchar_t* language;
  const wchar_t* country;
};

TEST(KvLocaleService, LcidGivesTheIsoNamesAndKeepsTheLcid) {
  const LcidCase cases[] = {
      {0x0409, L"en", L"US"},  {0x0411, L"ja", L"JP"}, {0x0C0C, L"fr", L"CA"},  {0x0407, L"de", L"DE"},
      {0x0C0A, L"es", L"ES"},  {0x040A, L"es", L"ES"}, {0x10407, L"de", L"DE"}, {0x0404, L"zh", L"TW"},
      {0x0C04, L"zh", L"HK"},  {0x241A, L"sr", L"RS"}, {0x0C1A, L"sr", L"CS"},  {0x2409, L"en", L"029"},
      {0x0439, L"hi", L"IN"},  {0x0437, L"ka", L"GE"}, {0x042B, L"hy", L"AM"},  {0x0445, L"bn", L"IN"},
      {0x0464, L"fil", L"PH"}, {0x0414, L"nb", L"NO"}, {0x105F, L"tzm", L"MA"}, {0x1234, L"", L""},
      {0, L"", L""},           {-1, L"", L""},
  };
  for (const LcidCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "LCID 0x" << std::hex << c.lcid);
    KvLocale locale(c.lcid);
    EXPECT_EQ(str(locale.iso2LangName()), c.language);
    EXPECT_EQ(str(locale.iso2CountryName()), c.country);
    EXPECT_EQ(static_cast<int>(locale), c.lcid);
    EXPECT_EQ(locale.isValid(), *c.language != 0);
  }
}

TEST(LocaleQueries, LocaleFromLanguageAndCharset) {
  EXPECT_EQ(lcidOf(Locale::getLocaleFromLanguage(0x040C)), 0x040C);
  EXPECT_EQ(str(Locale::getLocaleFromLanguage(0x040C).iso2CountryName()), L"FR");

  const std::pair<int, const wchar_t*> cases[] = {
      {0, L"en-US"},   {1, L"en-US"},   {-1, L"en-US"},  {128, L"ja-JP"}, {129, L"ko-KR"}, {130, L"ko-KR"},
      {134, L"zh-CN"}, {136, L"zh-TW"}, {161, L"el-GR"}, {162, L"tr-TR"}, {163, L"vi-VN"}, {177, L"he-IL"},
      {178, L"ar-SA"}, {186, L"et-EE"}, {204, L"ru-RU"}, {222, L"th-TH"}, {238, L"cs-CZ"}, {256, L"bn-IN"},
      {257, L"pa-IN"}, {258, L"gu-IN"}, {259, L"ta-IN"}, {260, L"te-IN"}, {261, L"kn-IN"}, {262, L"ml-IN"},
      {263, L"mr-IN"}, {264, L"or-IN"}, {265, L"en-US"},
  };
  for (auto [charset, name] : cases) {
    SCOPED_TRACE(charset);
    KvLocale locale = Locale::getLocaleFromCharset(static_cast<Charset>(charset));
    EXPECT_EQ(Locale::getResourceFolderNameFromLocale(locale), name);
    EXPECT_EQ(lcidOf(locale), static_cast<int>(detail::nlsLcidFromName(name)));
  }
}

TEST(LocaleQueries, CharsetOfALocale) {
  const std::pair<KvLocale, int> cases[] = {
      {KvLocale(L"en", L"US"), 0},        {KvLocale(L"ja", L"JP"), 128},
      {KvLocale(L"hi", L"IN"), 263},      {KvLocale(L"ka", L"GE"), 1},
      {KvLocale(L"zh", L"HK"), 134},       // the cache, not code page 950
      {KvLocale(L"sr", L"Cyrl-RS"), 204},  // not preloaded: from the table
      {KvLocale(L"ku", L"Arab-IQ"), 178}, {KvLocale(L"ga", L"IE"), 0},
      {KvLocale(0x1040E), 238},     // Hungarian technical sort
      {KvLocale(L"or", L"IN"), 1},  // no ANSI code page
      {KvLocale(L"xx", L"YY"), -1},       {KvLocale(0x1234), -1},
  };
  for (int round = 0; round < 2; ++round) {  // the second round answers from the cache
    for (const auto& [locale, charset] : cases) {
      SCOPED_TRACE(Locale::getResourceFolderNameFromLocale(locale).size());
      EXPECT_EQ(Locale::getCharsetFromLocale(locale), charset) << "LCID 0x" << std::hex << lcidOf(locale);
    }
  }
  for (LCID unknown : {0u, 0x1234u})
    EXPECT_FALSE(detail::charsetCacheFind(unknown).has_value()) << "a failure must not be cached";
  EXPECT_EQ(detail::charsetCacheFind(0x281A), RUSSIAN_CHARSET);
}

TEST(LocaleQueries, LanguageTests) {
  for (auto [langid, rtl] : {std::pair{0x040D, true},
                             {0x3C01, true},
                             {0x0401, true},
                             {0x0429, false},
                             {0x0409, false},
                             {0x0C0D, true},
                             {0x040E, false}})
    EXPECT_EQ(Locale::isRightToLeftLanguage(static_cast<unsigned short>(langid)), rtl) << std::hex << langid;

  for (auto [name, european] : {std::pair{L"fr-CA", false},
                                {L"fr-BE", true},
                                {L"fr-FR", true},
                                {L"fr-CH", true},
                                {L"en-US", false},
                                {L"xx-YY", false}})
    EXPECT_EQ(Locale::isEuropeanFrench(Locale::getLocaleFromLocaleString(name)), european)
        << testing::PrintToString(std::wstring(name));

  const std::pair<CLocale, bool> latin[] = {
      {{0x0A, 1}, true}, {{0x0A, 3}, true},  {{0x10, 2}, true},  {{0x0C, 1}, true},
      {{0x0C, 2}, true}, {{0x0C, 3}, false}, {{0x09, 1}, false}, {{0x16, 2}, false},
  };
  for (const auto& [host, expected] : latin)
    EXPECT_EQ(Locale::isSpecificLatinLanguage(host), expected)
        << host.primaryLanguage << "/" << host.subLanguage;
}

TEST(CharsetCache, PreloadAgreesWithTheNationalLanguageTable) {
  auto preload = detail::charsetCachePreload();
  EXPECT_EQ(preload.size(), 160u);
  std::set<LCID> seen;
  for (const detail::CharsetPair& pair : preload) {
    SCOPED_TRACE(testing::Message() << "LCID 0x" << std::hex << pair.lcid);
    EXPECT_TRUE(seen.insert(pair.lcid).second) << "listed twice";
    const detail::NlsLocale* info = detail::nlsFindLocale(pair.lcid);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->charset, pair.charset);
    EXPECT_EQ(Locale::getCharsetFromLocale(KvLocale(static_cast<int>(pair.lcid))), pair.charset);
  }
}

// The generated table against the Windows locale list it was made from, and
// the Unicode-only locales that list leaves out.
TEST(NationalLanguageTable, MatchesTheWindowsLocaleList) {
  std::ifstream csv(KVPAL_SHARED_DATA_DIR "/windows-locales/windows_locales_extended.csv");
  KVPAL_REQUIRE_REFERENCE_DATA(csv.is_open());
  const std::map<int, int> charsetOfCodePage = {
      {874, 222}, {932, 128},  {936, 134},  {949, 129},  {950, 136},  {1250, 238}, {1251, 204},
      {1252, 0},  {1253, 161}, {1254, 162}, {1255, 177}, {1256, 178}, {1257, 186}, {1258, 163}};
  std::map<LCID, int> preload;
  for (const detail::CharsetPair& pair : detail::charsetCachePreload()) preload[pair.lcid] = pair.charset;

  std::string line;
  std::getline(csv, line);  // header
  int rows = 0;
  while (std::getline(csv, line)) {
    std::istringstream fields(line);
    std::string name, lcidText, codePage, ansiCharset, oemCodePage;
    std::getline(fields, name, ',');
    std::getline(fields, lcidText, ',');
    std::getline(fields, codePage, ',');
    std::getline(fields, ansiCharset, ',');
    std::getline(fields, oemCodePage, ',');
    SCOPED_TRACE(name);
    LCID lcid = static_cast<LCID>(std::stoul(lcidText, nullptr, 16));
    std::wstring wide(name.begin(), name.end());
    EXPECT_EQ(detail::nlsLcidFromName(wide), lcid);
    for (wchar_t& c : wide) c = static_cast<wchar_t>(std::towupper(c));
    EXPECT_EQ(detail::nlsLcidFromName(wide), lcid) << "names match without regard to case";
    const detail::NlsLocale* info = detail::nlsFindLocale(lcid);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->ansiCodePage, std::stoi(codePage));
    EXPECT_EQ(info->oemCodePage, std::stoi(oemCodePage));
    // The code page decides the character set unless the cache says otherwise.
    auto cached = preload.find(lcid);
    EXPECT_EQ(info->charset,
              cached != preload.end() ? cached->second : charsetOfCodePage.at(std::stoi(codePage)));
    ++rows;
  }
  EXPECT_GT(rows, 300);

  for (auto [name, lcid] : {std::pair{L"hi-IN", 0x0439},
                            {L"ka-GE", 0x0437},
                            {L"hy-AM", 0x042B},
                            {L"bn-IN", 0x0445},
                            {L"dv-MV", 0x0465},
                            {L"syr-SY", 0x045A},
                            {L"mi-NZ", 0x0481},
                            // script-qualified names without a region
                            {L"chr-Cher", 0x045C},
                            {L"iu-Cans", 0x045D},
                            {L"mn-Mong", 0x0850},
                            {L"tzm-Tfng", 0x105F},
                            {L"tzm-Tfng-MA", 0x105F}}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    EXPECT_EQ(detail::nlsLcidFromName(name), static_cast<LCID>(lcid));
    const detail::NlsLocale* info = detail::nlsFindLocale(lcid);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->ansiCodePage, 0);
    EXPECT_EQ(info->oemCodePage, 1) << "CP_OEMCP: no OEM code page";
  }
  for (const wchar_t* unknown : {L"en-DE", L"english", L"en_US", L"e", L"en-US-x"})
    EXPECT_EQ(detail::nlsLcidFromName(unknown), 0u) << testing::PrintToString(std::wstring(unknown));
}

TEST(PosixLocaleNames, MapToTheWindowsLocale) {
  const std::pair<const char*, LCID> cases[] = {
      {"de_DE.UTF-8", 0x0407},
      {"de_DE@euro", 0x0407},
      {"de_DE.ISO-8859-15@euro", 0x0407},
      {"en_US", 0x0409},
      {"en_GB.UTF-8", 0x0809},
      {"ja_JP.eucJP", 0x0411},
      {"fr_CA.UTF-8", 0x0C0C},
      {"es_ES.UTF-8", 0x0C0A},
      {"zh_TW", 0x0404},
      {"zh_CN.GB18030", 0x0804},
      {"sr_RS@latin", 0x241A},
      {"sr_RS", 0x281A},
      {"sr_ME", 0x301A},
      {"uz_UZ", 0x0443},
      {"uz_UZ@cyrillic", 0x0843},
      {"ca_ES@valencia", 0x0803},
      {"ca_ES", 0x0403},
      {"iu_CA", 0x045D},
      {"pa_PK", 0x0846},
      {"hi_IN", 0x0439},
      {"nl_AW", 0x0413},
      {"de", 0x0407},
      {"C", 0x0409},
      {"C.UTF-8", 0x0409},
      {"POSIX", 0x0409},
      {"", 0x0409},
      {"xx_YY.UTF-8", 0x0409},
      {"de_DE_phoneb", 0x0409},
  };
  for (auto [name, lcid] : cases) EXPECT_EQ(detail::lcidFromPosixLocaleName(name), lcid) << name;
}

// setCharAndNumericFormat changes the process's C locale; each case puts it
// back.
class CharAndNumericFormat : public testing::Test {
 protected:
  void SetUp() override { saved_ = std::setlocale(LC_ALL, nullptr); }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

  static std::string category(int c) { return std::setlocale(c, nullptr); }
  static std::string formatted(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", v);
    return buffer;
  }

  std::string saved_;
};

TEST_F(CharAndNumericFormat, SwitchesTheCharacterTypeAndKeepsNumbersInC) {
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || !std::setlocale(LC_CTYPE, "C"))
    GTEST_SKIP() << "the C library has no de_DE.UTF-8 locale (package locales-all)";
  ASSERT_EQ(formatted(1.5), "1,5");
  Locale::setCharAndNumericFormat(KvLocale(L"ja", L"JP"));
  EXPECT_EQ(category(LC_CTYPE), "ja_JP.UTF-8");
  EXPECT_EQ(category(LC_NUMERIC), "C");
  EXPECT_EQ(formatted(1.5), "1.5");

  Locale::setCharAndNumericFormat(KvLocale(0x0C0C));
  EXPECT_EQ(category(LC_CTYPE), "fr_CA.UTF-8");
}

TEST_F(CharAndNumericFormat, LocalesTheCLibraryLacksLeaveTheCharacterType) {
  ASSERT_TRUE(std::setlocale(LC_CTYPE, "C"));
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  for (const KvLocale& locale : {KvLocale(L"xx", L"YY"), KvLocale(0x007F), KvLocale(0x1234)}) {
    Locale::setCharAndNumericFormat(locale);
    EXPECT_EQ(category(LC_CTYPE), "C");
    EXPECT_EQ(category(LC_NUMERIC), "C");
  }
}

}  // namespace
