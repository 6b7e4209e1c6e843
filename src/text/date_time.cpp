// Conversions between the time records and the locale-aware entry points.
#include "pal/date_time.h"

#include "base/utf8.h"
#include "text/date_time_internal.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

long long daysFromCivil(int year, int month, int day) {
  long long y = static_cast<long long>(year) - (month <= 2);
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int dayOfWeek(int year, int month, int day) {
  long long d = daysFromCivil(year, month, day);
  // 1970-01-01 was a Thursday.
  return static_cast<int>(((d % 7) + 11) % 7);
}

std::wstring pictureFromStrftime(std::string_view format) {
  std::wstring picture;
  std::wstring literal;
  auto flushLiteral = [&] {
    bool needsQuotes = false;
    for (wchar_t c : literal)
      if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'\'') needsQuotes = true;
    if (!needsQuotes) {
      picture += literal;
    } else {
      picture += L'\'';
      for (wchar_t c : literal) picture += c == L'\'' ? std::wstring(L"''") : std::wstring(1, c);
      picture += L'\'';
    }
    literal.clear();
  };
  auto field = [&](const wchar_t* text) {
    flushLiteral();
    picture += text;
  };
  // The format is UTF-8 (the library reads LC_TIME in its UTF-8 form).
  std::wstring wide = utf8ToWide(format);
  for (size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] != L'%' || i + 1 == wide.size()) {
      literal += wide[i];
      continue;
    }
    ++i;
    // glibc's padding flags and the alternative-representation modifiers.
    bool unpadded = false;
    while (i + 1 < wide.size() && (wide[i] == L'-' || wide[i] == L'_' || wide[i] == L'0' || wide[i] == L'^' ||
                                   wide[i] == L'#' || wide[i] == L'E' || wide[i] == L'O')) {
      if (wide[i] == L'-' || wide[i] == L'_') unpadded = true;
      ++i;
    }
    switch (wide[i]) {
      case L'd':
        field(unpadded ? L"d" : L"dd");
        break;
      case L'e':
        field(L"d");
        break;
      case L'm':
        field(unpadded ? L"M" : L"MM");
        break;
      case L'y':
        field(L"yy");
        break;
      case L'Y':
        field(L"yyyy");
        break;
      case L'b':
      case L'h':
        field(L"MMM");
        break;
      case L'B':
        field(L"MMMM");
        break;
      case L'a':
        field(L"ddd");
        break;
      case L'A':
        field(L"dddd");
        break;
      case L'D':
        field(L"MM/dd/yy");
        break;
      case L'F':
        field(L"yyyy-MM-dd");
        break;
      case L'n':
        literal += L'\n';
        break;
      case L't':
        literal += L'\t';
        break;
      case L'%':
        literal += L'%';
        break;
      default:
        break;
    }
  }
  flushLiteral();
  return picture;
}

DateOrder orderOfPicture(std::wstring_view picture) {
  size_t day = picture.npos, month = picture.npos, year = picture.npos;
  bool quoted = false;
  for (size_t i = 0; i < picture.size(); ++i) {
    wchar_t c = picture[i];
    if (c == L'\'') quoted = !quoted;
    if (quoted) continue;
    if (c == L'd' && day == picture.npos) day = i;
    if (c == L'M' && month == picture.npos) month = i;
    if (c == L'y' && year == picture.npos) year = i;
  }
  if (year < month && year < day) return DateOrder::YearMonthDay;
  if (day < month) return DateOrder::DayMonthYear;
  return DateOrder::MonthDayYear;
}

}  // namespace detail

namespace DateTime {

namespace {
// Automation dates without a day are times on day zero, 1899-12-30.
constexpr int kAutomationEpochYear = 1899, kAutomationEpochMonth = 12, kAutomationEpochDay = 30;
// FILETIME ticks from 1601-01-01 to 1970-01-01, and per second.
constexpr long long kUnixEpochTicks = 116444736000000000LL;
constexpr long long kTicksPerSecond = 10000000LL;
}  // namespace

tm toStdTm(const SYSTEMTIME& time) {
  tm result{};
  result.tm_sec = time.wSecond;
  result.tm_min = time.wMinute;
  result.tm_hour = time.wHour;
  result.tm_mday = time.wDay;
  result.tm_mon = time.wMonth - 1;
  result.tm_year = time.wYear - 1900;
  result.tm_wday = time.wDayOfWeek;
  result.tm_yday = 0;
  result.tm_isdst = -1;
  return result;
}

SYSTEMTIME toSystemTime(const tm& time) {
  SYSTEMTIME result{};
  if (time.tm_year == 0 && time.tm_mon == 0 && time.tm_mday == 0) return result;
  result.wYear = static_cast<WORD>(time.tm_year + 1900);
  result.wMonth = static_cast<WORD>(time.tm_mon + 1);
  result.wDayOfWeek = static_cast<WORD>(time.tm_wday);
  result.wDay = static_cast<WORD>(time.tm_mday);
  result.wHour = static_cast<WORD>(time.tm_hour);
  result.wMinute = static_cast<WORD>(time.tm_min);
  result.wSecond = static_cast<WORD>(time.tm_sec);
  return result;
}

__int64 to_time_t(const FILETIME& time) {
  long long ticks = static_cast<long long>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                           time.dwLowDateTime);
  return (ticks - kUnixEpochTicks) / kTicksPerSecond;
}

FILETIME toFILETIME(const __int64& t) {
  // Unsigned arithmetic wraps as the Windows computation does for times far
  // outside the file-time range, instead of overflowing.
  unsigned long long ticks =
      static_cast<unsigned long long>(t) * kTicksPerSecond + static_cast<unsigned long long>(kUnixEpochTicks);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool parseDateTime(const wchar_t* text, tm& out) {
  std::wstring_view view = text ? std::wstring_view(text) : std::wstring_view();
  std::optional<detail::CalendarTime> parsed =
      detail::parseDateText(view, detail::userDateWords(), detail::currentLocalYear());
  if (!parsed) return false;
  if (parsed->year == 0) {
    parsed->year = kAutomationEpochYear;
    parsed->month = kAutomationEpochMonth;
    parsed->day = kAutomationEpochDay;
  }
  SYSTEMTIME record{};
  record.wYear = static_cast<WORD>(parsed->year);
  record.wMonth = static_cast<WORD>(parsed->month);
  record.wDayOfWeek = static_cast<WORD>(detail::dayOfWeek(parsed->year, parsed->month, parsed->day));
  record.wDay = static_cast<WORD>(parsed->day);
  record.wHour = static_cast<WORD>(parsed->hour);
  record.wMinute = static_cast<WORD>(parsed->minute);
  record.wSecond = static_cast<WORD>(parsed->second);
  out = toStdTm(record);
  return true;
}

std::wstring getShortDateString(tm time) {
  const detail::UserTimeLocale& user = detail::userTimeLocale();
  return detail::formatWithPicture(user.icuLocale, toSystemTime(time), user.shortDatePicture, false);
}

std::wstring getLocaleShortDateString(tm time) {
  return getShortDateString(time);
}

std::wstring getFormattedDateString(tm time, const wchar_t* format) {
  return detail::formatWithPicture(detail::userTimeLocale().icuLocale, toSystemTime(time),
                                   format ? format : L"", false);
}

std::wstring getFormattedTimeString(tm time, const wchar_t* format) {
  return detail::formatWithPicture(detail::userTimeLocale().icuLocale, toSystemTime(time),
                                   format ? format : L"", true);
}

}  // namespace DateTime
}  // namespace Halvex::Tessaran::PAL
