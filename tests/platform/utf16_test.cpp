// UTF-32 <-> UTF-16 conversion, including surrogates and ill-formed input.
#include "base/utf16.h"

#include <gtest/gtest.h>

using namespace Halvex::Tessaran::PAL::detail;

TEST(Utf16, WideToUtf16) {
  struct Case {
    std::wstring in;
    std::u16string out;
  } cases[] = {
      {L"", u""},
      {L"abc", u"abc"},
      {L"\u00e9\u4e2d", u"\u00e9\u4e2d"},
      {std::wstring(1, wchar_t(0x1F600)), u"\xD83D\xDE00"},
      {std::wstring(1, wchar_t(0x10FFFF)), u"\xDBFF\xDFFF"},
      {std::wstring(1, wchar_t(0xD800)), u"\xFFFD"},
      {std::wstring(1, wchar_t(0x110000)), u"\xFFFD"},
      {std::wstring(L"a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(wideToUtf16(c.in), c.out);
}

TEST(Utf16, Utf16ToWide) {
  struct Case {
    std::u16string in;
    std::wstring out;
  } cases[] = {
      {u"", L""},
      {u"x\u00e9", L"x\u00e9"},
      {u"\xD83D\xDE00", std::wstring(1, wchar_t(0x1F600))},
      {u"\xD83D", L"\uFFFD"},              // high surrogate at the end
      {u"\xD83Dx", L"\uFFFDx"},            // high surrogate before a non-surrogate
      {u"\xDE00\xD83D", L"\uFFFD\uFFFD"},  // reversed pair
  };
  for (const auto& c : cases) EXPECT_EQ(utf16ToWide(c.in), c.out);
}
