// The file system and database side of cloud storage detection: where the
// clients keep their files, and reading them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "filesystem/cloud/cloud_clients.h"

namespace Halvex::Tessaran::PAL::detail {

// The folder "LocalAppData" (`local`) or "AppData" stands for: the variable
// where set, else its XDG counterpart under the home folder. Nothing when
// neither can be found.
std::optional<std::wstring> clientDataFolder(bool local);
// $XDG_CONFIG_HOME, else ~/.config: where the Linux clients keep their
// settings, whatever "AppData" says. Nothing without either.
std::optional<std::wstring> linuxConfigFolder();
// $HOME when it is absolute, else empty.
std::wstring homeVariable();
// The existing file `name` below the home folder; nothing when there is no
// home folder or no such file.
std::optional<std::wstring> homeFile(const wchar_t* name);
// `base` and the '/'-separated relative `name` joined.
std::wstring joinedPath(const std::wstring& base, const wchar_t* name);
bool pathExists(const std::wstring& path);
// The file's first `maxBytes` bytes; nothing when it cannot be read.
std::optional<std::string> fileStart(const std::wstring& path, std::size_t maxBytes);

// A mounted cloud file system: rclone's mount point, or a cloud backend's
// folder below GVfs' mount point.
struct CloudMount {
  std::wstring folder;
  CloudKind kind;
};
// The cloud mount holding `path`, made absolute and normalised.
std::optional<CloudMount> cloudMountHolding(const wchar_t* path);
// Every cloud mount in mount-table order.
std::vector<CloudMount> cloudMounts();

// Runs `sql` on the database at `path`, opened read-only, and gives the
// UTF-8 text of `column` in the first row ("" when there is no row).
// Nothing when the database cannot be opened or the query fails; a row
// without the column, or with `oneRow` a second row, fails the query.
std::optional<std::wstring> queryFirstRow(const std::wstring& path, const char* sql, const char* column,
                                          bool oneRow);

}  // namespace Halvex::Tessaran::PAL::detail
