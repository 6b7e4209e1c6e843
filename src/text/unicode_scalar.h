// Wide text is UTF-32: a value that is no Unicode scalar value reads as
// U+FFFD.
#pragma once

#include <cstdint>

namespace Halvex::Tessaran::PAL::detail {

inline char32_t unicodeScalar(wchar_t c) {
  auto v = static_cast<std::uint32_t>(c);
  return v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF) ? U'\uFFFD' : static_cast<char32_t>(v);
}

}  // namespace Halvex::Tessaran::PAL::detail
