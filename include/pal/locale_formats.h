// The user's number formats: decimal, list and thousands separators, digit
// grouping, currency symbol and measurement system.
//
// Differences on Linux from what a Windows caller expects:
// - Each setting comes from the C library's locale category that holds it,
//   named as the C library chooses it: LC_ALL, else the category's own
//   variable, else LANG (the first set and not empty). Separators and
//   grouping come from LC_NUMERIC, the currency symbol from LC_MONETARY, the
//   measurement system from LC_MEASUREMENT. C, POSIX and an unset category
//   read as en_US; a name no installed locale knows gives the fallback.
//   The environment is read at each call, the process's own locale is never
//   switched.
// - The C library has no list separator: it is ";" where the decimal
//   separator is "," and "," otherwise, the rule Windows' own locale data
//   follows.
// - Grouping is written in Windows notation: "3;0" for groups of 3 that
//   repeat, "3;2;0" for a group of 3 then repeating groups of 2, "3" for one
//   group of 3 only, "0" for no grouping.
#pragma once

#include <string>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::Locale {

enum MeasureUnits { Metric = 0, Imperial = 1 };

PAL_EXPORT std::wstring getDecimalSeparator(wchar_t fallback);
PAL_EXPORT std::wstring getListSeparator(wchar_t fallback);
PAL_EXPORT std::wstring getThousandSeparator(wchar_t fallback);
// Empty when the setting cannot be read.
PAL_EXPORT std::wstring getThousandGroupingStyle();
PAL_EXPORT std::wstring getCurrency(wchar_t fallback);
PAL_EXPORT MeasureUnits getMeasureUnits(MeasureUnits fallback);

}  // namespace Halvex::Tessaran::PAL::Locale
