// Typed dates and times from users: the lenient parser, and the same text
// taken as a date or time picture.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/utf8.h"
#include "pal/date_time.h"
#include "text/date_time_internal.h"

using namespace Halvex::Tessaran::PAL;
namespace detail = Halvex::Tessaran::PAL::detail;

namespace {

bool validDay(const detail::CalendarTime& t) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return t.year >= 100 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= kDays[t.month - 1];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses how the rest reads: UTF-8 text, or raw 32-bit
  // values (which may be no Unicode scalar value at all).
  std::wstring text;
  if (data[0] & 1) {
    text = detail::utf8ToWide(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  } else {
    text.resize((size - 1) / sizeof(wchar_t));
    if (!text.empty()) std::memcpy(text.data(), data + 1, text.size() * sizeof(wchar_t));
  }

  static const detail::DateWords words = [] {
    detail::DateWords w = detail::userDateWords();
    w.order = detail::DateOrder::DayMonthYear;
    return w;
  }();
  if (auto parsed = detail::parseDateText(text, words, 2026)) {
    if (parsed->year != 0 && !validDay(*parsed)) std::abort();
    if (parsed->hour < 0 || parsed->hour > 23 || parsed->minute < 0 || parsed->minute > 59 ||
        parsed->second < 0 || parsed->second > 59)
      std::abort();
  }

  std::wstring terminated(text.c_str());
  tm out{};
  out.tm_year = 12345;
  if (DateTime::parseDateTime(terminated.c_str(), out)) {
    if (out.tm_isdst != -1 || out.tm_mon < 0 || out.tm_mon > 11) std::abort();
  } else if (out.tm_year != 12345) {
    std::abort();
  }

  // Each new picture opens an ICU formatter, which is slow: only some
  // inputs go that way.
  if (!(data[0] & 2)) return 0;
  tm friday{};
  friday.tm_year = 126;
  friday.tm_mon = 11;
  friday.tm_mday = 11;
  friday.tm_hour = 15;
  if (DateTime::getFormattedDateString(friday, terminated.c_str()).size() > 255) std::abort();
  if (DateTime::getFormattedTimeString(friday, terminated.c_str()).size() > 255) std::abort();
  return 0;
}
