// JSON string escaping: every input, however ill-formed, gives a valid
// string literal.
#include "base/json_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Halvex::Tessaran::PAL::detail::jsonString;
using Halvex::Tessaran::PAL::detail::JsonText;

TEST(JsonString, EscapesAndReplacesInBothForms) {
  struct Case {
    std::string in;
    const char* utf8;
    const char* ascii;
  } cases[] = {
      {"plain", "\"plain\"", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\"", "\"a\\\"b\\\\c\""},
      {std::string("\n\x01\x7F", 3), "\"\\u000a\\u0001\\u007f\"", "\"\\u000a\\u0001\\u007f\""},
      {std::string("\0x", 2), "\"\\u0000x\"", "\"\\u0000x\""},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\"", "\"caf\\u00e9\""},
      {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\"", "\"\\ud83d\\ude00\""},
      // Ill-formed: an encoded surrogate, an overlong form, a lone
      // continuation byte, a truncated sequence.
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"", "\"\\ufffd\\ufffd\\ufffd\""},
      {"\xE0\x80\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"", "\"\\ufffd\\ufffd\\ufffd\""},
      {"a\x80z", "\"a\xEF\xBF\xBDz\"", "\"a\\ufffdz\""},
      {"\xE2\x82", "\"\xEF\xBF\xBD\"", "\"\\ufffd\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(jsonString(c.in), c.utf8) << c.in;
    EXPECT_EQ(jsonString(c.in, JsonText::Ascii), c.ascii) << c.in;
  }
}

TEST(JsonString, WideTextOutsideUnicodeBecomesTheReplacementCharacter) {
  const wchar_t text[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
  EXPECT_EQ(jsonString(std::wstring_view(text), JsonText::Ascii), "\"a\\ufffd\\ufffd\"");
  EXPECT_EQ(jsonString(std::wstring_view(text)), "\"a\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

}  // namespace
