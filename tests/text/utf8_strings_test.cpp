// Whole-string UTF-8 <-> UTF-32 conversion, including ill-formed input.
#include <gtest/gtest.h>

#include "base/utf8.h"

using namespace Halvex::Tessaran::PAL::detail;

TEST(Utf8, WideToUtf8) {
  struct Case {
    std::wstring in;
    std::string out;
  } cases[] = {
      {L"", ""},
      {L"abc", "abc"},
      {L"\u00e9\u4e2d\U0001F600", "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
      {std::wstring(1, wchar_t(0xD800)), "\xEF\xBF\xBD"},
      {std::wstring(1, wchar_t(0x110000)), "\xEF\xBF\xBD"},
      {std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(wideToUtf8(c.in), c.out);
}

TEST(Utf8, Utf8ToWideReplacesEachMaximalIllFormedPart) {
  struct Case {
    std::string in;
    std::wstring out;
  } cases[] = {
      {"", L""},
      {"\xC3\xA9\xF0\x9F\x98\x80", L"\u00e9\U0001F600"},
      {"\xC0\xAF", L"\uFFFD\uFFFD"},                      // overlong lead byte, then a lone continuation
      {"\xE0\x80\x80", L"\uFFFD\uFFFD\uFFFD"},            // overlong three-byte form
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE4\xB8", L"\uFFFD"},                            // truncated sequence
      {"\xE4\xB8x", L"\uFFFDx"},
      {"\xFF", L"\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(utf8ToWide(c.in), c.out);
}

// The whole-string forms convert in chunks; a sequence that straddles a chunk
// boundary must decode exactly as the one-pass decoder reads it.
TEST(Utf8, WholeStringFormsMatchTheOnePassDecoderAcrossChunkBoundaries) {
  const std::string pieces[] = {
      "\xC3\xA9",
      "\xE4\xB8\xAD",
      "\xF0\x9F\x98\x80",  // whole sequences
      "\xE4\xB8",
      "\xF0\x9F\x98",                      // truncated ones
      "\xE4\xB8\xAD\x80\x80\x80\x80\x80",  // continuation bytes beyond the lead's reach
      "\x80\x80\x80\x80\x80\x80",
      "\xED\xA0\x80",
      "\xC0\xAF",
  };
  for (const auto& piece : pieces) {
    for (size_t at = 4085; at <= 4100; ++at) {
      std::string text(at, 'a');
      text += piece;
      text += std::string(5000, 'b');
      std::wstring expected(text.size(), L'\0');
      expected.resize(utf8ToUtf32(text.data(), text.size(), expected.data()).written);
      EXPECT_EQ(utf8ToWide(text), expected) << "piece at byte " << at;
      std::string encoded(utf8Capacity(expected.size()), '\0');
      encoded.resize(utf32ToUtf8(expected.data(), expected.size(), encoded.data()).written);
      EXPECT_EQ(wideToUtf8(expected), encoded) << "piece at byte " << at;
    }
  }
  // Encoding: a long text of mixed widths comes back whole.
  std::wstring wide;
  for (int i = 0; i < 3000; ++i) wide += L"a\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(utf8ToWide(wideToUtf8(wide)), wide);
}
