// Dates formatted and parsed in the user's locale under one locale
// environment, named by KVPAL_DATE_ENV; CTest runs these cases once per
// environment, each case in a fresh process, because the user's date
// locale is read once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "pal/date_time.h"
#include "support/environment.h"
#include "support/make_tm.h"

namespace {

using namespace Halvex::Tessaran::PAL;

struct Environment {
  const char* name;
  const char* lcAll;
  const char* lcTime;
  const char* lcNumeric;
  const char* lang;
  const wchar_t* shortDate;  // 2026-12-11
  const wchar_t* longDate;   // dddd d MMMM yyyy
  const wchar_t* monthText;  // 2026-12-11 with the month's name in the locale's language
  int marchFourth;           // 3/4/2026 is March 4 (3) or April 3 (4)
};

// LC_ALL, LC_TIME, LC_NUMERIC and LANG (null: unset), then the answers.
const Environment kEnvironments[] = {
    {"en-US", nullptr, nullptr, nullptr, "en_US.UTF-8", L"12/11/2026", L"Friday 11 December 2026",
     L"December 11, 2026", 3},
    {"de-DE", nullptr, nullptr, nullptr, "de_DE.UTF-8", L"11.12.2026", L"Freitag 11 Dezember 2026",
     L"11. Dezember 2026", 4},
    {"fr-FR", nullptr, nullptr, nullptr, "fr_FR.UTF-8", L"11/12/2026", L"vendredi 11 d\u00E9cembre 2026",
     L"vendredi 11 d\u00E9c. 2026", 4},
    {"ja-JP", nullptr, nullptr, nullptr, "ja_JP.UTF-8", L"2026\u5E7412\u670811\u65E5",
     L"\u91D1\u66DC\u65E5 11 12\u6708 2026", L"2026\u5E7412\u670811\u65E5", 3},
    {"tr-TR", nullptr, nullptr, nullptr, "tr_TR.UTF-8", L"11-12-2026", L"Cuma 11 Aral\u0131k 2026",
     L"11 Aral\u0131k 2026", 4},
    {"hi-IN", nullptr, nullptr, nullptr, "hi_IN.UTF-8", L"11/12/26",
     L"\u0936\u0941\u0915\u094D\u0930\u0935\u093E\u0930 11 \u0926\u093F\u0938\u0902\u092C\u0930 2026",
     L"11 \u0926\u093F\u0938\u0902\u092C\u0930 2026", 4},
    {"mixed", nullptr, nullptr, "de_DE.UTF-8", "en_US.UTF-8", L"12/11/2026", L"Friday 11 December 2026",
     L"Dec 11 2026", 3},
    {"lc-time", nullptr, "de_DE.UTF-8", nullptr, "en_US.UTF-8", L"11.12.2026", L"Freitag 11 Dezember 2026",
     L"11 DEZ 2026", 4},
    {"lc-all", "fr_FR.UTF-8", "de_DE.UTF-8", nullptr, "en_US.UTF-8", L"11/12/2026",
     L"vendredi 11 d\u00E9cembre 2026", L"11 D\u00C9CEMBRE 2026", 4},
    {"posix-c", nullptr, nullptr, nullptr, "C", L"12/11/2026", L"Friday 11 December 2026", L"11 Dec 2026", 3},
    {"unknown", nullptr, nullptr, nullptr, "xx_YY.UTF-8", L"12/11/2026", L"Friday 11 December 2026",
     L"11 Dec 2026", 3},
};

using kvpal::test::setVariable;

// Sets the named environment's variables; call before any date call.
const Environment& environment() {
  const char* name = std::getenv("KVPAL_DATE_ENV");
  for (const Environment& e : kEnvironments) {
    if (name && name == std::string(e.name)) {
      setVariable("LC_ALL", e.lcAll);
      setVariable("LC_TIME", e.lcTime);
      setVariable("LC_NUMERIC", e.lcNumeric);
      setVariable("LANG", e.lang);
      return e;
    }
  }
  ADD_FAILURE() << "KVPAL_DATE_ENV names no known environment";
  return kEnvironments[0];
}

using kvpal::test::makeTm;

void expectDate(const tm& t, int year, int month, int day, int hour, int minute, int second, int weekday) {
  EXPECT_EQ(t.tm_year, year - 1900);
  EXPECT_EQ(t.tm_mon, month - 1);
  EXPECT_EQ(t.tm_mday, day);
  EXPECT_EQ(t.tm_hour, hour);
  EXPECT_EQ(t.tm_min, minute);
  EXPECT_EQ(t.tm_sec, second);
  EXPECT_EQ(t.tm_wday, weekday);
  EXPECT_EQ(t.tm_isdst, -1);
}

TEST(UserDates, FormattedInTheUserLocale) {
  const Environment& env = environment();
  tm friday = makeTm(2026, 12, 11, 15, 5, 9);
  EXPECT_EQ(DateTime::getShortDateString(friday), env.shortDate);
  EXPECT_EQ(DateTime::getLocaleShortDateString(friday), env.shortDate);
  EXPECT_EQ(DateTime::getFormattedDateString(friday, L"dddd d MMMM yyyy"), env.longDate);
  EXPECT_EQ(DateTime::getFormattedTimeString(friday, L"HH:mm:ss"), L"15:05:09");
  EXPECT_EQ(DateTime::getShortDateString(tm{}), L"");
  EXPECT_EQ(DateTime::getFormattedDateString(friday, nullptr), L"");
}

TEST(UserDates, ParsedInTheUserLocale) {
  const Environment& env = environment();
  // What the short date format writes reads back, for days on either side
  // of the twelfth so that day and month cannot stand in for each other.
  for (int day : {3, 11, 28}) {
    tm date = makeTm(2026, 12, day);
    std::wstring text = DateTime::getShortDateString(date);
    tm parsed{};
    ASSERT_TRUE(DateTime::parseDateTime(text.c_str(), parsed)) << testing::PrintToString(text);
    expectDate(parsed, 2026, 12, day, 0, 0, 0, day == 3 ? 4 : day == 11 ? 5 : 1);
  }

  tm parsed{};
  ASSERT_TRUE(DateTime::parseDateTime(env.monthText, parsed))
      << testing::PrintToString(std::wstring(env.monthText));
  expectDate(parsed, 2026, 12, 11, 0, 0, 0, 5);
  ASSERT_TRUE(DateTime::parseDateTime(L"Dec 11, 2026 2:05 PM", parsed));
  expectDate(parsed, 2026, 12, 11, 14, 5, 0, 5);
  ASSERT_TRUE(DateTime::parseDateTime(L"3/4/2026", parsed));
  expectDate(parsed, 2026, env.marchFourth, env.marchFourth == 3 ? 4 : 3, 0, 0, 0,
             env.marchFourth == 3 ? 3 : 5);
  ASSERT_TRUE(DateTime::parseDateTime(L"2026-12-11T08:09:10", parsed));
  expectDate(parsed, 2026, 12, 11, 8, 9, 10, 5);
  // A time alone is on the automation epoch's day, a Saturday.
  ASSERT_TRUE(DateTime::parseDateTime(L"14:05", parsed));
  expectDate(parsed, 1899, 12, 30, 14, 5, 0, 6);

  tm untouched = makeTm(2001, 2, 3, 4, 5, 6);
  tm out = untouched;
  for (const wchar_t* text : {static_cast<const wchar_t*>(nullptr), L"", L"not a date", L"31/31/2026"}) {
    EXPECT_FALSE(DateTime::parseDateTime(text, out));
    expectDate(out, 2001, 2, 3, 4, 5, 6, 0);
  }
}

}  // namespace
