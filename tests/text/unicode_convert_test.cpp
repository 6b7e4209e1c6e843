// Code-page ids, the UTF-8 and code page conversions and the UTF-16 helpers.
#include "pal/unicode_convert.h"

#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/utf16.h"
#include "text/icu_code_page.h"

using namespace Halvex::Tessaran::PAL::UnicodeConvert;
using Halvex::Tessaran::PAL::UnicodeConvert::WideCharToUtf16Helper;

namespace {

code_page_id id(int v) {
  return static_cast<code_page_id>(v);
}
int idOf(code_page_id_ex c) {
  return static_cast<code_page_id>(c);
}
unsigned cpOf(code_page_id_ex c) {
  return static_cast<unsigned>(c);
}

std::wstring wide(std::initializer_list<uint32_t> units) {
  std::wstring s;
  for (uint32_t u : units) s.push_back(static_cast<wchar_t>(u));
  return s;
}

std::string hex(const std::string& bytes) {
  std::string s;
  char buf[4];
  for (unsigned char b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", b);
    s += buf;
  }
  return s;
}

}  // namespace

TEST(CodePageId, ReverseLookupAndValidity) {
  struct Case {
    unsigned codePage;
    int id;  // expected id field
    bool valid;
  } cases[] = {
      {0, 0, true},      {1252, 30, true},   {1250, 28, true},
      {1253, 32, true},  {1254, 33, true},   {932, 38, true},
      {936, 39, true},   {949, 40, true},    {950, 41, true},
      {1361, 42, true},  {437, 11, true},    {866, 27, true},
      {1251, 29, true},  {1200, 43, true},   {1258, 44, true},
      {65001, 45, true}, {54936, 45, true},  {28591, 45, true},
      {20866, 45, true}, {12345, -1, false}, {0xFFFFFFFF, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    code_page_id_ex ex(c.codePage);
    EXPECT_EQ(idOf(ex), c.id);
    EXPECT_EQ(ex.isValid(), c.valid);
    // The code page converted with: the raw one for 45 and -1, else the
    // table entry, which equals the raw one by construction of the lookup.
    EXPECT_EQ(cpOf(ex), c.codePage);
  }
}

TEST(CodePageId, FromIdAndFallbackEntry) {
  struct Case {
    int id;
    int exId;
    unsigned codePage;  // operator unsigned int
    unsigned fromId;    // winCodePageFromId
  } cases[] = {
      {2, 2, 1252, 1252}, {22, 22, 932, 932}, {43, 43, 1200, 1200}, {44, 44, 1258, 1258}, {23, 23, 0, 0},
      {0, 0, 0, 0},       {99, 45, 0, 1252},  {45, 45, 0, 1252},    {-1, 45, 0, 1252},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    code_page_id_ex ex(id(c.id));
    EXPECT_EQ(idOf(ex), c.exId);
    EXPECT_EQ(cpOf(ex), c.codePage);
    EXPECT_TRUE(ex.isValid());
    EXPECT_EQ(winCodePageFromId(id(c.id)), c.fromId);
  }
}

TEST(CodePageId, CanInterpretEncodingThroughItsCache) {
  // Alternating ids: a cache that kept an answer for the wrong id shows here.
  struct Case {
    int id;
    bool answer;
  } sequence[] = {
      {22, true}, {22, true},  {0, false}, {22, true},  {1, false}, {23, false}, {2, true},  {45, false},
      {2, true},  {-1, false}, {43, true}, {99, false}, {43, true}, {4, false},  {4, false}, {42, true},
  };
  for (const auto& c : sequence) EXPECT_EQ(canInterpretEncoding(id(c.id)), c.answer) << c.id;
  for (int i = 0; i < 45; ++i)
    EXPECT_EQ(canInterpretEncoding(id(i)), winCodePageFromId(id(i)) != 0) << "id " << i;
}

TEST(Utf8, Decode) {
  struct Case {
    const char* in;
    std::wstring out;
  } cases[] = {
      {"", L""},
      {"plain", L"plain"},
      {"h\xC3\xA9", L"h\u00e9"},
      {"\xE4\xB8\xAD\xE6\x96\x87", L"\u4e2d\u6587"},
      {"\xF0\x9F\x98\x80", wide({0x1F600})},
      {"\xF4\x8F\xBF\xBF", wide({0x10FFFF})},
      {"\xEF\xBB\xBFx", L"\uFEFFx"},  // a byte-order mark is a character
      // One U+FFFD per maximal ill-formed subpart.
      {"a\xF1\x80\x80\xE1\x80\xC2"
       "b\x80"
       "c\x80\xBF"
       "d",
       L"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
      {"\xC0\x80", L"\uFFFD\uFFFD"},  // overlong NUL
      {"\xC1\xBF", L"\uFFFD\uFFFD"},
      {"\xE0\x80\x80", L"\uFFFD\uFFFD\uFFFD"},  // overlong 3-byte
      {"\xE0\x9F\xBF", L"\uFFFD\uFFFD\uFFFD"},
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xF0\x80\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xF5\x80", L"\uFFFD\uFFFD"},
      {"\xFF"
       "a",
       L"\uFFFDa"},
      {"\xE2\x82", L"\uFFFD"},  // truncated at the end
      {"\xF0\x9F\x98", L"\uFFFD"},
      {"\xE2\x82"
       "a",
       L"\uFFFDa"},  // truncated before ASCII
      {"\xF0\x9F\xE2\x82\xAC", L"\uFFFD\u20AC"},
      {"x\0y", L"x"},  // stops at the first zero
  };
  for (const auto& c : cases) {
    std::wstring out = L"stale";
    EXPECT_TRUE(utf8ToWideChar(c.in, out));
    EXPECT_EQ(out, c.out) << hex(c.in);
  }
}

TEST(Utf8, Encode) {
  struct Case {
    std::wstring in;
    std::string out;
  } cases[] = {
      {L"", ""},
      {L"plain", "plain"},
      {wide({0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {wide({0x10000, 0x10FFFF}), "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {wide({0xD800}), "\xEF\xBF\xBD"},  // lone surrogates
      {wide({'a', 0xDFFF, 'b'}),
       "a\xEF\xBF\xBD"
       "b"},
      {wide({0xD83D, 0xDE00}), "\xEF\xBF\xBD\xEF\xBF\xBD"},  // UTF-16 pair in UTF-32 text
      {wide({0x110000, 0x7FFFFFFF, 0xFFFFFFFF}), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    EXPECT_TRUE(wideCharToUtf8(c.in.c_str(), out));
    EXPECT_EQ(hex(out), hex(c.out));
  }
}

TEST(Utf8, VectorPathBoundaries) {
  // A non-ASCII character at every offset around the 16-unit vector steps,
  // in long ASCII runs, both ways.
  for (size_t length : {15, 16, 17, 31, 32, 33, 64, 100}) {
    for (size_t at = 0; at < length; ++at) {
      std::string utf8(length, 'k');
      std::wstring utf32(length, L'k');
      utf8.replace(at, 1, "\xC3\xA9");
      utf32[at] = L'\u00e9';
      std::wstring w;
      std::string s;
      ASSERT_TRUE(utf8ToWideChar(utf8.c_str(), w));
      ASSERT_EQ(w, utf32) << length << " " << at;
      ASSERT_TRUE(wideCharToUtf8(utf32.c_str(), s));
      ASSERT_EQ(s, utf8) << length << " " << at;
    }
  }
}

TEST(Utf8, RunsAroundOtherSequences) {
  // Runs of one base take the grouped vector paths; each insert, at every
  // offset, must come out as the scalar rules say.
  struct Base {
    std::string utf8;
    std::wstring wide;
  } bases[] = {
      {"\xE4\xB8\xAD", L"\u4e2d"},  // three bytes
      {"\xC3\xA9", L"\u00e9"},      // two bytes
      {"\xD0\x96"
       "a",
       L"\u0416a"},  // two and one
      {"\xDF\xBF", L"\u07ff"},
  };
  struct Insert {
    std::string utf8;
    std::wstring wide;
    bool wellFormed;
  } inserts[] = {
      {"a", L"a", true},
      {"\xC3\xA9", L"\u00e9", true},
      {"\xEF\xBF\xBF", L"\uFFFF", true},
      {"\xE0\xA0\x80", L"\u0800", true},
      {"\xF0\x9F\x98\x80", wide({0x1F600}), true},
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD", false},  // surrogate
      {"\xE0\x9F\xBF", L"\uFFFD\uFFFD\uFFFD", false},  // overlong
      {"\xC1\xBF", L"\uFFFD\uFFFD", false},            // overlong
      {"\xE4\xB8", L"\uFFFD", false},                  // truncated
      {"\xC3", L"\uFFFD", false},
      {"\x80", L"\uFFFD", false},
      {"\xFE", L"\uFFFD", false},
  };
  const size_t run = 24;
  for (const auto& base : bases) {
    for (const auto& ins : inserts) {
      for (size_t at = 0; at <= run; ++at) {
        std::string utf8;
        std::wstring utf32;
        for (size_t k = 0; k <= run; ++k) {
          if (k == at) utf8 += ins.utf8, utf32 += ins.wide;
          if (k < run) utf8 += base.utf8, utf32 += base.wide;
        }
        std::wstring w;
        ASSERT_TRUE(utf8ToWideChar(utf8.c_str(), w));
        ASSERT_EQ(w, utf32) << hex(base.utf8) << "+ " << hex(ins.utf8) << " at " << at;
        std::string s;
        ASSERT_TRUE(wideCharToUtf8(utf32.c_str(), s));
        if (ins.wellFormed) {
          ASSERT_EQ(s, utf8) << hex(base.utf8) << "+ " << hex(ins.utf8) << " at " << at;
        }
      }
    }
    // Values the encoder must replace, inside the same runs.
    for (uint32_t bad : {0xD800u, 0xDFFFu, 0x110000u, 0x80000000u}) {
      for (size_t at = 0; at < run; ++at) {
        std::wstring in;
        std::string expected;
        for (size_t k = 0; k < run; ++k) {
          in += k == at ? std::wstring(1, static_cast<wchar_t>(bad)) : base.wide;
          expected += k == at ? "\xEF\xBF\xBD" : base.utf8;
        }
        std::string s;
        ASSERT_TRUE(wideCharToUtf8(in.c_str(), s));
        ASSERT_EQ(hex(s), hex(expected)) << std::hex << bad << " at " << at;
      }
    }
  }
}

TEST(Utf8, EveryScalarValueAgreesWithIcu) {
  std::wstring all;
  for (uint32_t c = 1; c <= 0x10FFFF; ++c)
    if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<wchar_t>(c));
  std::u16string utf16 = Halvex::Tessaran::PAL::detail::wideToUtf16(all);
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = 0;
  std::string reference(utf16.size() * 3, '\0');
  u_strToUTF8(reference.data(), static_cast<int32_t>(reference.size()), &n, utf16.data(),
              static_cast<int32_t>(utf16.size()), &err);
  ASSERT_TRUE(U_SUCCESS(err));
  reference.resize(static_cast<size_t>(n));

  std::string utf8;
  ASSERT_TRUE(wideCharToUtf8(all.c_str(), utf8));
  EXPECT_TRUE(utf8 == reference);
  std::wstring back;
  ASSERT_TRUE(utf8ToWideChar(reference.c_str(), back));
  EXPECT_TRUE(back == all);
}

TEST(CodePageConversion, ToBytes) {
  struct Case {
    unsigned codePage;
    std::wstring in;
    ToMultibyteFlag flag;
    ToMultiByteStat stat;
    std::string out;
  } cases[] = {
      {1252, L"caf\u00e9 \u20ac", ToMultibyteDefault, ToMultiByteOk, "caf\xE9 \x80"},
      {1252, L"\u0101", ToMultibyteDefault, ToMultiByteOk, "a"},  // best fit
      {1252, L"\u221e", ToMultibyteDefault, ToMultiByteOk, "8"},
      {1252, L"\uff41", ToMultibyteDefault, ToMultiByteOk, "a"},
      {1252, L"\u0101", ToMultibyteNoBestFit, ToMultiByteLossy, "?"},
      {1252, L"x\u4e2d", ToMultibyteDefault, ToMultiByteLossy, "x?"},
      {1252, wide({0x1F600}), ToMultibyteDefault, ToMultiByteLossy, "?"},
      {1252, wide({0xD800}), ToMultibyteDefault, ToMultiByteLossy, "?"},
      {1252, std::wstring(L"a\0b", 3), ToMultibyteDefault, ToMultiByteOk, "a"},
      {1252, L"", ToMultibyteDefault, ToMultiByteOk, ""},
      {932, L"\u65e5\u672c", ToMultibyteDefault, ToMultiByteOk, "\x93\xFA\x96\x7B"},
      {932, L"\u00a5", ToMultibyteDefault, ToMultiByteOk, "\x5C"},  // best fit yen
      {932, L"\u00a5", ToMultibyteNoBestFit, ToMultiByteLossy, "?"},
      {932, L"\uac00", ToMultibyteDefault, ToMultiByteLossy, "?"},
      {949, L"\uac00", ToMultibyteDefault, ToMultiByteOk, "\xB0\xA1"},
      {936, L"\u4e2d", ToMultibyteDefault, ToMultiByteOk, "\xD6\xD0"},
      {950, L"\u4e2d", ToMultibyteDefault, ToMultiByteOk, "\xA4\xA4"},
      {437, L"\u00e9\u2591", ToMultibyteDefault, ToMultiByteOk, "\x82\xB0"},
      {437, L"\u0101", ToMultibyteDefault, ToMultiByteLossy, "?"},
      {54936, L"\u4e2d" + wide({0x1F600}), ToMultibyteDefault, ToMultiByteOk, "\xD6\xD0\x94\x39\xFC\x36"},
      {54936, L"\u4e2d", ToMultibyteNoBestFit, ToMultiByteFailed, ""},
      {65001, L"\u00e9", ToMultibyteNoBestFit, ToMultiByteOk, "\xC3\xA9"},
      {65001, wide({0xDC00}), ToMultibyteDefault, ToMultiByteLossy, "\xEF\xBF\xBD"},
      {1200, L"A" + wide({0x1F600}), ToMultibyteDefault, ToMultiByteOk,
       std::string("A\0\x3D\xD8\x00\xDE", 6)},
      {28591, L"\u00ff\u0100", ToMultibyteNoBestFit, ToMultiByteLossy, "\xFF?"},
      {20866, L"\u0416", ToMultibyteDefault, ToMultiByteOk, "\xF6"},  // KOI8-R through ICU
      {12345, L"a", ToMultibyteDefault, ToMultiByteFailed, ""},
      // UTF-7 refuses the default-character report every conversion asks for.
      {65000, L"a\u00e9", ToMultibyteDefault, ToMultiByteFailed, ""},
      {65000, L"a", ToMultibyteNoBestFit, ToMultiByteFailed, ""},
      // Code pages taking no flags refuse "no best fit" but convert without it.
      {57002, L"a", ToMultibyteNoBestFit, ToMultiByteFailed, ""},
      {57002, L"a", ToMultibyteDefault, ToMultiByteOk, "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.codePage << " " << hex(std::string(c.in.begin(), c.in.end())));
    std::string out = "stale";
    EXPECT_EQ(wideToMultibyte(code_page_id_ex(c.codePage), c.in, out, c.flag), c.stat);
    EXPECT_EQ(hex(out), hex(c.out));
  }
}

TEST(CodePageConversion, ToWide) {
  struct Case {
    unsigned codePage;
    std::string in;
    int flags;
    ToWideCharStat stat;
    std::wstring out;
  } cases[] = {
      {1252, "caf\xE9 \x80", 0, ToWideCharOk, L"caf\u00e9 \u20ac"},
      {1252, "\x81", 1, ToWideCharOk, L"\u0081"},  // Windows maps the holes too
      {1252, std::string("a\0b", 3), 0, ToWideCharOk, L"a"},
      {932, "\x93\xFA\x96\x7B", 1, ToWideCharOk, L"\u65e5\u672c"},
      {932, "\x82\xA0", 3, ToWideCharOk, L"\u3042"},
      {932, "\x85\x41", 1, ToWideCharFailed, L""},  // unmapped pair
      {932, "a\x81", 1, ToWideCharFailed, L""},     // lead byte at the end
      {932, "\x81\x22", 1, ToWideCharFailed, L""},  // lead byte before a non-trail byte
      {932, "\x85\x41", 0, ToWideCharOk, L"\u30fb"},
      {932, "\x81\"x", 0, ToWideCharOk, L"\u30fb\"x"},  // the quote survives
      {936, "\xD6\xD0", 1, ToWideCharOk, L"\u4e2d"},
      {949, "\xB0\xA1", 1, ToWideCharOk, L"\uac00"},
      {950, "\xA4\xA4", 1, ToWideCharOk, L"\u4e2d"},
      {950, "\xA4", 0, ToWideCharOk, L"?"},
      {1361, "\x88\x61", 1, ToWideCharOk, L"\uac00"},
      {864, "\x9B", 1, ToWideCharFailed, L""},  // undefined in the OEM table
      {864, "\x9B", 0, ToWideCharOk, L"?"},
      {65001, "\xC3\xA9", 1, ToWideCharOk, L"\u00e9"},
      {65001, "\xC3", 1, ToWideCharFailed, L""},
      {65001, "\xC3", 0, ToWideCharOk, L"\uFFFD"},
      {54936, "\xD6\xD0\x94\x39\xFC\x36", 1, ToWideCharOk, L"\u4e2d" + wide({0x1F600})},
      {54936, "\x81\x30", 1, ToWideCharFailed, L""},
      {1200, std::string("A\0\x3D\xD8\x00\xDE\0\0B\0", 10), 1, ToWideCharOk, L"A" + wide({0x1F600})},
      {1200, std::string("\x3D\xD8", 2), 1, ToWideCharFailed, L""},
      {1200, std::string("\x3D\xD8", 2), 0, ToWideCharOk, L"\uFFFD"},
      {1200, "A", 1, ToWideCharFailed, L""},  // half a unit
      {12345, "a", 0, ToWideCharFailed, L""},
      {65000, "+AGEA6Q-", 1, ToWideCharOk, L"a\u00e9"},
      {65000, "a+AAA-b", 0, ToWideCharOk, L"a"},  // a decoded zero ends the text
      {65000, "+AAA-", 1, ToWideCharOk, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.codePage << " " << hex(c.in) << " flags " << c.flags);
    std::wstring out = L"stale";
    EXPECT_EQ(multibyteToWide(code_page_id_ex(c.codePage), c.in, out, c.flags), c.stat);
    EXPECT_EQ(out, c.out);
  }
}

TEST(CodePageConversion, InvalidIdExHandsItsRawCodePageOn) {
  code_page_id_ex invalid(12345u);
  std::string bytes = "stale";
  std::wstring text = L"stale";
  EXPECT_EQ(wideToMultibyte(invalid, L"a", bytes, ToMultibyteDefault), ToMultiByteFailed);
  EXPECT_EQ(multibyteToWide(invalid, "a", text, 0), ToWideCharFailed);
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(text.empty());
}

// Every printable character each code page of the table can produce goes
// to bytes and back unchanged, without a default character.
TEST(CodePageConversion, PrintableRepertoireRoundTrips) {
  std::vector<unsigned> codePages;
  for (int i = 0; i < 45; ++i) {
    unsigned cp = winCodePageFromId(id(i));
    if (cp != 0 && cp != 1200 && std::find(codePages.begin(), codePages.end(), cp) == codePages.end())
      codePages.push_back(cp);
  }
  ASSERT_EQ(codePages.size(), 27u);
  for (unsigned cp : codePages) {
    SCOPED_TRACE(cp);
    code_page_id_ex ex(cp);
    std::wstring repertoire, one;
    auto collect = [&](const std::string& bytes) {
      if (multibyteToWide(ex, bytes, one, 1) == ToWideCharOk && one.size() == 1 && one[0] >= 0x20 &&
          one[0] != 0x7F && !(one[0] >= 0x80 && one[0] < 0xA0))
        repertoire += one;
    };
    for (int lead = 0x20; lead < 0x100; ++lead) {
      std::string single(1, static_cast<char>(lead));
      if (multibyteToWide(ex, single, one, 1) == ToWideCharOk) {
        collect(single);
        continue;
      }
      for (int trail = 0x01; trail < 0x100; ++trail)
        collect({static_cast<char>(lead), static_cast<char>(trail)});
    }
    ASSERT_GT(repertoire.size(), 90u);
    std::string bytes;
    std::wstring back;
    EXPECT_EQ(wideToMultibyte(ex, repertoire, bytes, ToMultibyteNoBestFit), ToMultiByteOk);
    EXPECT_EQ(multibyteToWide(ex, bytes, back, 1), ToWideCharOk);
    EXPECT_TRUE(back == repertoire);
  }
  // UTF-16LE holds everything; a sample from each plane region.
  std::wstring sample = L"Az\u00e9\u4e2d\uffef" + wide({0x10000, 0x1F600, 0x10FFFF});
  std::string bytes;
  std::wstring back;
  EXPECT_EQ(wideToMultibyte(code_page_id_ex(id(43)), sample, bytes, ToMultibyteNoBestFit), ToMultiByteOk);
  EXPECT_EQ(multibyteToWide(code_page_id_ex(id(43)), bytes, back, 1), ToWideCharOk);
  EXPECT_EQ(back, sample);
}

// ICU converts long texts in steps; a step boundary inside a multi-byte
// sequence, a stateful encoding's shift or a surrogate pair of the output
// must not show in the result. Tiny steps put a boundary everywhere.
TEST(CodePageConversion, IcuStepBoundariesAreInvisible) {
  namespace detail = Halvex::Tessaran::PAL::detail;
  const std::wstring emoji = wide({0x1F600});
  struct Case {
    unsigned codePage;
    std::wstring text;
    std::string bytes;
  } cases[] = {
      {54936, L"a\u4e2d" + emoji + L"b" + emoji,
       "a\xD6\xD0\x94\x39\xFC\x36"
       "b\x94\x39\xFC\x36"},
      {65000, L"a\u00e9\u4e2d" + emoji + L"z", "a+AOlOLdg93gA-z"},
      {1201, L"A" + emoji, std::string("\0A\xD8\x3D\xDE\0", 6)},
      {20866, L"\u0416\u0417x", "\xF6\xFAx"},
  };
  for (const auto& c : cases) {
    for (size_t step : {size_t(1), size_t(2), size_t(3), size_t(5), detail::kIcuChunkUnits}) {
      SCOPED_TRACE(testing::Message() << c.codePage << " step " << step);
      std::string bytes = "stale";
      bool usedDefault = true;
      EXPECT_TRUE(
          detail::icuEncode(c.codePage, c.text.data(), c.text.size(), true, bytes, usedDefault, step));
      EXPECT_FALSE(usedDefault);
      EXPECT_EQ(hex(bytes), hex(c.bytes));
      std::wstring text = L"stale";
      EXPECT_TRUE(detail::icuDecode(c.codePage, c.bytes.data(), c.bytes.size(), true, text, step));
      EXPECT_EQ(text, c.text);
    }
  }
  // Through the public functions, a text several steps long, sequences
  // straddling the step boundaries.
  std::wstring text;
  std::string bytes;
  for (size_t i = 0; i < 3 * detail::kIcuChunkUnits / 7; ++i) {
    text += L"a\u4e2d" + emoji;
    bytes += "a\xD6\xD0\x94\x39\xFC\x36";
  }
  std::string encoded;
  std::wstring decoded;
  EXPECT_EQ(wideToMultibyte(code_page_id_ex(54936u), text, encoded, ToMultibyteDefault), ToMultiByteOk);
  EXPECT_TRUE(encoded == bytes);
  EXPECT_EQ(multibyteToWide(code_page_id_ex(54936u), bytes, decoded, 1), ToWideCharOk);
  EXPECT_TRUE(decoded == text);

  // Failures and substitutions still show, whatever the step.
  for (size_t step : {size_t(1), size_t(2), detail::kIcuChunkUnits}) {
    SCOPED_TRACE(step);
    std::wstring text;
    EXPECT_FALSE(detail::icuDecode(54936, "a\x94\x39\xFC", 4, true, text, step));
    bool usedDefault = false;
    std::string bytes;
    EXPECT_TRUE(detail::icuEncode(20866, L"a\u4e2db", 3, true, bytes, usedDefault, step));
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(bytes, "a?b");
  }
}

TEST(Utf16Helpers, WideToUtf16) {
  struct Case {
    std::wstring buffer;  // stored with its terminating zero
    size_t capacity;
    std::u16string utf16;
  } cases[] = {
      {L"abc", 4, u"abc"},
      {L"abc", 2, u"ab"},  // the capacity bounds the scan
      {L"abc", 0, u""},
      {L"", 1, u""},
      {L"a" + wide({0x1F600}) + L"b", 4,
       u"a\xD83D\xDE00"
       u"b"},
  };
  for (const auto& c : cases) {
    WideCharToUtf16Helper helper(c.buffer.c_str(), c.capacity);
    WideCharToUtf16Helper copy = helper;
    EXPECT_EQ(std::u16string(copy.getUtf16Buffer()), c.utf16);
    EXPECT_EQ(helper.getNumUTF16Chars(), c.utf16.size());
  }
  // The buffer is read when asked, not when the helper is made.
  wchar_t buffer[8] = L"old";
  WideCharToUtf16Helper helper(buffer, 8);
  buffer[0] = L'n';
  EXPECT_EQ(std::u16string(helper.getUtf16Buffer()), u"nld");
}

TEST(Utf16Helpers, Utf16ToWide) {
  struct Case {
    size_t capacity;
    std::u16string written;  // what the caller writes into the UTF-16 buffer
    bool foreign;            // destination is another buffer
    size_t length;           // length passed in
    bool result;
    size_t lengthOut;
    std::wstring text;
  } cases[] = {
      {8, u"hello", false, 0, true, 5, L"hello"},
      {8,
       u"a\xD83D\xDE00"
       u"b",
       false, 0, true, 3, L"a" + wide({0x1F600}) + L"b"},
      {8, u"x\xD83D", false, 0, true, 2, L"x\uFFFD"},
      {4, u"abcd", false, 0, true, 4, L"abcd"},  // no room for a zero: capacity bounds
      {8, u"hello", true, 8, true, 5, L"hello"},
      {8, u"hello", true, 7, false, 8, L""},  // destination too small
      {0, u"", false, 3, true, 0, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.capacity << " foreign " << c.foreign);
    std::vector<wchar_t> own(c.capacity + 1, L'#'), other(c.capacity + 1, L'#');
    Utf16ToWideCharHelper helper(own.data(), c.capacity);
    std::copy(c.written.begin(), c.written.end(), helper.getUtf16Buffer());
    size_t length = c.length;
    wchar_t* destination = c.foreign ? other.data() : own.data();
    EXPECT_EQ(helper.getWideBuffer(destination, length), c.result);
    EXPECT_EQ(length, c.lengthOut);
    if (c.result) {
      EXPECT_EQ(std::wstring(destination, length), c.text);
      // Nothing beyond the capacity is touched.
      EXPECT_EQ(destination[c.capacity], L'#');
    } else {
      EXPECT_EQ(other[0], L'#');
    }
  }
}

// A capacity no allocation can hold must not throw out of the constructor;
// the helper then offers no buffer and converts nothing.
TEST(Utf16Helpers, Utf16ToWideAbsurdCapacity) {
  for (size_t capacity : {SIZE_MAX, std::u16string().max_size() + 1}) {
    SCOPED_TRACE(capacity);
    wchar_t own[4] = L"abc";
    std::optional<Utf16ToWideCharHelper> helper;
    ASSERT_NO_THROW(helper.emplace(own, capacity));
    EXPECT_EQ(helper->getUtf16Buffer(), nullptr);
    size_t length = 7;
    EXPECT_FALSE(helper->getWideBuffer(own, length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(std::wstring(own), L"abc");
  }
}
