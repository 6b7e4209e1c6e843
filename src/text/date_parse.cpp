// The lenient parser of typed dates and times.
#include <unicode/uchar.h>

#include <algorithm>

#include "text/date_time_internal.h"
#include "text/unicode_scalar.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

enum class Kind { Number, Word, Colon, Point };

struct Token {
  Kind kind = Kind::Word;
  long long value = 0;  // numbers, capped
  int digits = 0;
  std::u32string word;
  bool used = false;
};

constexpr long long kNumberCap = 1000000000;

bool isSeparator(char32_t c) {
  // The CJK year, month and day signs stand between the numbers of a date.
  return c == U'/' || c == U'-' || c == U',' || c == U'\u5E74' || c == U'\u6708' || c == U'\u65E5' ||
         c == U'\uB144' || c == U'\uC6D4' || c == U'\uC77C' || u_isUWhiteSpace(c);
}

// Letters with their combining marks: Indic month names carry vowel signs.
bool isWordCharacter(char32_t c) {
  return (u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || (U_GET_GC_MASK(c) & U_GC_M_MASK)) && !isSeparator(c);
}

bool tokenize(std::wstring_view text, std::vector<Token>& tokens) {
  for (size_t i = 0; i < text.size();) {
    char32_t c = unicodeScalar(text[i]);
    if (c >= U'0' && c <= U'9') {
      Token t;
      t.kind = Kind::Number;
      for (; i < text.size() && unicodeScalar(text[i]) >= U'0' && unicodeScalar(text[i]) <= U'9'; ++i) {
        t.value = std::min(t.value * 10 + (text[i] - L'0'), kNumberCap);
        ++t.digits;
      }
      tokens.push_back(std::move(t));
    } else if (isWordCharacter(c)) {
      Token t;
      t.kind = Kind::Word;
      for (; i < text.size() && isWordCharacter(unicodeScalar(text[i])); ++i)
        t.word += static_cast<char32_t>(u_foldCase(unicodeScalar(text[i]), U_FOLD_CASE_DEFAULT));
      tokens.push_back(std::move(t));
    } else if (isSeparator(c)) {
      ++i;
    } else if (c == U':') {
      tokens.push_back(Token{Kind::Colon, 0, 0, {}, false});
      ++i;
    } else if (c == U'.') {
      tokens.push_back(Token{Kind::Point, 0, 0, {}, false});
      ++i;
    } else {
      return false;
    }
  }
  return true;
}

bool contains(const std::vector<std::u32string>& words, const std::u32string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

int monthOf(const DateWords& words, const std::u32string& word) {
  for (const auto& [name, month] : words.months)
    if (name == word) return month;
  return 0;
}

bool isLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

bool validDate(int year, int month, int day) {
  return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= daysInMonth(year, month);
}

// Two-digit years fall in 1930 to 2029.
int fullYear(const Token& t) {
  if (t.digits > 2) return static_cast<int>(t.value);
  return static_cast<int>(t.value < 30 ? 2000 + t.value : 1900 + t.value);
}

bool yearLike(const Token& t) {
  return t.digits > 2 || t.value > 31;
}

// The time: "h:mm[:ss[.fff]]" or "h" beside a marker, with an optional
// AM/PM marker right before or after. Marks the tokens it takes.
bool takeTime(std::vector<Token>& tokens, const DateWords& words, CalendarTime& out, bool& found) {
  found = false;
  auto marker = [&](size_t k) -> int {
    if (k >= tokens.size() || tokens[k].kind != Kind::Word) return 0;
    if (contains(words.am, tokens[k].word)) return 1;
    if (contains(words.pm, tokens[k].word)) return 2;
    return 0;
  };
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind != Kind::Number) continue;
    size_t end = i + 1;
    int parts[3] = {static_cast<int>(tokens[i].value), 0, 0};
    int count = 1;
    while (count < 3 && end + 1 < tokens.size() && tokens[end].kind == Kind::Colon &&
           tokens[end + 1].kind == Kind::Number) {
      parts[count++] = static_cast<int>(tokens[end + 1].value);
      end += 2;
    }
    // A fraction of a second is dropped.
    if (count == 3 && end + 1 < tokens.size() && tokens[end].kind == Kind::Point &&
        tokens[end + 1].kind == Kind::Number)
      end += 2;
    int ampm = marker(end);
    size_t markerAt = end;
    if (!ampm && i > 0) {
      ampm = marker(i - 1);
      markerAt = i - 1;
    }
    if (count == 1 && !(ampm && markerAt == end)) continue;
    if (found) return false;  // a second time
    found = true;
    for (size_t k = i; k < end; ++k) tokens[k].used = true;
    if (ampm) tokens[markerAt].used = true;
    int hour = parts[0];
    if (ampm) {
      if (hour > 12) return false;
      hour = hour % 12 + (ampm == 2 ? 12 : 0);
    }
    if (hour > 23 || parts[1] > 59 || parts[2] > 59) return false;
    out.hour = hour;
    out.minute = parts[1];
    out.second = parts[2];
    i = end;
  }
  return true;
}

// yyyy-mm-dd, optionally followed by 'T' and the time.
std::optional<CalendarTime> parseIso(std::wstring_view text) {
  auto digits = [&](size_t at, size_t n, int& value) {
    if (at + n > text.size()) return false;
    value = 0;
    for (size_t k = at; k < at + n; ++k) {
      if (text[k] < L'0' || text[k] > L'9') return false;
      value = value * 10 + (text[k] - L'0');
    }
    return true;
  };
  CalendarTime t;
  if (!digits(0, 4, t.year) || text.size() < 10 || text[4] != L'-' || !digits(5, 2, t.month) ||
      text[7] != L'-' || !digits(8, 2, t.day))
    return std::nullopt;
  if (text.size() > 10) {
    if ((text[10] != L'T' && text[10] != L't') || !digits(11, 2, t.hour) || text.size() < 16 ||
        text[13] != L':' || !digits(14, 2, t.minute))
      return std::nullopt;
    size_t at = 16;
    if (at < text.size()) {
      if (text[at] != L':' || !digits(at + 1, 2, t.second)) return std::nullopt;
      at += 3;
      if (at < text.size()) {
        if (text[at] != L'.' && text[at] != L',') return std::nullopt;
        int ignored;
        for (++at; at < text.size(); ++at)
          if (!digits(at, 1, ignored)) return std::nullopt;
      }
    }
    if (t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
  }
  if (!validDate(t.year, t.month, t.day)) return std::nullopt;
  return t;
}

}  // namespace

std::optional<CalendarTime> parseDateText(std::wstring_view text, const DateWords& words, int currentYear) {
  while (!text.empty() && u_isUWhiteSpace(unicodeScalar(text.front()))) text.remove_prefix(1);
  while (!text.empty() && u_isUWhiteSpace(unicodeScalar(text.back()))) text.remove_suffix(1);
  if (text.size() > 10 && (text[10] == L'T' || text[10] == L't')) return parseIso(text);

  std::vector<Token> tokens;
  if (!tokenize(text, tokens)) return std::nullopt;
  CalendarTime result;
  bool hasTime = false;
  if (!takeTime(tokens, words, result, hasTime)) return std::nullopt;

  std::vector<const Token*> numbers;
  int month = 0;
  size_t monthAt = 0;
  for (size_t k = 0; k < tokens.size(); ++k) {
    const Token& t = tokens[k];
    if (t.used) continue;
    if (t.kind == Kind::Number) {
      if (t.digits > 4) return std::nullopt;
      numbers.push_back(&t);
    } else if (t.kind == Kind::Word) {
      if (int m = monthOf(words, t.word); m && !month) {
        month = m;
        monthAt = numbers.size();
      } else if (!contains(words.weekdays, t.word)) {
        return std::nullopt;
      }
    } else if (t.kind == Kind::Colon) {
      return std::nullopt;
    }
  }
  if (numbers.empty() && !month) {
    if (!hasTime) return std::nullopt;
    return result;  // a time alone: the caller dates it
  }

  int year = 0, day = 0;
  if (month) {
    if (numbers.size() == 1) {
      if (yearLike(*numbers[0])) {
        year = fullYear(*numbers[0]);
        day = 1;
      } else {
        day = static_cast<int>(numbers[0]->value);
        year = currentYear;
      }
    } else if (numbers.size() == 2) {
      bool firstIsYear = numbers[0]->digits > 2 ||
                         (!yearLike(*numbers[1]) && words.order == DateOrder::YearMonthDay && monthAt == 1);
      const Token& y = firstIsYear ? *numbers[0] : *numbers[1];
      const Token& d = firstIsYear ? *numbers[1] : *numbers[0];
      if (d.digits > 2) return std::nullopt;
      year = fullYear(y);
      day = static_cast<int>(d.value);
    } else {
      return std::nullopt;
    }
  } else if (numbers.size() == 2) {
    const Token& a = *numbers[0];
    const Token& b = *numbers[1];
    if (a.digits > 2 || b.digits > 2) {
      const Token& y = a.digits > 2 ? a : b;
      const Token& m = a.digits > 2 ? b : a;
      year = fullYear(y);
      month = static_cast<int>(m.value);
      day = 1;
    } else {
      year = currentYear;
      bool dayFirst = words.order == DateOrder::DayMonthYear;
      day = static_cast<int>((dayFirst ? a : b).value);
      month = static_cast<int>((dayFirst ? b : a).value);
      if (!validDate(year, month, day) && validDate(year, day, month)) std::swap(day, month);
    }
  } else if (numbers.size() == 3) {
    const Token& a = *numbers[0];
    const Token& b = *numbers[1];
    const Token& c = *numbers[2];
    DateOrder order = words.order;
    if (a.digits > 2)
      order = DateOrder::YearMonthDay;
    else if (order == DateOrder::YearMonthDay)
      order = DateOrder::MonthDayYear;  // the year comes last: month still before day
    if (order == DateOrder::YearMonthDay) {
      year = fullYear(a);
      month = static_cast<int>(b.value);
      day = static_cast<int>(c.value);
    } else {
      if (a.digits > 2 || b.digits > 2) return std::nullopt;
      year = fullYear(c);
      bool dayFirst = order == DateOrder::DayMonthYear;
      day = static_cast<int>((dayFirst ? a : b).value);
      month = static_cast<int>((dayFirst ? b : a).value);
      if (!validDate(year, month, day) && validDate(year, day, month)) std::swap(day, month);
    }
  } else {
    return std::nullopt;
  }
  if (!validDate(year, month, day)) return std::nullopt;
  result.year = year;
  result.month = month;
  result.day = day;
  return result;
}

}  // namespace Halvex::Tessaran::PAL::detail
