// The nesting bound of property trees, and the check run before the
// recursive XML parser, so that a hostile document is rejected instead of
// exhausting the stack.
#pragma once

#include <cstddef>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Far deeper than any settings file. At this depth the recursive XML parser
// needs about 300 KB of stack in an optimised build, a few times that under
// sanitizers: well inside a default thread stack. Trees are destroyed and
// written recursively too, so the JSON reader keeps the same bound.
inline constexpr std::size_t kMaxTreeNesting = 512;

// Open elements, read the way the XML parser reads them: its tag names,
// attributes and quoted values, skipping what it skips (comments, CDATA,
// processing instructions, DOCTYPE and other "<!" nodes), up to the first
// zero byte, where that parser stops. Only the part the parser accepts
// needs to be exact: the scan stops where the parser would fail.
bool xmlNestingWithinLimit(std::string_view text);

}  // namespace Halvex::Tessaran::PAL::detail
