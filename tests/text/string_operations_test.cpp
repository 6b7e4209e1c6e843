// Case mapping, accent removal, natural comparison and character classes.
#include "pal/string_operations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::String;

TEST(StringCase, LanguageInsensitiveInPlace) {
  struct Case {
    const wchar_t* text;
    const wchar_t* upper;
    const wchar_t* lower;
  };
  const Case kCases[] = {
      {L"abc", L"ABC", L"abc"},
      {L"", L"", L""},
      {L"Stra\u00DFe", L"STRA\u00DFE", L"stra\u00DFe"},  // one to one: ß stays
      {L"i\u0131I\u0130", L"III\u0130", L"i\u0131ii"},
      {L"\u03A3\u03C3\u03C2", L"\u03A3\u03A3\u03A3", L"\u03C3\u03C3\u03C2"},
      {L"\uFB01x\U0001D400\U00010428", L"\uFB01X\U0001D400\U00010400", L"\uFB01x\U0001D400\U00010428"},
      {L"\xD800z", L"\uFFFDZ", L"\uFFFDz"},
  };
  for (const Case& c : kCases) {
    std::wstring up = c.text, down = c.text;
    EXPECT_EQ(toUpperLanguageInsensitive(up.data()), static_cast<int>(up.size()) + 1);
    EXPECT_EQ(up, c.upper);
    EXPECT_EQ(toLowerLanguageInsensitive(down.data()), static_cast<int>(down.size()) + 1);
    EXPECT_EQ(down, c.lower);
  }
  std::wstring beyond = {L'a', static_cast<wchar_t>(0x110000), L'b'};
  EXPECT_EQ(toUpperLanguageInsensitive(beyond.data()), 4);
  EXPECT_EQ(beyond, L"A\uFFFDB");
  EXPECT_EQ(toUpperLanguageInsensitive(nullptr), 0);
}

TEST(StringCase, LanguageSensitive) {
  struct Case {
    const wchar_t* language;
    const wchar_t* country;
    const wchar_t* text;
    const wchar_t* upper;
    const wchar_t* lower;
  };
  const Case kCases[] = {
      {L"en", L"US", L"iI\u0131\u0130", L"III\u0130", L"ii\u0131i"},
      {L"tr", L"TR", L"iI\u0131\u0130", L"\u0130II\u0130", L"i\u0131\u0131i"},
      {L"az", L"AZ", L"istanbul", L"\u0130STANBUL", L"istanbul"},
      {L"de", L"DE", L"Gr\u00FC\u00DFe", L"GR\u00DC\u00DFE", L"gr\u00FC\u00DFe"},
      // Lithuanian's dot above would change the length: one to one as others.
      {L"lt", L"LT", L"\u00CCi", L"\u00CCI", L"\u00ECi"},
  };
  for (const Case& c : kCases) {
    KvLocale locale(c.language, c.country);
    EXPECT_EQ(toUpperLanguageSensitive(locale, c.text), c.upper) << c.language;
    EXPECT_EQ(toLowerLanguageSensitive(locale, c.text), c.lower) << c.language;
  }
  EXPECT_EQ(toUpperLanguageSensitive(KvLocale(L"tr", L"TR"), nullptr), L"");
}

TEST(StringAccents, BaseCharacters) {
  struct Case {
    std::wstring text;
    std::wstring expected;
  };
  std::wstring longTail(5000, L'x');
  const Case kCases[] = {
      {L"\u00E9" + longTail, L"e" + longTail},
      {L"caf\u00E9 na\u00EFve \u00C5ngstr\u00F6m", L"cafe naive Angstrom"},
      {L"plain text", L"plain text"},
      {L"", L""},
      {L"\u1EC7", L"e"},              // two marks
      {L"\uAC00", L"\u1100"},         // Hangul syllables decompose into jamo
      {L"e\u0301", L"e\u0301"},       // already decomposed: nothing grows
      {L"\u2126", L"\u2126"},         // a singleton alone does not lengthen the text
      {L"\u2126\u00E9", L"\u03A9e"},  // but maps once something else does
      {L"\U0001D15E", L"\U0001D157"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(convertAccentedCharToBase(c.text.c_str()), c.expected) << testing::PrintToString(c.text);
  EXPECT_EQ(convertAccentedCharToBase(nullptr), L"");
}

TEST(StringNatural, Order) {
  // Each row sorts strictly before the next.
  const wchar_t* kOrder[] = {
      L"",
      L"1",
      L"01a",
      L"1a",
      L"2",
      L"10",
      L"file",
      L"file1",
      L"File2",
      L"file10",
      L"file10b",
      L"file0000000000000000000000000000000000099",
      L"file18446744073709551616",
      L"file18446744073709551617",
      L"file99999999999999999999999",
      L"x",
  };
  for (size_t i = 0; i < std::size(kOrder); ++i) {
    EXPECT_EQ(compareNatural(kOrder[i], kOrder[i]), 0) << i;
    for (size_t j = i + 1; j < std::size(kOrder); ++j) {
      EXPECT_LT(compareNatural(kOrder[i], kOrder[j]), 0) << i << " " << j;
      EXPECT_GT(compareNatural(kOrder[j], kOrder[i]), 0) << i << " " << j;
    }
  }
  EXPECT_EQ(compareNatural(L"FILE7", L"file7"), 0);
  EXPECT_EQ(compareNatural(nullptr, L""), 0);
  EXPECT_LT(compareNatural(nullptr, L"a"), 0);
}

TEST(StringTypes, UnicodeClasses) {
  EXPECT_TRUE(getStringType(L"").empty());
  EXPECT_TRUE(getStringType(nullptr).empty());
  std::vector<CharacterTypes> a1 = getStringType(L"A1");
  ASSERT_EQ(a1.size(), 3u);
  EXPECT_EQ(a1[0], C1_UPPER | C1_XDIGIT | C1_ALPHA | C1_DEFINED);
  EXPECT_EQ(a1[1], C1_DIGIT | C1_XDIGIT | C1_DEFINED);
  EXPECT_EQ(a1[2], 0);

  struct Case {
    wchar_t c;
    unsigned types;
  };
  const Case kCases[] = {
      {L'a', C1_LOWER | C1_XDIGIT | C1_ALPHA | C1_DEFINED},
      {L'g', C1_LOWER | C1_ALPHA | C1_DEFINED},
      {L' ', C1_SPACE | C1_BLANK | C1_DEFINED},
      {L'\t', C1_SPACE | C1_CNTRL | C1_BLANK | C1_DEFINED},
      {L'\n', C1_SPACE | C1_CNTRL | C1_DEFINED},
      {L'!', C1_PUNCT | C1_DEFINED},
      {L'+', C1_PUNCT | C1_DEFINED},
      {L'\u00E9', C1_LOWER | C1_ALPHA | C1_DEFINED},
      {L'\u4E2D', C1_ALPHA | C1_DEFINED},
      {L'\uFF21', C1_UPPER | C1_XDIGIT | C1_ALPHA | C1_DEFINED},
      {L'\u0663', C1_DIGIT | C1_DEFINED},
      {L'\u200B', C1_CNTRL | C1_DEFINED},
      {L'\u0378', 0},                                         // unassigned
      {static_cast<wchar_t>(0xDC00), C1_PUNCT | C1_DEFINED},  // read as U+FFFD
      {static_cast<wchar_t>(0x7FFFFFFF), C1_PUNCT | C1_DEFINED},
  };
  for (const Case& c : kCases) {
    const wchar_t text[] = {c.c, 0};
    std::vector<CharacterTypes> types = getStringType(text);
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0], c.types) << std::hex << static_cast<unsigned>(c.c);
  }
}

}  // namespace

namespace {

TEST(StringWidth, FullWidthToHalfWidth) {
  struct Case {
    std::wstring text;
    std::wstring expected;
  };
  const Case kCases[] = {
      {L"\uFF21\uFF22\uFF23\uFF11\uFF12\uFF13", L"ABC123"},
      {L"a\u3000b", L"a b"},
      {L"\u30AB\u30BF\u30AB\u30CA", L"\uFF76\uFF80\uFF76\uFF85"},
      {L"\u30AC", L"\uFF76\uFF9E"},  // the voiced kana becomes two characters
      {L"\u3072\u3089\u304C\u306A", L"\u3072\u3089\u304C\u306A"},
      {L"plain", L"plain"},
      {L"\uFFE5", L"\u00A5"},
      {L"", L""},
      {std::wstring{L'a', static_cast<wchar_t>(0xD800), L'\uFF42'}, L"a\uFFFDb"},
  };
  KvLocale japanese(L"ja", L"JP");
  for (const Case& c : kCases)
    EXPECT_EQ(toHalfWidth(japanese, c.text.c_str()), c.expected) << testing::PrintToString(c.text);
  EXPECT_EQ(toHalfWidth(japanese, nullptr), L"");
}

TEST(StringCollation, FlagsAndLocales) {
  struct Case {
    const wchar_t* language;
    const wchar_t* country;
    const wchar_t* a;
    const wchar_t* b;
    int flags;
    int expected;
  };
  const Case kCases[] = {
      {L"en", L"US", L"ABC", L"abc", 1, 0},
      {L"en", L"US", L"ABC", L"abc", 0, 1},
      {L"en", L"US", L"abc", L"ABC", 0, -1},
      {L"en", L"US", L"a", L"b", 0, -1},
      {L"en", L"US", L"b", L"a", 0, 1},
      {L"en", L"US", L"same", L"same", 0, 0},
      {L"en", L"US", L"", L"a", 0, -1},
      // Word sort sets punctuation aside; string sort weighs it first.
      {L"en", L"US", L"co-op", L"coo", 0, 1},
      {L"en", L"US", L"co-op", L"coo", 2, -1},
      {L"en", L"US", L"co-op", L"cop", 0, -1},
      // Width counts unless ignored, also when case is ignored.
      {L"en", L"US", L"\uFF21\uFF22\uFF23", L"ABC", 0, 1},
      {L"en", L"US", L"\uFF21\uFF22\uFF23", L"ABC", 4, 0},
      {L"en", L"US", L"\uFF21\uFF22\uFF23", L"abc", 1, 1},
      {L"en", L"US", L"\uFF21\uFF22\uFF23", L"abc", 5, 0},
      {L"ja", L"JP", L"\u30AB", L"\uFF76", 4, 0},
      {L"en", L"US", L"ABC", L"abc", 8 | 1, 0},  // unknown bits are ignored
      // The locale's own order: ö after z in Swedish, beside o in German.
      {L"sv", L"SE", L"\u00F6", L"z", 0, 1},
      {L"de", L"DE", L"\u00F6", L"z", 0, -1},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(compareString(KvLocale(c.language, c.country), c.a, c.b, c.flags), c.expected)
        << c.language << " " << testing::PrintToString(std::wstring(c.a)) << " "
        << testing::PrintToString(std::wstring(c.b)) << " " << c.flags;
  // The word-sort pair differs, though only by its hyphen.
  EXPECT_NE(compareString(KvLocale(L"en", L"US"), L"coop", L"co-op", 0), 0);
  EXPECT_EQ(compareString(KvLocale(L"en", L"US"), nullptr, L"a", 0), -1);
  EXPECT_EQ(compareString(KvLocale(L"en", L"US"), L"a", nullptr, 0), -1);
}

}  // namespace
