// Case mapping, accent removal and character classes from ICU's Unicode
// properties.
#include <unicode/uchar.h>
#include <unicode/unorm2.h>

#include <cwchar>
#include <string_view>

#include "pal/string_operations.h"
#include "text/unicode_scalar.h"

namespace Halvex::Tessaran::PAL::String {

namespace {

UChar32 scalar(wchar_t c) {
  return static_cast<UChar32>(detail::unicodeScalar(c));
}

bool isTurkic(const KvLocale& locale) {
  const wchar_t* language = locale.iso2LangName();
  if (!language) return false;
  std::wstring_view l(language);
  return l == L"tr" || l == L"TR" || l == L"az" || l == L"AZ";
}

// ASCII, the bulk of most texts, maps without a call into ICU.
wchar_t upper(UChar32 c, bool turkic) {
  if (c < 0x80) {
    if (c < 'a' || c > 'z') return static_cast<wchar_t>(c);
    return turkic && c == 'i' ? L'\u0130' : static_cast<wchar_t>(c - 0x20);
  }
  return static_cast<wchar_t>(u_toupper(c));
}

wchar_t lower(UChar32 c, bool turkic) {
  if (c < 0x80) {
    if (c < 'A' || c > 'Z') return static_cast<wchar_t>(c);
    return turkic && c == 'I' ? L'\u0131' : static_cast<wchar_t>(c + 0x20);
  }
  return static_cast<wchar_t>(u_tolower(c));
}

template <typename Map>
std::wstring mapped(const wchar_t* text, Map map) {
  std::wstring out;
  if (!text) return out;
  out.resize(std::wcslen(text));
  for (wchar_t& c : out) c = map(scalar(*text++));
  return out;
}

template <typename Map>
int mapInPlace(wchar_t* text, Map map) {
  if (!text) return 0;
  wchar_t* p = text;
  for (; *p; ++p) *p = map(scalar(*p));
  return static_cast<int>(p - text) + 1;
}

}  // namespace

int toUpperLanguageInsensitive(wchar_t* text) {
  return mapInPlace(text, [](UChar32 c) { return upper(c, false); });
}

int toLowerLanguageInsensitive(wchar_t* text) {
  return mapInPlace(text, [](UChar32 c) { return lower(c, false); });
}

std::wstring toUpperLanguageSensitive(const KvLocale& locale, const wchar_t* text) {
  bool turkic = isTurkic(locale);
  return mapped(text, [turkic](UChar32 c) { return upper(c, turkic); });
}

std::wstring toLowerLanguageSensitive(const KvLocale& locale, const wchar_t* text) {
  bool turkic = isTurkic(locale);
  return mapped(text, [turkic](UChar32 c) { return lower(c, turkic); });
}

std::wstring convertAccentedCharToBase(const wchar_t* text) {
  if (!text) return {};
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
  if (U_FAILURE(status)) return text;
  // A character's decomposition: its base character first, then the marks.
  auto decompose = [nfd](UChar32 c, UChar32& base) {
    UChar buffer[32];
    UErrorCode err = U_ZERO_ERROR;
    int32_t length = unorm2_getDecomposition(nfd, c, buffer, 32, &err);
    if (U_FAILURE(err) || length <= 0) return 0;
    int32_t at = 0;
    U16_NEXT(buffer, at, length, base);
    int32_t count = 1;
    while (at < length) {
      UChar32 ignored;
      U16_NEXT(buffer, at, length, ignored);
      ++count;
    }
    return static_cast<int>(count);
  };
  // Nothing longer once decomposed: the text comes back as it is.
  size_t decomposedLength = 0, length = 0;
  for (const wchar_t* p = text; *p; ++p, ++length) {
    UChar32 base;
    int count = decompose(scalar(*p), base);
    decomposedLength += count ? count : 1;
  }
  if (decomposedLength <= length) return mapped(text, [](UChar32 c) { return static_cast<wchar_t>(c); });
  return mapped(text, [&](UChar32 c) {
    UChar32 base = c;
    decompose(c, base);
    return static_cast<wchar_t>(base);
  });
}

std::vector<CharacterTypes> getStringType(const wchar_t* text) {
  std::vector<CharacterTypes> types;
  if (!text || !*text) return types;
  types.assign(std::wcslen(text) + 1, CharacterTypes{});
  for (size_t i = 0; text[i]; ++i) {
    UChar32 c = scalar(text[i]);
    unsigned bits = 0;
    int8_t category = u_charType(c);
    if (category == U_UPPERCASE_LETTER) bits |= C1_UPPER;
    if (category == U_LOWERCASE_LETTER) bits |= C1_LOWER;
    if (category == U_DECIMAL_DIGIT_NUMBER) bits |= C1_DIGIT;
    if (u_isUWhiteSpace(c)) bits |= C1_SPACE;
    if (U_GET_GC_MASK(c) & (U_GC_P_MASK | U_GC_S_MASK)) bits |= C1_PUNCT;
    if (category == U_CONTROL_CHAR || category == U_FORMAT_CHAR) bits |= C1_CNTRL;
    if (u_isblank(c)) bits |= C1_BLANK;
    if (u_isxdigit(c) && (c < 0x80 || (c >= 0xFF10 && c <= 0xFF46))) bits |= C1_XDIGIT;
    if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) bits |= C1_ALPHA;
    if (category != U_UNASSIGNED) bits |= C1_DEFINED;
    types[i] = static_cast<CharacterTypes>(bits);
  }
  return types;
}

}  // namespace Halvex::Tessaran::PAL::String
