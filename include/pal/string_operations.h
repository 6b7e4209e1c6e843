// Wide-string operations: case mapping with and without language rules,
// width folding, removal of accents, locale collation, natural ("logical") comparison and character
// classification.
//
// Differences on Linux from what a Windows caller expects:
// - Wide text is UTF-32. A value that is no Unicode scalar value (a
//   surrogate, or above U+10FFFF) is read as U+FFFD and written as U+FFFD
//   by the mapping functions.
// - Case mapping uses Unicode's one-to-one (simple) mappings, so lengths
//   never change and ß stays ß. The language-sensitive calls add the Turkic
//   rules for tr and az (i and I with and without dot). Lithuanian's rules
//   all add or remove a combining dot above, which a one-to-one mapping
//   cannot do, so Lithuanian maps as other languages do.
// - Accents are removed with Unicode's canonical decomposition. Width is
//   folded with ICU's full-width to half-width transliteration.
// - compareString collates with ICU in the locale's language and country.
//   Ignoring case folds both texts case by case before comparing, so width
//   still counts unless ignored too. Without string sort (the default word
//   sort) all spaces and punctuation weigh only when nothing else differs,
//   where Windows gives that treatment to the hyphen and the apostrophe.
// - compareNatural compares runs of ASCII digits by value (any length, no
//   overflow; equal values with more leading zeros sort first when nothing
//   else differs) and the rest by case-folded code point.
// - getStringType takes its classes from Unicode properties: upper and
//   lower case letters, decimal digits, White_Space, punctuation and
//   symbols, control and format characters, blanks, hexadecimal digits
//   (ASCII and full-width), Alphabetic, and every assigned code point as
//   defined.
#pragma once

#include <string>
#include <vector>

#include "pal/export.h"
#include "pal/locale.h"

namespace Halvex::Tessaran::PAL::String {

enum CharacterTypes : unsigned short {
  C1_UPPER = 0x0001,
  C1_LOWER = 0x0002,
  C1_DIGIT = 0x0004,
  C1_SPACE = 0x0008,
  C1_PUNCT = 0x0010,
  C1_CNTRL = 0x0020,
  C1_BLANK = 0x0040,
  C1_XDIGIT = 0x0080,
  C1_ALPHA = 0x0100,
  C1_DEFINED = 0x0200,
};

// In place; the length plus one (0 for a null text).
PAL_EXPORT int toUpperLanguageInsensitive(wchar_t* text);
PAL_EXPORT int toLowerLanguageInsensitive(wchar_t* text);
PAL_EXPORT std::wstring toUpperLanguageSensitive(const KvLocale& locale, const wchar_t* text);
PAL_EXPORT std::wstring toLowerLanguageSensitive(const KvLocale& locale, const wchar_t* text);
// Full-width forms folded to half-width ones; the locale plays no part.
PAL_EXPORT std::wstring toHalfWidth(const KvLocale& locale, const wchar_t* text);
PAL_EXPORT std::wstring convertAccentedCharToBase(const wchar_t* text);
// -1, 0 or 1; -1 also when the comparison fails. Flags: 1 ignore case,
// 2 string sort, 4 ignore width.
PAL_EXPORT int compareString(const KvLocale& locale, const wchar_t* a, const wchar_t* b, int flags);
// Negative, 0 or positive.
PAL_EXPORT int compareNatural(const wchar_t* a, const wchar_t* b);
// One entry per character and a final 0; empty for an empty text.
PAL_EXPORT std::vector<CharacterTypes> getStringType(const wchar_t* text);

}  // namespace Halvex::Tessaran::PAL::String
