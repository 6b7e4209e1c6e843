// Path utilities: separators, lexical normalisation, final names, network
// names, executable search, relative paths, the documents folder and path
// classification.
//
// Where Linux differs from what a Windows caller expects:
// - Paths are POSIX paths; boost::filesystem::path follows this platform's
//   rules, so only '/' separates elements inside a path and the preferred
//   separator is '/'. `is_dir_separator` still accepts both '/' and '\'.
// - `normalized` keeps the root as written and joins the rest with '/';
//   "//server/" is the only root name the platform knows.
// - Wide text (UTF-32 here) converts to and from file names as UTF-8,
//   whatever the process locale is. Wide text that is not Unicode (a lone
//   surrogate) and names that are not UTF-8 have no counterpart: they give
//   the empty result.
// - `long_path`: there are no short names, so the input comes back unchanged.
// - `resolve_path` gives the kernel's name of the opened file (symbolic links
//   resolved, no extended-length prefix). Linux has no share modes, so a file
//   another process has open for writing still resolves.
// - `getNetworkPathForFile` and `isPathNetworkPath` read the mount table: a
//   path under an NFS, SMB/CIFS, SSHFS or similar mount is a network path, and
//   its universal name is the mount's remote source (for example
//   "server:/export/dir/file" or "//server/share/dir/file"). The path is made
//   absolute lexically; symbolic links are not followed, so a stalled server
//   is never contacted.
// - `searchPath` looks in the executable's folder, the current directory,
//   then each ':'-separated `PATH` entry.
// - `pathRelativePathTo` compares names case-sensitively.
// - `getMyDocumentsPath` gives the XDG documents folder (XDG_DOCUMENTS_DIR of
//   user-dirs.dirs, else ~/Documents); without `create` a missing folder reads
//   as empty. The string is at least 260 characters long and always has a NUL
//   after the path.
// - `isPathDeviceName` keeps the Windows lexical rule (only '\' and ':'
//   delimit the last component); printer ports are never redirected to the
//   network here, so "LPT9.txt" is false.
#pragma once

#include <boost/filesystem/path.hpp>
#include <boost/system/error_code.hpp>
#include <string>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::FileSystem {

PAL_EXPORT wchar_t path_separator();
PAL_EXPORT bool is_dir_separator(wchar_t c);
PAL_EXPORT bool is_drive_separator(wchar_t c);

// Sets `ec` to success first; on failure `ec` holds the system error and the
// result is empty.
PAL_EXPORT boost::filesystem::path temp_directory_path(boost::system::error_code& ec);

// Lexical: drops "." elements and trailing separators; ".." removes the
// previous element or is dropped when nothing is left to remove.
PAL_EXPORT boost::filesystem::path normalized(const boost::filesystem::path& p);
PAL_EXPORT boost::filesystem::path long_path(const boost::filesystem::path& p);
// Empty for a folder, a missing or unreadable file, or a name longer than
// 259 characters.
PAL_EXPORT boost::filesystem::path resolve_path(const boost::filesystem::path& p);

PAL_EXPORT std::wstring getNetworkPathForFile(const wchar_t* localPath);
PAL_EXPORT std::wstring searchPath(const wchar_t* fileName);
// Both arguments are taken as files; empty when they share no root.
PAL_EXPORT std::wstring pathRelativePathTo(const wchar_t* from, const wchar_t* to);
PAL_EXPORT std::wstring getMyDocumentsPath(bool create);

PAL_EXPORT bool isPathUrl(const wchar_t* s);
PAL_EXPORT bool isPathNetworkPath(const wchar_t* s);
PAL_EXPORT bool isPathDeviceName(const wchar_t* s);

}  // namespace Halvex::Tessaran::PAL::FileSystem
