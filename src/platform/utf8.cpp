// UTF-32 <-> UTF-8 conversion.
#include "platform/utf8.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {
constexpr char32_t kReplacement = 0xFFFD;
}

std::string wideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    char32_t c = static_cast<char32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::wstring utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int len;
    char32_t c;
    // The second byte's range depends on the lead byte so that overlong
    // forms, surrogates and values above U+10FFFF are rejected at the
    // first byte that makes them so (maximal subpart rule).
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, c = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool ok = true;
    for (int k = 1; k < len; ++k, ++j) {
      if (j >= text.size()) {
        ok = false;
        break;
      }
      unsigned char t = static_cast<unsigned char>(text[j]);
      if (t < (k == 1 ? lo : 0x80) || t > (k == 1 ? hi : 0xBF)) {
        ok = false;
        break;
      }
      c = (c << 6) | (t & 0x3F);
    }
    out.push_back(static_cast<wchar_t>(ok ? c : kReplacement));
    i = j;
  }
  return out;
}

}  // namespace Halvex::Tessaran::PAL::detail
