// JSON string escaping.
#include "base/json_string.h"

#include <cstdio>

#include "base/utf8.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

void appendUnit(std::string& out, unsigned unit) {
  char escaped[16];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", unit);
  out += escaped;
}

}  // namespace

std::string jsonString(std::wstring_view text, JsonText form) {
  std::string out = "\"";
  for (wchar_t wc : text) {
    auto c = static_cast<unsigned>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (c < 0x80) {
      appendUnit(out, c);
    } else if (form == JsonText::Utf8) {
      const wchar_t one = static_cast<wchar_t>(c);
      out += wideToUtf8(std::wstring_view(&one, 1));
    } else if (c > 0xFFFF) {
      c -= 0x10000;
      appendUnit(out, 0xD800 + (c >> 10));
      appendUnit(out, 0xDC00 + (c & 0x3FF));
    } else {
      appendUnit(out, c);
    }
  }
  return out + "\"";
}

std::string jsonString(std::string_view utf8, JsonText form) {
  return jsonString(utf8ToWide(utf8), form);
}

}  // namespace Halvex::Tessaran::PAL::detail
