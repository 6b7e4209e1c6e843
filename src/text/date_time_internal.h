// Internal pieces of the date and time functions: the lenient date parser,
// the picture conversions and the user locale's date conventions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::detail {

enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

// What the parser knows of a locale; words are case-folded, without a
// trailing full stop.
struct DateWords {
  DateOrder order = DateOrder::MonthDayYear;
  std::vector<std::pair<std::u32string, int>> months;  // name, 1 to 12
  std::vector<std::u32string> weekdays;
  std::vector<std::u32string> am;
  std::vector<std::u32string> pm;
};

struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The lenient parse of typed text; currentYear completes a date without a
// year. Values that are not Unicode scalar values read as U+FFFD.
std::optional<CalendarTime> parseDateText(std::wstring_view text, const DateWords& words, int currentYear);

// Day of the week (0 is Sunday) and days since 1970-01-01, proleptic
// Gregorian.
int dayOfWeek(int year, int month, int day);
long long daysFromCivil(int year, int month, int day);

// The picture a C library date format (d_fmt) stands for: %d.%m.%Y is
// dd.MM.yyyy. Conversions without a picture letter are dropped.
std::wstring pictureFromStrftime(std::string_view format);
// The order in which the picture's first d, M and y letters stand.
DateOrder orderOfPicture(std::wstring_view picture);

// The year of the current local time.
int currentLocalYear();

// The user's LC_TIME locale: its ICU locale id and its short date picture.
struct UserTimeLocale {
  std::string icuLocale;
  std::wstring shortDatePicture;
};
const UserTimeLocale& userTimeLocale();

// The user locale's words for the parser (its own and English), built once.
const DateWords& userDateWords();

// The record formatted with a date or time picture in an ICU locale; empty
// when the record is out of range for the kind of picture.
std::wstring formatWithPicture(const std::string& icuLocale, const SYSTEMTIME& time,
                               std::wstring_view picture, bool timePicture);

}  // namespace Halvex::Tessaran::PAL::detail
