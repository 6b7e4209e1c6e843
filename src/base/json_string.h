// The one JSON string writer.
#pragma once

#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Whether text outside ASCII stays UTF-8 (for people reading the output) or
// becomes \u escapes (surrogate pairs above U+FFFF), for consumers that
// expect plain ASCII.
enum class JsonText { Utf8, Ascii };

// The text as a quoted JSON string: quote, backslash and control characters
// escaped. Ill-formed input (names read from a hostile file) becomes U+FFFD,
// so that the document stays valid.
std::string jsonString(std::wstring_view text, JsonText form = JsonText::Utf8);
std::string jsonString(std::string_view utf8, JsonText form = JsonText::Utf8);

}  // namespace Halvex::Tessaran::PAL::detail
