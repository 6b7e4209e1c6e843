// UTF-32 <-> UTF-8 conversion, including ill-formed input.
#include "platform/utf8.h"

#include <gtest/gtest.h>

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
