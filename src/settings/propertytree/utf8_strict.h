// UTF-8 <-> UTF-32 for the JSON files: one wide character per code point,
// a byte-order mark kept as U+FEFF when reading and none added when writing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Nothing for ill-formed input: overlong forms, encoded surrogates, values
// above U+10FFFF, stray continuation bytes and cut sequences. Unlike the
// settings-wide conversion, no U+FFFD is substituted: bad bytes are bad
// content for a parser, and a zero byte is kept as U+0000.
std::optional<std::wstring> utf8ToWideStrict(std::string_view bytes);

// Surrogate values and values above U+10FFFF become U+FFFD.
std::string wideToUtf8(std::wstring_view text);

}  // namespace Halvex::Tessaran::PAL::detail
