// Nesting-depth checks run before the recursive JSON and XML parsers, so
// that a hostile document is rejected instead of exhausting the stack.
#pragma once

#include <cstddef>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Far deeper than any settings file. At this depth the recursive parsers
// need about 150 KB (JSON) and 300 KB (XML) of stack in an optimised build,
// a few times that under sanitizers: well inside a default thread stack.
inline constexpr std::size_t kMaxTreeNesting = 512;

// Arrays and objects outside strings. Only the part the parser would accept
// needs to be exact: text beyond a syntax error is never parsed.
bool jsonNestingWithinLimit(std::wstring_view text);

// Open elements, skipping what the XML parser skips (comments, CDATA,
// processing instructions, DOCTYPE and other "<!" nodes, quoted attribute
// values), up to the first zero byte, where that parser stops.
bool xmlNestingWithinLimit(std::string_view text);

}  // namespace Halvex::Tessaran::PAL::detail
