// Date and time pictures rendered with ICU, and the locale's words for the
// parser.
#include <unicode/uchar.h>
#include <unicode/udat.h>
#include <unicode/ufieldpositer.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <tuple>

#include "base/utf16.h"
#include "text/date_time_internal.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// Windows' picture letters that ICU cannot say directly: 'y' is the year
// in two digits without a leading zero, 't' the first letter of the AM/PM
// designator. ICU renders yy and a; the result is trimmed afterwards.
enum class Trim { None, LeadingZero, FirstCharacter };

struct Converted {
  std::u16string pattern;
  std::vector<Trim> trims;  // one per year or AM/PM field, in pattern order
  bool needsTrim = false;
};

bool isDateLetter(wchar_t c) {
  return c == L'd' || c == L'M' || c == L'y' || c == L'g';
}
bool isTimeLetter(wchar_t c) {
  return c == L'h' || c == L'H' || c == L'm' || c == L's' || c == L't';
}

Converted convertPicture(std::wstring_view picture, bool timePicture) {
  Converted out;
  std::wstring pattern;
  // ICU takes ASCII letters as fields, so literal runs go quoted whole (two
  // quotes next to each other would read as one quote character).
  std::wstring pending;
  auto flush = [&] {
    if (pending.empty()) return;
    pattern += L'\'';
    for (wchar_t c : pending) pattern += c == L'\'' ? std::wstring(L"''") : std::wstring(1, c);
    pattern += L'\'';
    pending.clear();
  };
  auto literal = [&](wchar_t c) { pending += c; };
  for (size_t i = 0; i < picture.size();) {
    wchar_t c = picture[i];
    if (c == L'\'') {
      // A quoted literal; '' inside it is one quote, and an unclosed quote
      // runs to the end.
      for (++i; i < picture.size(); ++i) {
        if (picture[i] == L'\'') {
          if (i + 1 < picture.size() && picture[i + 1] == L'\'') {
            literal(L'\'');
            ++i;
            continue;
          }
          ++i;
          break;
        }
        literal(picture[i]);
      }
      continue;
    }
    if (!(timePicture ? isTimeLetter(c) : isDateLetter(c))) {
      literal(c);
      ++i;
      continue;
    }
    flush();
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    i += run;
    switch (c) {
      case L'd':
        pattern += run == 1 ? L"d" : run == 2 ? L"dd" : run == 3 ? L"EEE" : L"EEEE";
        break;
      case L'M':
        pattern += run == 1 ? L"M" : run == 2 ? L"MM" : run == 3 ? L"MMM" : L"MMMM";
        break;
      case L'y':
        pattern += run <= 2 ? L"yy" : L"yyyy";
        out.trims.push_back(run == 1 ? Trim::LeadingZero : Trim::None);
        out.needsTrim |= run == 1;
        break;
      case L'g':
        pattern += L"G";
        break;
      case L'h':
        pattern += run == 1 ? L"h" : L"hh";
        break;
      case L'H':
        pattern += run == 1 ? L"H" : L"HH";
        break;
      case L'm':
        pattern += run == 1 ? L"m" : L"mm";
        break;
      case L's':
        pattern += run == 1 ? L"s" : L"ss";
        break;
      case L't':
        pattern += L"a";
        out.trims.push_back(run == 1 ? Trim::FirstCharacter : Trim::None);
        out.needsTrim |= run == 1;
        break;
    }
  }
  flush();
  out.pattern = wideToUtf16(pattern);
  return out;
}

struct Formatter {
  std::string locale;
  std::wstring picture;
  bool timePicture;
  UDateFormat* format;
  Converted converted;
};

// A few formatters stay open: callers format with one or two pictures
// over and over. ICU formatters are not safe for concurrent use, so the
// lock is held while one formats.
class FormatterCache {
 public:
  ~FormatterCache() {
    for (Formatter& f : m_entries) udat_close(f.format);
  }

  template <typename Use>
  std::wstring with(const std::string& locale, std::wstring_view picture, bool timePicture, Use use) {
    std::lock_guard lock(m_mutex);
    for (Formatter& f : m_entries)
      if (f.timePicture == timePicture && f.picture == picture && f.locale == locale) return use(f);
    Converted converted = convertPicture(picture, timePicture);
    UErrorCode status = U_ZERO_ERROR;
    UDateFormat* format =
        udat_open(UDAT_PATTERN, UDAT_PATTERN, locale.c_str(), u"UTC", -1, converted.pattern.data(),
                  static_cast<int32_t>(converted.pattern.size()), &status);
    if (U_FAILURE(status)) return {};
    Formatter entry{locale, std::wstring(picture), timePicture, format, std::move(converted)};
    if (m_entries.size() < kCapacity) {
      m_entries.push_back(std::move(entry));
      return use(m_entries.back());
    }
    Formatter& slot = m_entries[m_next];
    m_next = (m_next + 1) % kCapacity;
    udat_close(slot.format);
    slot = std::move(entry);
    return use(slot);
  }

 private:
  static constexpr size_t kCapacity = 16;
  std::mutex m_mutex;
  std::vector<Formatter> m_entries;
  size_t m_next = 0;
};

FormatterCache& formatterCache() {
  static FormatterCache cache;
  return cache;
}

// The output limit of the Windows formatters: 256 units with the ending zero.
constexpr int32_t kOutputUnits = 256;

std::wstring render(const Formatter& f, UDate date) {
  UChar buffer[kOutputUnits];
  UErrorCode status = U_ZERO_ERROR;
  if (!f.converted.needsTrim) {
    int32_t length = udat_format(f.format, date, buffer, kOutputUnits, nullptr, &status);
    if (U_FAILURE(status) || length >= kOutputUnits) return {};
    return utf16ToWide(std::u16string_view(buffer, length));
  }
  std::unique_ptr<UFieldPositionIterator, decltype(&ufieldpositer_close)> fields(ufieldpositer_open(&status),
                                                                                 &ufieldpositer_close);
  int32_t length = udat_formatForFields(f.format, date, buffer, kOutputUnits, fields.get(), &status);
  if (U_FAILURE(status) || length >= kOutputUnits) return {};
  size_t next = 0;
  std::vector<std::tuple<int32_t, int32_t, int32_t>> spans;
  for (int32_t begin, end, field; (field = ufieldpositer_next(fields.get(), &begin, &end)) >= 0;)
    if (field == UDAT_YEAR_FIELD || field == UDAT_AM_PM_FIELD) spans.emplace_back(begin, end, field);
  std::sort(spans.begin(), spans.end());
  std::u16string text;
  int32_t at = 0;
  for (auto [begin, end, field] : spans) {
    Trim trim = next < f.converted.trims.size() ? f.converted.trims[next++] : Trim::None;
    text.append(buffer + at, buffer + begin);
    at = begin;
    if (trim == Trim::LeadingZero && end - begin > 1 && buffer[begin] == u'0') {
      at = begin + 1;
    } else if (trim == Trim::FirstCharacter && end > begin) {
      int32_t first = U16_IS_LEAD(buffer[begin]) && end - begin > 1 ? 2 : 1;
      text.append(buffer + begin, buffer + begin + first);
      at = end;
    }
  }
  text.append(buffer + at, buffer + length);
  return utf16ToWide(text);
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool validDate(const SYSTEMTIME& t) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1) return false;
  int days = t.wMonth == 2 && isLeapYear(t.wYear) ? 29 : kDays[t.wMonth - 1];
  return t.wDay <= days;
}

bool validTime(const SYSTEMTIME& t) {
  return t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

// Case-folded, without a trailing full stop, as the parser's tokenizer
// cuts words (a name with spaces or digits in it can never match).
void addWords(UDateFormat* format, UDateFormatSymbolType type, int32_t first, int32_t last,
              std::vector<std::u32string>& words, std::vector<int>* indexes = nullptr) {
  for (int32_t i = first; i <= last; ++i) {
    UChar buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = udat_getSymbols(format, type, i, buffer, 128, &status);
    if (U_FAILURE(status) || length <= 0 || length >= 128) continue;
    std::wstring name = utf16ToWide(std::u16string_view(buffer, length));
    if (!name.empty() && name.back() == L'.') name.pop_back();
    std::u32string word;
    for (wchar_t c : name) word += static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
    if (word.empty()) continue;
    words.push_back(word);
    if (indexes) indexes->push_back(i - first + 1);
  }
}

void addLocaleWords(const char* locale, DateWords& words) {
  UErrorCode status = U_ZERO_ERROR;
  UDateFormat* format = udat_open(UDAT_SHORT, UDAT_SHORT, locale, u"UTC", -1, nullptr, 0, &status);
  if (U_FAILURE(status)) return;
  for (UDateFormatSymbolType type :
       {UDAT_MONTHS, UDAT_SHORT_MONTHS, UDAT_STANDALONE_MONTHS, UDAT_STANDALONE_SHORT_MONTHS}) {
    std::vector<std::u32string> names;
    std::vector<int> months;
    addWords(format, type, 0, 11, names, &months);
    for (size_t k = 0; k < names.size(); ++k) words.months.emplace_back(names[k], months[k]);
  }
  for (UDateFormatSymbolType type :
       {UDAT_WEEKDAYS, UDAT_SHORT_WEEKDAYS, UDAT_STANDALONE_WEEKDAYS, UDAT_STANDALONE_SHORT_WEEKDAYS})
    addWords(format, type, 1, 7, words.weekdays);
  addWords(format, UDAT_AM_PMS, 0, 0, words.am);
  addWords(format, UDAT_AM_PMS, 1, 1, words.pm);
  udat_close(format);
}

}  // namespace

std::wstring formatWithPicture(const std::string& icuLocale, const SYSTEMTIME& time,
                               std::wstring_view picture, bool timePicture) {
  if (timePicture ? !validTime(time) : !validDate(time)) return {};
  // A date's time and a time's date play no part in the text; any valid
  // day will do for a time.
  double days =
      validDate(time) ? static_cast<double>(daysFromCivil(time.wYear, time.wMonth, time.wDay)) : 0.0;
  double seconds = timePicture ? time.wHour * 3600.0 + time.wMinute * 60.0 + time.wSecond : 0.0;
  UDate date = (days * 86400.0 + seconds) * 1000.0;
  return formatterCache().with(icuLocale, picture, timePicture,
                               [&](const Formatter& f) { return render(f, date); });
}

const DateWords& userDateWords() {
  static const DateWords words = [] {
    DateWords w;
    w.order = orderOfPicture(userTimeLocale().shortDatePicture);
    addLocaleWords(userTimeLocale().icuLocale.c_str(), w);
    addLocaleWords("en_US", w);
    return w;
  }();
  return words;
}

}  // namespace Halvex::Tessaran::PAL::detail
