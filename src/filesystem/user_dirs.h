// The XDG user folders that stand in for the Windows shell's known folders.
#pragma once

#include <boost/filesystem/path.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

// XDG_DOCUMENTS_DIR from the text of a user-dirs.dirs file: "$HOME/..." or
// an absolute path in double quotes, '\' quoting the next character; the last
// valid assignment wins, as when a shell sources the file. Nothing when the
// file does not set it.
std::optional<std::string> documentsDirFromUserDirs(std::string_view text, std::string_view home);

// The user's documents folder: user-dirs.dirs under $XDG_CONFIG_HOME (or
// ~/.config), else ~/Documents. Nothing when the user has no home folder.
std::optional<boost::filesystem::path> documentsFolder();

}  // namespace Halvex::Tessaran::PAL::detail
