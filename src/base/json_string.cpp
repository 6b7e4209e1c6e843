// JSON string escaping.
#include "base/json_string.h"

#include <cstdio>

#include "base/utf8.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

void appendUnit(std::string& out, unsigned unit) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", unit);
  out += escaped;
}

}  // namespace

std::string jsonString(std::wstring_view text) {
  std::string out = "\"";
  for (wchar_t wc : text) {
    auto c = static_cast<unsigned>(wc);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (c > 0xFFFF && c <= 0x10FFFF) {
      c -= 0x10000;
      appendUnit(out, 0xD800 + (c >> 10));
      appendUnit(out, 0xDC00 + (c & 0x3FF));
    } else {
      const bool unicode = c <= 0xFFFF && !(c >= 0xD800 && c <= 0xDFFF);
      appendUnit(out, unicode ? c : 0xFFFD);
    }
  }
  return out + "\"";
}

std::string jsonString(std::string_view utf8) { return jsonString(utf8ToWide(utf8)); }

}  // namespace Halvex::Tessaran::PAL::detail
