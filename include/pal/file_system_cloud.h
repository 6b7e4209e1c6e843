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
// - After the drive client's workspaces and before "Local", the clients
//   Linux users run are asked, in this order, each from its own files:
//   - Dropbox: ~/.dropbox/info.json, the same JSON form; the two Dropbox
//     queries read it after the file named above.
//   - Nextcloud and ownCloud desktop clients ("Nextcloud", "ownCloud"):
//     every "localPath" entry of Nextcloud/nextcloud.cfg and
//     ownCloud/owncloud.cfg below $XDG_CONFIG_HOME (else ~/.config). A
//     damaged file adds the note "Error Nextcloud" or "Error ownCloud".
//   - The open-source OneDrive client ("OneDrive"): "sync_dir" of
//     onedrive/config below the same folder ('~' is the home folder), else
//     the client's default ~/OneDrive when onedrive/refresh_token shows it
//     authorised without that file. The file does not name the account
//     kind, so the account counts as business only where its settings are
//     business-only ones (a SharePoint "drive_id", a single
//     "azure_tenant_id", "sync_business_shared_items" on) and as personal
//     otherwise, as an account without a "Business" value does. A damaged
//     file adds "Error OneDrive".
//   - Cloud file systems in the mount table: an rclone mount is named by
//     its remote's type in rclone's file ($RCLONE_CONFIG, else
//     rclone/rclone.conf below the same folder, else ~/.rclone.conf),
//     looking through crypt and alias remotes: "Google Drive", "OneDrive"
//     (with "Personal" or "Business" from the remote's drive type),
//     "Dropbox", "Box", "pCloud", "MEGA", "Nextcloud" and "ownCloud" for
//     WebDAV remotes of those vendors; any other remote, or one an
//     encrypted or missing file does not tell, by its own name. GVfs
//     mounts its backends in folders below one mount point; those of
//     Google Drive and OneDrive (counted personal) are recognised there,
//     other backends (shares, phones) are not cloud folders. A path below
//     an rclone mount is not reported as "Local Network".
//   The configured queries find these clients after the sources above:
//   OneDrive's the client's folder, then OneDrive mounts of the wanted
//   kind; Google Drive's and Box's their mounts. Dropbox mounts do not tell
//   the subscription type and count for neither Dropbox query. Folders
//   found here keep their letter case.
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
