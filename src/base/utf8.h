// UTF-8 <-> UTF-32 over counted buffers: the hot path under every wide/UTF-8
// conversion of the library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

struct Utf8Result {
  size_t written;  // output units (decoding) or bytes (encoding)
  bool replaced;   // at least one U+FFFD stands for ill-formed input
};

// Decodes `size` bytes into `out`, which has room for `size` units. Each
// maximal ill-formed subpart becomes one U+FFFD (the Unicode recommendation).
Utf8Result utf8ToUtf32(const char* in, size_t size, wchar_t* out);

// Worst case of utf32ToUtf8's output for `units` input units.
constexpr size_t utf8Capacity(size_t units) {
  return units * 4;
}

// Encodes `units` values into `out` (room for utf8Capacity(units) bytes).
// Lone surrogates and values above U+10FFFF become U+FFFD.
Utf8Result utf32ToUtf8(const wchar_t* in, size_t units, char* out);

// Whole-string forms: `out` is replaced by the conversion of the input.
// Embedded NULs are kept.
Utf8Result assignUtf8ToUtf32(const char* in, size_t size, std::wstring& out);
Utf8Result assignUtf32ToUtf8(const wchar_t* in, size_t units, std::string& out);
std::string wideToUtf8(std::wstring_view text);
std::wstring utf8ToWide(std::string_view text);

}  // namespace Halvex::Tessaran::PAL::detail
