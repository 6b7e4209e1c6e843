// The user's number formats under locale environments: each row sets the
// variables a desktop's region settings would, the settings follow.
#include "pal/locale_formats.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/environment.h"
#include "text/locale_formats.h"

namespace {

using namespace Halvex::Tessaran::PAL;
namespace detail = Halvex::Tessaran::PAL::detail;

TEST(LocaleFormats, GroupingInWindowsNotation) {
  struct Case {
    std::string grouping;
    const wchar_t* windows;
  };
  const Case kCases[] = {
      {"\3", L"3;0"},       {"\3\3", L"3;0"},     {"\3\2", L"3;2;0"},
      {"\3\2\2", L"3;2;0"}, {"\3\x7F", L"3"},     {std::string("\3\0", 2), L"3;0"},
      {"\x7F", L"0"},       {"", L"0"},           {"\xFF", L"0"},
      {"\4\3\x7F", L"4;3"}, {"\3\3\x7F", L"3;3"}, {"\1\2\3", L"1;2;3;0"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(detail::windowsGrouping(c.grouping), c.windows) << testing::PrintToString(c.grouping);
}

struct Environment {
  const char* lcAll;
  const char* lcNumeric;
  const char* lcMonetary;
  const char* lcMeasurement;
  const char* lang;
  const wchar_t* decimal;
  const wchar_t* list;
  const wchar_t* thousands;
  const wchar_t* grouping;
  const wchar_t* currency;
  Locale::MeasureUnits measure;
};

using kvpal::test::setVariable;

// LC_ALL, LC_NUMERIC, LC_MONETARY, LC_MEASUREMENT and LANG (null: unset),
// then the settings; '#' marks a fallback.
const Environment kEnvironments[] = {
    {nullptr, nullptr, nullptr, nullptr, "en_US.UTF-8", L".", L",", L",", L"3;0", L"$", Locale::Imperial},
    {nullptr, nullptr, nullptr, nullptr, "de_DE.UTF-8", L",", L";", L".", L"3;0", L"\u20AC", Locale::Metric},
    {nullptr, nullptr, nullptr, nullptr, "fr_FR.UTF-8", L",", L";", L"\u202F", L"3;0", L"\u20AC",
     Locale::Metric},
    {nullptr, nullptr, nullptr, nullptr, "ja_JP.UTF-8", L".", L",", L",", L"3;0", L"\uFFE5", Locale::Metric},
    {nullptr, nullptr, nullptr, nullptr, "tr_TR.UTF-8", L",", L";", L".", L"3;0", L"\u20BA", Locale::Metric},
    {nullptr, nullptr, nullptr, nullptr, "hi_IN.UTF-8", L".", L",", L",", L"3;0", L"\u20B9", Locale::Metric},
    {nullptr, nullptr, nullptr, nullptr, "en_IN.UTF-8", L".", L",", L",", L"3;2;0", L"\u20B9",
     Locale::Metric},
    // The codeset of a locale that is not UTF-8: the euro is byte 0xA4.
    {nullptr, nullptr, nullptr, nullptr, "de_DE@euro", L",", L";", L".", L"3;0", L"\u20AC", Locale::Metric},
    {nullptr, "de_DE.UTF-8", nullptr, nullptr, "en_US.UTF-8", L",", L";", L".", L"3;0", L"$",
     Locale::Imperial},
    {nullptr, nullptr, "ja_JP.UTF-8", "en_US.UTF-8", "de_DE.UTF-8", L",", L";", L".", L"3;0", L"\uFFE5",
     Locale::Imperial},
    {"fr_FR.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "de_DE.UTF-8", L",", L";", L"\u202F", L"3;0",
     L"\u20AC", Locale::Metric},
    {nullptr, nullptr, nullptr, nullptr, "C", L".", L",", L",", L"3;0", L"$", Locale::Imperial},
    {"", "", "", "", nullptr, L".", L",", L",", L"3;0", L"$", Locale::Imperial},
    {nullptr, nullptr, nullptr, nullptr, "xx_YY.UTF-8", L"#", L"#", L"#", L"", L"#", Locale::Imperial},
    {nullptr, "xx_YY.UTF-8", nullptr, nullptr, "de_DE.UTF-8", L"#", L"#", L"#", L"", L"\u20AC",
     Locale::Metric},
};

TEST(LocaleFormats, FollowTheLocaleCategories) {
  for (const Environment& e : kEnvironments) {
    setVariable("LC_ALL", e.lcAll);
    setVariable("LC_NUMERIC", e.lcNumeric);
    setVariable("LC_MONETARY", e.lcMonetary);
    setVariable("LC_MEASUREMENT", e.lcMeasurement);
    setVariable("LANG", e.lang);
    std::string row = std::string(e.lang ? e.lang : "-") + " " + (e.lcNumeric ? e.lcNumeric : "-");
    EXPECT_EQ(Locale::getDecimalSeparator(L'#'), e.decimal) << row;
    EXPECT_EQ(Locale::getListSeparator(L'#'), e.list) << row;
    EXPECT_EQ(Locale::getThousandSeparator(L'#'), e.thousands) << row;
    EXPECT_EQ(Locale::getThousandGroupingStyle(), e.grouping) << row;
    EXPECT_EQ(Locale::getCurrency(L'#'), e.currency) << row;
    // Imperial as the fallback must not decide the answer: ask with both.
    EXPECT_EQ(Locale::getMeasureUnits(Locale::Imperial), e.measure) << row;
    bool known = std::wstring(e.currency) != L"#";
    EXPECT_EQ(Locale::getMeasureUnits(Locale::Metric), known ? e.measure : Locale::Metric) << row;
  }
  // A fallback that is neither value counts as Imperial.
  setVariable("LC_ALL", "xx_YY.UTF-8");
  EXPECT_EQ(Locale::getMeasureUnits(static_cast<Locale::MeasureUnits>(7)), Locale::Imperial);
  EXPECT_EQ(Locale::getMeasureUnits(Locale::Metric), Locale::Metric);
}

}  // namespace
