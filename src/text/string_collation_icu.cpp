// Locale collation and width folding with ICU: collators opened once per
// locale and flag set and kept until the process ends.
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/utf16.h>
#include <unicode/utrans.h>

#include <cwchar>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "base/utf16.h"
#include "pal/string_operations.h"
#include "text/unicode_scalar.h"

namespace Halvex::Tessaran::PAL::String {

namespace {

constexpr int kIgnoreCase = 1, kStringSort = 2, kIgnoreWidth = 4;

// Full-width forms to half-width ones, katakana included (a voiced kana
// becomes the kana and a separate sound mark). ICU's transliterators are
// not shared between threads here: one lock covers its use.
class WidthFolder {
 public:
  WidthFolder() {
    UErrorCode status = U_ZERO_ERROR;
    m_trans = utrans_openU(u"Fullwidth-Halfwidth", -1, UTRANS_FORWARD, nullptr, 0, nullptr, &status);
    if (U_FAILURE(status)) m_trans = nullptr;
  }
  ~WidthFolder() {
    if (m_trans) utrans_close(m_trans);
  }

  bool fold(std::u16string& text) {
    if (!m_trans) return false;
    std::lock_guard lock(m_mutex);
    int32_t length = static_cast<int32_t>(text.size());
    int32_t limit = length;
    // Folding never lengthens text by more than one unit per unit.
    text.resize(text.size() * 2 + 1);
    UErrorCode status = U_ZERO_ERROR;
    utrans_transUChars(m_trans, text.data(), &length, static_cast<int32_t>(text.size()), 0, &limit, &status);
    if (U_FAILURE(status)) return false;
    text.resize(length);
    return true;
  }

 private:
  std::mutex m_mutex;
  UTransliterator* m_trans = nullptr;
};

WidthFolder& widthFolder() {
  static WidthFolder folder;
  return folder;
}

struct CollatorDeleter {
  void operator()(UCollator* c) const { ucol_close(c); }
};

// Collators answer concurrent comparisons; only the table needs the lock.
const UCollator* openCollator(const std::string& locale, int flags) {
  static std::mutex mutex;
  static std::map<std::pair<std::string, int>, std::unique_ptr<UCollator, CollatorDeleter>> collators;
  std::lock_guard lock(mutex);
  auto& slot = collators[{locale, flags}];
  if (!slot) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open(locale.c_str(), &status);
    if (U_FAILURE(status)) return nullptr;
    // Word sort: punctuation and spaces weigh only when nothing else
    // differs, so co-op sorts beside coop without equalling it.
    if (!(flags & kStringSort)) {
      ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_SHIFTED, &status);
      ucol_setAttribute(c, UCOL_STRENGTH, UCOL_QUATERNARY, &status);
    }
    if (U_FAILURE(status)) {
      ucol_close(c);
      return nullptr;
    }
    slot.reset(c);
  }
  return slot.get();
}

std::string icuLocaleName(const wchar_t* language, const wchar_t* country) {
  std::string name;
  for (const wchar_t* p = language; *p; ++p) name += static_cast<char>(*p & 0x7F);
  if (country && *country) {
    name += '_';
    for (const wchar_t* p = country; *p; ++p) name += static_cast<char>(*p & 0x7F);
  }
  return name;
}

// Each thread remembers the collator it used last, so that a run of
// comparisons in one locale builds no name and takes no lock.
const UCollator* collator(const KvLocale& locale, int flags) {
  thread_local struct {
    std::wstring language, country;
    int flags = -1;
    const UCollator* collator = nullptr;
  } last;
  const wchar_t* language = locale.iso2LangName();
  const wchar_t* country = locale.iso2CountryName() ? locale.iso2CountryName() : L"";
  if (last.collator && last.flags == flags && last.language == language && last.country == country)
    return last.collator;
  const UCollator* c = openCollator(icuLocaleName(language, country), flags);
  if (c) last = {language, country, flags, c};
  return c;
}

// Short texts go to UTF-16 on the stack; only long ones allocate.
class Utf16Text {
 public:
  explicit Utf16Text(std::wstring_view text) {
    // At most two units per character.
    size_t units = text.size() * 2;
    if (units > kInline) m_heap.resize(units);
    UChar* out = units > kInline ? reinterpret_cast<UChar*>(m_heap.data()) : m_inline;
    int32_t at = 0;
    for (wchar_t c : text) U16_APPEND_UNSAFE(out, at, detail::unicodeScalar(c));
    m_data = out;
    m_size = at;
  }
  const UChar* data() const { return m_data; }
  int32_t size() const { return m_size; }

 private:
  static constexpr size_t kInline = 128;
  UChar m_inline[kInline];
  std::u16string m_heap;
  const UChar* m_data;
  int32_t m_size;
};

// The text as UTF-16, case-folded and width-folded as the flags ask.
bool prepare(const wchar_t* text, int flags, std::u16string& out) {
  std::wstring folded;
  std::wstring_view view(text);
  if (flags & kIgnoreCase) {
    folded.reserve(view.size());
    for (wchar_t c : view)
      folded += static_cast<wchar_t>(u_foldCase(detail::unicodeScalar(c), U_FOLD_CASE_DEFAULT));
    view = folded;
  }
  out = detail::wideToUtf16(view);
  return !(flags & kIgnoreWidth) || widthFolder().fold(out);
}

}  // namespace

std::wstring toHalfWidth(const KvLocale& /*locale*/, const wchar_t* text) {
  if (!text) return {};
  std::u16string units = detail::wideToUtf16(text);
  if (!widthFolder().fold(units)) return {};
  return detail::utf16ToWide(units);
}

int compareString(const KvLocale& locale, const wchar_t* a, const wchar_t* b, int flags) {
  if (!a || !b || !locale.iso2LangName()) return -1;
  flags &= kIgnoreCase | kStringSort | kIgnoreWidth;
  const UCollator* c = collator(locale, flags);
  if (!c) return -1;
  if (!flags || flags == kStringSort) {
    Utf16Text x(a), y(b);
    return ucol_strcoll(c, x.data(), x.size(), y.data(), y.size());
  }
  std::u16string x, y;
  if (!prepare(a, flags, x) || !prepare(b, flags, y)) return -1;
  return ucol_strcoll(c, x.data(), static_cast<int32_t>(x.size()), y.data(), static_cast<int32_t>(y.size()));
}

}  // namespace Halvex::Tessaran::PAL::String
