// Dropping folders from a search-path value, keeping the rest as written.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Entries are separated by runs of ':'; double quotes inside an entry are
// removed and protect what they enclose (':' included). Every non-empty
// entry for which `drop` is true goes, with the separators after it (the
// last entry: with those before it); all other text stays as it was.
std::wstring withoutEntries(std::wstring_view value, const std::function<bool(const std::wstring&)>& drop);

}  // namespace Halvex::Tessaran::PAL::detail
