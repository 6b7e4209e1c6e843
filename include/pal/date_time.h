// Date and time: conversions between struct tm, time_t seconds, SYSTEMTIME
// and FILETIME, UTC and local time, and parsing and formatting of dates and
// times in the user's locale.
//
// Differences on Linux from what a Windows caller expects:
// - The user's date and time locale is the C library's LC_TIME category:
//   LC_ALL, else LC_TIME, else LANG (the first that is set and not empty),
//   read once. C, POSIX, unset and names no installed locale knows give
//   en_US conventions. Names of months and days come from ICU for that
//   locale, so LANG=en_US.UTF-8 LC_TIME=de_DE.UTF-8 formats German dates.
// - The short date format is the locale's LC_TIME date format (d_fmt)
//   converted to the picture it stands for (%d.%m.%Y is dd.MM.yyyy).
// - convertUTCtmTotime_t is the exact UTC conversion (timegm): a UTC time
//   in the other half of the daylight-saving year is not an hour off.
//   convertUTCToLocal follows it.
// - parseDateTime is the library's own lenient parser: numeric dates in the
//   locale's day, month and year order with '/', '-', '.', ',', spaces or the
//   CJK year/month/day signs between the parts; two-digit years (00-29 are
//   2000-2029, 30-99 are 1930-1999); month names and abbreviations in the
//   locale's language and in English; leading day names; ISO 8601 dates and
//   date-times without a zone; times with or without seconds (a fraction of
//   a second is dropped) and with AM/PM markers. A time alone dates to
//   1899-12-30, a date alone is at midnight. Years run from 100 to 9999.
// - Formatting accepts the pictures d, dd, ddd, dddd, M, MM, MMM, MMMM, y,
//   yy, yyyy, g, gg (dates) and h, hh, H, HH, m, mm, s, ss, t, tt (times) with
//   'quoted' literals, and fails (empty string) for a record Windows would
//   refuse: a month, day or year (1601 to 30827) out of range for dates, an
//   hour, minute or second out of range for times.
// - wcsftime formats with the C library's wcsftime in the process's current
//   LC_TIME locale; there is no invalid-parameter handler, so nothing
//   process-wide changes while it runs.
#pragma once

#include <ctime>
#include <string>

#include "pal/export.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::DateTime {

PAL_EXPORT tm toStdTm(const SYSTEMTIME& time);
PAL_EXPORT SYSTEMTIME toSystemTime(const tm& time);
PAL_EXPORT __int64 to_time_t(const FILETIME& time);
PAL_EXPORT FILETIME toFILETIME(const __int64& t);
PAL_EXPORT SYSTEMTIME getLocalTime();
PAL_EXPORT __int64 convertUTCtmTotime_t(tm utc);
PAL_EXPORT tm convertUTCToLocal(tm utc);
PAL_EXPORT tm convertLocalToUTC(tm local);
// False (out unchanged) when the text is no date or time.
PAL_EXPORT bool parseDateTime(const wchar_t* text, tm& out);
PAL_EXPORT std::wstring getShortDateString(tm time);
PAL_EXPORT std::wstring getLocaleShortDateString(tm time);
PAL_EXPORT std::wstring getFormattedDateString(tm time, const wchar_t* format);
PAL_EXPORT std::wstring getFormattedTimeString(tm time, const wchar_t* format);
// At most 511 characters; empty when the output does not fit.
PAL_EXPORT std::wstring wcsftime(const wchar_t* format, const tm& time);

}  // namespace Halvex::Tessaran::PAL::DateTime
