// Where a file comes from: a network share or a folder that a desktop
// synchronisation client mirrors to the cloud, and whether each supported
// client is configured here.
//
// Every call reads the clients' configuration afresh; nothing is cached and
// any thread may call. Registry keys are read from the settings store's user
// hive (pal/settings.h); variables from the process environment.
//
// Where Linux differs from what a Windows caller expects:
// - "LocalAppData" and "AppData" are used where the environment sets them.
//   Where it does not, "LocalAppData" is $XDG_DATA_HOME (else
//   ~/.local/share) and "AppData" is $XDG_CONFIG_HOME (else ~/.config); a
//   relative XDG variable or HOME counts as unset. Only with neither the
//   variable nor a home folder is the note "Error Finding Key" added.
// - The clients' file names are joined below those folders with '/':
//   "Dropbox/info.json", "Google/Drive/sync_config.db",
//   "Google/Drive/user_default/sync_config.db",
//   "Box/Box/data/sync_root_folder.txt", "Box Sync/sync_root_folder.txt",
//   "Box Sync/sync.db" and "Halvex/Skyvault".
// - After the drive client's workspaces and before "Local", the Linux
//   Dropbox client's ~/.dropbox/info.json (the same JSON form) is asked;
//   the two Dropbox queries read it after the file named above.
// - A network path is one on a network mount (see pal/file_system.h) or one
//   starting with two separators ("//server/share").
// - The clients' databases are opened read-only: detection never creates or
//   changes a file in another program's folder, so an absent database reads
//   as a failed query.
// - A Dropbox file whose top level, or one of whose accounts, is no JSON
//   object counts as unreadable ("Error Dropbox") rather than failing.
// - A workspace of the drive client is named by its folder's text after the
//   last '/'.
// - Lower-casing for folder matching follows the C library's towlower in the
//   process locale.
#pragma once

#include <string>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::FileSystem {

struct FileSourceInfo {
  bool isCloudOrNetwork = false;
  std::wstring sourceName;
  std::wstring accountType = L"NULL";
};

PAL_EXPORT FileSourceInfo getFileSourceInfoForDrive(const wchar_t* path);
PAL_EXPORT bool isDropboxBusinessConfigured(std::wstring& folder);
PAL_EXPORT bool isDropboxPersonalConfigured(std::wstring& folder);
PAL_EXPORT bool isOneDriveBusinessConfigured(std::wstring& folder);
PAL_EXPORT bool isOneDrivePersonalConfigured(std::wstring& folder);
PAL_EXPORT bool isGoogleDriveConfigured(std::wstring& folder);
PAL_EXPORT bool isBoxConfigured(std::wstring& folder);

}  // namespace Halvex::Tessaran::PAL::FileSystem
