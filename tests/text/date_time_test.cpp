// Time record conversions, the picture conversions, the lenient parser over
// fixed locale words, and pictures rendered in explicit ICU locales.
#include "pal/date_time.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/make_tm.h"
#include "text/date_time_internal.h"

namespace {

using namespace Halvex::Tessaran::PAL;
namespace detail = Halvex::Tessaran::PAL::detail;

using kvpal::test::makeTm;

FILETIME fileTime(long long ticks) {
  return FILETIME{static_cast<DWORD>(ticks),
                  static_cast<DWORD>(static_cast<unsigned long long>(ticks) >> 32)};
}

long long ticksOf(const FILETIME& f) {
  return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
}

constexpr long long kUnixEpoch = 116444736000000000LL;

TEST(DateTimeRecords, FileTimesAndSeconds) {
  struct Case {
    long long ticks;
    long long seconds;
  };
  // Division truncates toward zero on both sides of the Unix epoch.
  constexpr Case kCases[] = {
      {kUnixEpoch, 0},
      {kUnixEpoch + 9999999, 0},
      {kUnixEpoch + 10000000, 1},
      {kUnixEpoch - 1, 0},
      {kUnixEpoch - 10000000, -1},
      {kUnixEpoch - 15000000, -1},
      {0, -11644473600},
      {kUnixEpoch + 17656128000000000LL, 1765612800},
  };
  for (const Case& c : kCases) EXPECT_EQ(DateTime::to_time_t(fileTime(c.ticks)), c.seconds) << c.ticks;
  EXPECT_EQ(ticksOf(DateTime::toFILETIME(0)), kUnixEpoch);
  EXPECT_EQ(ticksOf(DateTime::toFILETIME(-11644473600LL)), 0);
  EXPECT_EQ(ticksOf(DateTime::toFILETIME(1765612800LL)), kUnixEpoch + 17656128000000000LL);
  FILETIME f = DateTime::toFILETIME(0);
  EXPECT_EQ(f.dwLowDateTime, 0xD53E8000u);
  EXPECT_EQ(f.dwHighDateTime, 0x019DB1DEu);
}

TEST(DateTimeRecords, SystemTimeAndTm) {
  SYSTEMTIME zero{};
  SYSTEMTIME fromZero = DateTime::toSystemTime(tm{});
  EXPECT_EQ(std::memcmp(&fromZero, &zero, sizeof zero), 0);
  tm fromZeroRecord = DateTime::toStdTm(zero);
  EXPECT_EQ(fromZeroRecord.tm_mon, -1);
  EXPECT_EQ(fromZeroRecord.tm_year, -1900);
  EXPECT_EQ(fromZeroRecord.tm_isdst, -1);

  SYSTEMTIME s{2026, 12, 5, 11, 23, 59, 58, 999};
  tm t = DateTime::toStdTm(s);
  EXPECT_EQ(t.tm_year, 126);
  EXPECT_EQ(t.tm_mon, 11);
  EXPECT_EQ(t.tm_mday, 11);
  EXPECT_EQ(t.tm_hour, 23);
  EXPECT_EQ(t.tm_min, 59);
  EXPECT_EQ(t.tm_sec, 58);
  EXPECT_EQ(t.tm_wday, 5);
  EXPECT_EQ(t.tm_yday, 0);
  EXPECT_EQ(t.tm_isdst, -1);
  SYSTEMTIME back = DateTime::toSystemTime(t);
  SYSTEMTIME expected{2026, 12, 5, 11, 23, 59, 58, 0};  // milliseconds are dropped
  EXPECT_EQ(std::memcmp(&back, &expected, sizeof back), 0);

  // Only a zero year, month and day give the empty record.
  tm january{};
  january.tm_mday = 1;
  EXPECT_EQ(DateTime::toSystemTime(january).wYear, 1900);
  EXPECT_EQ(DateTime::toSystemTime(january).wMonth, 1);
}

TEST(DateTimeRecords, WeekdaysAndDays) {
  EXPECT_EQ(detail::daysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(detail::daysFromCivil(2000, 3, 1), 11017);
  EXPECT_EQ(detail::daysFromCivil(1601, 1, 1), -134774);
  EXPECT_EQ(detail::dayOfWeek(1970, 1, 1), 4);
  EXPECT_EQ(detail::dayOfWeek(2026, 12, 11), 5);
  EXPECT_EQ(detail::dayOfWeek(1899, 12, 30), 6);
  EXPECT_EQ(detail::dayOfWeek(2000, 2, 29), 2);
}

TEST(DateTimeFormat, WcsftimeIntoItsBuffer) {
  tm t = makeTm(2026, 12, 11, 9, 5, 7);
  EXPECT_EQ(DateTime::wcsftime(L"%Y-%m-%d %H:%M:%S", t), L"2026-12-11 09:05:07");
  EXPECT_EQ(DateTime::wcsftime(nullptr, t), L"");
  std::wstring fits(511, L'x');
  EXPECT_EQ(DateTime::wcsftime(fits.c_str(), t), fits);
  std::wstring tooLong(510, L'x');
  tooLong += L"%Y";
  EXPECT_EQ(DateTime::wcsftime(tooLong.c_str(), t), L"");
}

TEST(DatePictures, FromCLibraryDateFormats) {
  struct Case {
    const char* format;
    const wchar_t* picture;
  };
  const Case kCases[] = {
      {"%m/%d/%Y", L"MM/dd/yyyy"},
      {"%d.%m.%Y", L"dd.MM.yyyy"},
      {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5", L"yyyy\u5E74MM\u6708dd\u65E5"},
      {"%-d/%-m/%y", L"d/M/yy"},
      {"%e %b %Y", L"d MMM yyyy"},
      {"%A %d %B %Y", L"dddd dd MMMM yyyy"},
      {"%D", L"MM/dd/yy"},
      {"%F", L"yyyy-MM-dd"},
      {"%Ey", L"yy"},
      {"%d de %B", L"dd' de 'MMMM"},
      {"%d%%'%m", L"dd'%'''MM"},
      {"%H:%M", L":"},
      {"", L""},
  };
  for (const Case& c : kCases) EXPECT_EQ(detail::pictureFromStrftime(c.format), c.picture) << c.format;
}

TEST(DatePictures, Order) {
  using detail::DateOrder;
  struct Case {
    const wchar_t* picture;
    DateOrder order;
  };
  const Case kCases[] = {
      {L"MM/dd/yyyy", DateOrder::MonthDayYear},     {L"dd.MM.yyyy", DateOrder::DayMonthYear},
      {L"yyyy-MM-dd", DateOrder::YearMonthDay},     {L"d/M/yy", DateOrder::DayMonthYear},
      {L"'day' MM/dd/yy", DateOrder::MonthDayYear}, {L"yyyy\u5E74MM\u6708dd\u65E5", DateOrder::YearMonthDay},
  };
  for (const Case& c : kCases) EXPECT_EQ(detail::orderOfPicture(c.picture), c.order) << c.picture;
}

detail::DateWords words(detail::DateOrder order) {
  detail::DateWords w;
  w.order = order;
  const char32_t* months[] = {U"january", U"february", U"march",     U"april",   U"may",      U"june",
                              U"july",    U"august",   U"september", U"october", U"november", U"december"};
  for (int m = 0; m < 12; ++m) {
    w.months.emplace_back(months[m], m + 1);
    w.months.emplace_back(std::u32string(months[m]).substr(0, 3), m + 1);
  }
  w.months.emplace_back(U"dezember", 12);
  w.months.emplace_back(U"m\u00E4rz", 3);
  w.weekdays = {U"friday", U"fri", U"freitag"};
  w.am = {U"am"};
  w.pm = {U"pm"};
  return w;
}

TEST(DateParser, AcceptsWhatUsersType) {
  using detail::DateOrder;
  struct Case {
    DateOrder order;
    const wchar_t* text;
    detail::CalendarTime expected;
  };
  const DateOrder mdy = DateOrder::MonthDayYear, dmy = DateOrder::DayMonthYear, ymd = DateOrder::YearMonthDay;
  // year 0: a time alone. The current year is 2031 throughout.
  const Case kCases[] = {
      {mdy, L"12/11/2026", {2026, 12, 11, 0, 0, 0}},
      {dmy, L"12/11/2026", {2026, 11, 12, 0, 0, 0}},
      {dmy, L"11.12.2026", {2026, 12, 11, 0, 0, 0}},
      {dmy, L"11-12-26", {2026, 12, 11, 0, 0, 0}},
      {dmy, L"11 12 29", {2029, 12, 11, 0, 0, 0}},
      {dmy, L"11 12 30", {1930, 12, 11, 0, 0, 0}},
      {mdy, L"13/12/2026", {2026, 12, 13, 0, 0, 0}},  // no 13th month: day and month change places
      {dmy, L"12/13/2026", {2026, 12, 13, 0, 0, 0}},
      {ymd, L"2026/12/11", {2026, 12, 11, 0, 0, 0}},
      {ymd, L"12/11/2026", {2026, 12, 11, 0, 0, 0}},
      {dmy, L"2026-12-11", {2026, 12, 11, 0, 0, 0}},
      {mdy, L"2026\u5E7412\u670811\u65E5", {2026, 12, 11, 0, 0, 0}},
      {mdy, L"12/11", {2031, 12, 11, 0, 0, 0}},
      {dmy, L"12/11", {2031, 11, 12, 0, 0, 0}},
      {mdy, L"12/2026", {2026, 12, 1, 0, 0, 0}},
      {mdy, L"Dec 11, 2026", {2026, 12, 11, 0, 0, 0}},
      {mdy, L"Friday, December 11, 2026", {2026, 12, 11, 0, 0, 0}},
      {dmy, L"11. Dezember 2026", {2026, 12, 11, 0, 0, 0}},
      {dmy, L"Freitag, 11. DEZEMBER 2026", {2026, 12, 11, 0, 0, 0}},
      {dmy, L"1 M\u00C4RZ 26", {2026, 3, 1, 0, 0, 0}},
      {dmy, L"11 dec.", {2031, 12, 11, 0, 0, 0}},
      {dmy, L"december 2026", {2026, 12, 1, 0, 0, 0}},
      {ymd, L"2026 dec 11", {2026, 12, 11, 0, 0, 0}},
      {mdy, L"12/11/2026 14:05", {2026, 12, 11, 14, 5, 0}},
      {mdy, L"12/11/2026 2:05:09 PM", {2026, 12, 11, 14, 5, 9}},
      {mdy, L"12/11/2026 12:30 am", {2026, 12, 11, 0, 30, 0}},
      {mdy, L"12:30 pm 12/11/2026", {2026, 12, 11, 12, 30, 0}},
      {dmy, L"11.12.2026 23:59:59.75", {2026, 12, 11, 23, 59, 59}},
      {mdy, L"14:05", {0, 0, 0, 14, 5, 0}},
      {mdy, L"  7 pm ", {0, 0, 0, 19, 0, 0}},
      {mdy, L"2026-12-11T08:09:10", {2026, 12, 11, 8, 9, 10}},
      {mdy, L"2026-12-11T08:09", {2026, 12, 11, 8, 9, 0}},
      {mdy, L"2026-12-11T08:09:10.123", {2026, 12, 11, 8, 9, 10}},
      {mdy, L"2/29/2028", {2028, 2, 29, 0, 0, 0}},
      {mdy, L"1/1/100", {100, 1, 1, 0, 0, 0}},
      {mdy, L"12/31/9999 23:59:59", {9999, 12, 31, 23, 59, 59}},
  };
  for (const Case& c : kCases) {
    std::optional<detail::CalendarTime> parsed = detail::parseDateText(c.text, words(c.order), 2031);
    ASSERT_TRUE(parsed) << testing::PrintToString(std::wstring(c.text));
    const detail::CalendarTime& e = c.expected;
    EXPECT_EQ((std::vector<int>{parsed->year, parsed->month, parsed->day, parsed->hour, parsed->minute,
                                parsed->second}),
              (std::vector<int>{e.year, e.month, e.day, e.hour, e.minute, e.second}))
        << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(DateParser, RefusesTheRest) {
  const wchar_t* kTexts[] = {L"",
                             L"   ",
                             L"hello",
                             L"12",
                             L"12/11/2026/5",
                             L"2/29/2027",
                             L"4/31/2026",
                             L"13/13/2026",
                             L"12/11/2026 24:00",
                             L"12/11/2026 10:60",
                             L"13:00 pm",
                             L"12/11/2026 10:00 11:00",
                             L"12/11/2026 xyz",
                             L"December",
                             L"Dec 11 12 2026",
                             L"1/1/99999",
                             L"12345678901234567890/1/1",
                             L"12/11/2026 10:",
                             L"2026-12-11T25:00",
                             L"2026-12-11T08:09Z",
                             L"2026-13-01",
                             L"1/1/0099",
                             L"12/11/2026 @",
                             L"12\uFFFF/11",
                             L"12/\xD800/11/2026",
                             L"12/11/2026 10:00 pm pm"};
  for (const wchar_t* text : kTexts)
    EXPECT_FALSE(detail::parseDateText(text, words(detail::DateOrder::MonthDayYear), 2031))
        << testing::PrintToString(std::wstring(text));
  // Values beyond Unicode read as U+FFFD, which no date contains.
  const wchar_t outOfRange[] = {L'1', L'/', L'1', L'/', static_cast<wchar_t>(0x7FFFFFFF), 0};
  EXPECT_FALSE(detail::parseDateText(outOfRange, words(detail::DateOrder::MonthDayYear), 2031));
}

TEST(DatePictureRendering, InExplicitLocales) {
  struct Case {
    const char* locale;
    tm time;
    const wchar_t* picture;
    bool timePicture;
    const wchar_t* expected;
  };
  const tm friday = makeTm(2026, 12, 11, 15, 5, 9);
  const tm morning = makeTm(2009, 3, 2, 0, 7, 0);
  const Case kCases[] = {
      {"en_US", friday, L"dddd, MMMM d, yyyy", false, L"Friday, December 11, 2026"},
      {"en_US", friday, L"ddd MMM dd yy", false, L"Fri Dec 11 26"},
      {"en_US", morning, L"M/d/y", false, L"3/2/9"},
      {"en_US", morning, L"MM/dd/yy", false, L"03/02/09"},
      {"en_US", morning, L"yyyyy", false, L"2009"},
      {"en_US", friday, L"g yyyy", false, L"AD 2026"},
      {"en_US", friday, L"'Today is' dddd", false, L"Today is Friday"},
      {"en_US", friday, L"d 'o''clock' ''", false, L"11 o'clock "},
      {"en_US", friday, L"dd/MM/yyyy HH:mm", false, L"11/12/2026 HH:mm"},
      {"en_US", friday, L"x d", false, L"x 11"},
      {"de_DE", friday, L"dddd, d. MMMM yyyy", false, L"Freitag, 11. Dezember 2026"},
      {"fr_FR", friday, L"dddd d MMMM yyyy", false, L"vendredi 11 d\u00E9cembre 2026"},
      {"ja_JP", friday, L"yyyy'\u5E74'M'\u6708'd'\u65E5' dddd", false,
       L"2026\u5E7412\u670811\u65E5 \u91D1\u66DC\u65E5"},
      {"en_US", friday, L"HH:mm:ss", true, L"15:05:09"},
      {"en_US", friday, L"h:mm tt", true, L"3:05 PM"},
      {"en_US", friday, L"hh:mm t", true, L"03:05 P"},
      {"en_US", morning, L"h:m:s tt", true, L"12:7:0 AM"},
      {"en_US", morning, L"H 'h' dd", true, L"0 h dd"},
      {"de_DE", friday, L"HH:mm 'Uhr'", true, L"15:05 Uhr"},
  };
  for (const Case& c : kCases) {
    std::string locale = std::string(c.locale) + "@calendar=gregorian;numbers=latn";
    EXPECT_EQ(detail::formatWithPicture(locale, DateTime::toSystemTime(c.time), c.picture, c.timePicture),
              c.expected)
        << c.locale << " " << testing::PrintToString(std::wstring(c.picture));
  }
}

TEST(DatePictureRendering, RecordsOutOfRangeGiveNothing) {
  struct Case {
    SYSTEMTIME time;
    bool timePicture;
  };
  const Case kCases[] = {
      {{}, false},
      {{2026, 13, 0, 1, 0, 0, 0, 0}, false},
      {{2026, 2, 0, 29, 0, 0, 0, 0}, false},
      {{1600, 12, 0, 31, 0, 0, 0, 0}, false},
      {{2026, 12, 0, 11, 24, 0, 0, 0}, true},
      {{2026, 12, 0, 11, 0, 60, 0, 0}, true},
      {{2026, 12, 0, 11, 0, 0, 60, 0}, true},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(detail::formatWithPicture("en_US", c.time, L"d M yyyy H m s", c.timePicture), L"");
  // A time needs no valid date; a date needs no valid time.
  EXPECT_EQ(detail::formatWithPicture("en_US", SYSTEMTIME{0, 0, 0, 0, 13, 4, 0, 0}, L"HH:mm", true),
            L"13:04");
  EXPECT_EQ(detail::formatWithPicture("en_US", SYSTEMTIME{2026, 12, 0, 11, 99, 0, 0, 0}, L"d", false), L"11");
  // Output past 255 units is a failure, as the Windows buffer is 256 with the zero.
  EXPECT_EQ(detail::formatWithPicture("en_US", SYSTEMTIME{2026, 12, 0, 11, 0, 0, 0, 0},
                                      std::wstring(255, L'-'), false),
            std::wstring(255, L'-'));
  EXPECT_EQ(detail::formatWithPicture("en_US", SYSTEMTIME{2026, 12, 0, 11, 0, 0, 0, 0},
                                      std::wstring(256, L'-'), false),
            L"");
}

// More pictures than the formatter cache holds, twice over: entries are
// replaced, and each answer still belongs to its own picture.
TEST(DatePictureRendering, CacheReplacesEntries) {
  SYSTEMTIME t{2026, 12, 5, 11, 15, 5, 9, 0};
  for (int round = 0; round < 2; ++round)
    for (int n = 0; n < 40; ++n) {
      std::wstring picture = std::to_wstring(n) + L" d";
      EXPECT_EQ(detail::formatWithPicture("en_US", t, picture, false), std::to_wstring(n) + L" 11");
    }
}

}  // namespace
