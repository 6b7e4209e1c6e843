// Wide path text to and from the UTF-8 names the file system stores.
#pragma once

#include <boost/filesystem/path.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// Both ignore the process locale, so a C or unknown locale cannot make a
// conversion fail or throw. Nothing for a null pointer, for wide text that is
// not Unicode (a lone surrogate) or for bytes that are not UTF-8: such a name
// has no counterpart on the other side.
std::optional<boost::filesystem::path> pathFromWide(const wchar_t* text);
std::optional<std::wstring> wideFromPath(const boost::filesystem::path& p);

// The length the name would have in UTF-16 units, counted on its UTF-8
// bytes so that names which are not UTF-8 still get a length.
std::size_t utf16Length(std::string_view utf8);

}  // namespace Halvex::Tessaran::PAL::detail
