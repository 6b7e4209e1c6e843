// Expansion of %NAME% references from the process environment, the rule
// Windows applies to expandable strings.
#pragma once

#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Replaces each %NAME% whose variable is set by its value. A reference to
// an unset variable, an empty name (%%), a name holding '=' (which names no
// variable) and a lone % stay as written; the
// closing % of an unset reference may open the next one, as on Windows.
std::wstring expandEnvironmentReferences(std::wstring_view text);

}  // namespace Halvex::Tessaran::PAL::detail
