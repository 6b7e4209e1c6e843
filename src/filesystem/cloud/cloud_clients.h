// Readers of the synchronisation clients' own files, kept apart from the
// file system so that hostile bytes can be fed to them directly.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

// One top-level member of a Dropbox info file. `wellFormed` is false when
// the member is no object or its "path" or "subscription_type" is no string.
struct DropboxAccount {
  bool wellFormed = false;
  std::wstring path;
  std::wstring subscriptionType;
};

// The accounts in ascending member-name order; nothing when the text is no
// JSON object.
std::optional<std::vector<DropboxAccount>> parseDropboxInfo(std::string_view json);

// The first line of a text file: at most 259 bytes, up to a line feed. Text
// that is not UTF-8 reads as empty; `hadText` tells such a line from an
// empty one.
struct FirstLine {
  bool hadText = false;
  std::wstring text;
};
FirstLine firstLineOf(std::string_view bytes);

// The strings of multi-string value data (UTF-16LE, each ended by a zero, a
// final empty string ending the list); data ending early ends the last one.
std::vector<std::wstring> multiStrings(const std::vector<unsigned char>& data);

// The folders a Nextcloud or ownCloud desktop client synchronises: every
// "localPath" entry of its settings file (Qt's INI form, where a key's
// groups are joined with '\' and values may be quoted and escaped), without
// a trailing '/'. Nothing when such an entry is empty, not UTF-8, not an
// absolute path or cannot be unescaped.
std::optional<std::vector<std::wstring>> parseSyncClientFolders(std::string_view cfg);

// What the open-source OneDrive client's configuration file tells: lines
// `key = "value"` and '#' comments. `syncDir` is "sync_dir" with a leading
// '~' replaced by `home`, else the client's default "~/OneDrive". Business
// settings (a SharePoint "drive_id", a single "azure_tenant_id", syncing
// business shared items) mark a business account; without them it counts
// as personal, as an account without a "Business" value does. Nothing when
// a line has another shape, a value is not UTF-8, or the folder is not
// absolute.
struct OneDriveClientConfig {
  std::wstring syncDir;
  bool business = false;
};
std::optional<OneDriveClientConfig> parseOneDriveClientConfig(std::string_view text, std::wstring_view home);

// What a cloud file system mount is: the display name of its service and,
// where the service tells it, the account type ("NULL" otherwise).
struct CloudKind {
  std::wstring name;
  std::wstring accountType = L"NULL";
};

// The kind of an rclone mount of `source` ("remote:path", or ":backend:path"
// for a remote made on the fly), given the text of rclone's configuration
// file. The remote's type names the service, through wrapping remotes
// (crypt, alias, ...); a remote of unknown type, or one missing from an
// unreadable or encrypted file, is named after itself.
CloudKind rcloneMountKind(std::string_view config, std::string_view source);

// The kind of a GVfs mount from its folder's name under the GVfs mount
// point ("google-drive:host=...,user=..."); nothing for backends that are
// no cloud storage.
std::optional<CloudKind> gvfsMountKind(std::string_view folderName);

std::wstring lowerCased(std::wstring text);
// Whether `path` lies in `folder`: the lower-cased folder occurs anywhere in
// the lower-cased path. An empty folder lies nowhere.
bool inFolder(std::wstring_view path, std::wstring_view folder);

}  // namespace Halvex::Tessaran::PAL::detail
