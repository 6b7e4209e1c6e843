// The user's number formats in Windows' notation.
#include "text/locale_formats.h"

#include <climits>
#include <optional>
#include <vector>

#include "pal/locale_formats.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

std::wstring windowsGrouping(std::string_view grouping) {
  // The C library repeats its last group unless a group of CHAR_MAX (or a
  // negative one) ends the list; Windows writes a final 0 to repeat.
  std::vector<int> groups;
  bool repeats = true;
  for (char c : grouping) {
    int group = static_cast<signed char>(c);
    if (group == 0) break;  // the end of a C string: the last group repeats
    if (group < 0 || group == CHAR_MAX) {
      repeats = false;
      break;
    }
    groups.push_back(group);
  }
  if (groups.empty()) return L"0";
  // Groups of 3 then 3 repeating are groups of 3 repeating.
  while (repeats && groups.size() > 1 && groups[groups.size() - 1] == groups[groups.size() - 2])
    groups.pop_back();
  std::wstring out;
  for (int group : groups) out += (out.empty() ? L"" : L";") + std::to_wstring(group);
  if (repeats) out += L";0";
  return out;
}

}  // namespace detail

namespace Locale {

namespace {

// The Windows buffer holds 64 characters with the ending zero.
constexpr size_t kMaxSetting = 63;

std::wstring orFallback(const std::optional<std::wstring>& value, wchar_t fallback) {
  if (!value || value->size() > kMaxSetting) return std::wstring(1, fallback);
  return *value;
}

}  // namespace

std::wstring getDecimalSeparator(wchar_t fallback) {
  return orFallback(detail::readUserSetting(detail::UserSetting::Decimal), fallback);
}

std::wstring getListSeparator(wchar_t fallback) {
  std::optional<std::wstring> decimal = detail::readUserSetting(detail::UserSetting::Decimal);
  if (!decimal) return std::wstring(1, fallback);
  return *decimal == L"," ? L";" : L",";
}

std::wstring getThousandSeparator(wchar_t fallback) {
  return orFallback(detail::readUserSetting(detail::UserSetting::Thousands), fallback);
}

std::wstring getThousandGroupingStyle() {
  std::optional<std::wstring> grouping = detail::readUserSetting(detail::UserSetting::Grouping);
  return grouping && grouping->size() <= kMaxSetting ? *grouping : std::wstring();
}

std::wstring getCurrency(wchar_t fallback) {
  return orFallback(detail::readUserSetting(detail::UserSetting::Currency), fallback);
}

MeasureUnits getMeasureUnits(MeasureUnits fallback) {
  std::optional<std::wstring> measure = detail::readUserSetting(detail::UserSetting::Measure);
  if (!measure) return fallback == Metric ? Metric : Imperial;
  return *measure == L"0" ? Metric : Imperial;
}

}  // namespace Locale
}  // namespace Halvex::Tessaran::PAL
