// Date and time through the C library: local time, UTC conversions, the
// user's LC_TIME locale and wcsftime.
#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <ctime>
#include <cwchar>

#include "pal/date_time.h"
#include "text/date_time_internal.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

namespace {

// What C, POSIX and unknown locales fall back to.
constexpr const char* kFallbackLocale = "en_US";
constexpr const wchar_t* kFallbackPicture = L"MM/dd/yyyy";
// Gregorian dates with Latin digits, whatever calendar or digits the locale
// prefers: the records are Gregorian and callers parse the text back.
constexpr const char* kIcuKeywords = "@calendar=gregorian;numbers=latn";

std::string chosenName() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return {};
}

}  // namespace

int currentLocalYear() {
  std::time_t now = std::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

const UserTimeLocale& userTimeLocale() {
  static const UserTimeLocale value = [] {
    UserTimeLocale result{std::string(kFallbackLocale) + kIcuKeywords, kFallbackPicture};
    std::string name = chosenName();
    std::string modifier;
    if (size_t at = name.find('@'); at != name.npos) {
      modifier = name.substr(at);
      name.erase(at);
    }
    name.erase(std::min(name.find('.'), name.size()));
    if (name.empty() || name == "C" || name == "POSIX") return result;
    // The UTF-8 form first, so that d_fmt comes as UTF-8.
    locale_t locale = newlocale(LC_TIME_MASK, (name + ".UTF-8" + modifier).c_str(), nullptr);
    if (!locale) locale = newlocale(LC_TIME_MASK, (name + modifier).c_str(), nullptr);
    if (!locale) return result;
    result.icuLocale = name + kIcuKeywords;
    std::wstring picture = pictureFromStrftime(nl_langinfo_l(D_FMT, locale));
    if (!picture.empty()) result.shortDatePicture = picture;
    freelocale(locale);
    return result;
  }();
  return value;
}

}  // namespace detail

namespace DateTime {

SYSTEMTIME getLocalTime() {
  std::time_t now = std::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return toSystemTime(local);
}

__int64 convertUTCtmTotime_t(tm utc) {
  if (utc.tm_isdst == -1) utc.tm_isdst = 0;
  return timegm(&utc);
}

tm convertUTCToLocal(tm utc) {
  std::time_t t = convertUTCtmTotime_t(utc);
  tm local{};
  localtime_r(&t, &local);
  return local;
}

tm convertLocalToUTC(tm local) {
  std::time_t t = std::mktime(&local);
  tm utc{};
  gmtime_r(&t, &utc);
  return utc;
}

std::wstring wcsftime(const wchar_t* format, const tm& time) {
  wchar_t buffer[512];
  size_t length = std::wcsftime(buffer, 512, format ? format : L"", &time);
  return std::wstring(buffer, length);
}

}  // namespace DateTime
}  // namespace Halvex::Tessaran::PAL
