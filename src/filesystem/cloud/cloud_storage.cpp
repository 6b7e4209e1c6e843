// Which network share or cloud synchronisation client a path belongs to, and
// which clients are configured.
#include <array>
#include <memory>

#include "filesystem/cloud/cloud_clients.h"
#include "filesystem/cloud/cloud_files.h"
#include "filesystem/unreachable_paths.h"
#include "pal/file_system_cloud.h"
#include "settings/settings_store.h"

namespace Halvex::Tessaran::PAL::FileSystem {

namespace {

using namespace Halvex::Tessaran::PAL::detail;

constexpr const wchar_t* kKeyNote = L"Error Finding Key";
constexpr const wchar_t* kDropboxFile = L"Dropbox/info.json";
constexpr const wchar_t* kLinuxDropboxFile = L".dropbox/info.json";
constexpr std::array<const wchar_t*, 2> kGoogleDatabases = {L"Google/Drive/sync_config.db",
                                                            L"Google/Drive/user_default/sync_config.db"};
constexpr const wchar_t* kBoxText = L"Box/Box/data/sync_root_folder.txt";
constexpr const wchar_t* kBoxSyncText = L"Box Sync/sync_root_folder.txt";
constexpr const wchar_t* kBoxSyncDatabase = L"Box Sync/sync.db";
constexpr const wchar_t* kSkyvault = L"Halvex/Skyvault";
// The Linux clients' files below $XDG_CONFIG_HOME.
constexpr const wchar_t* kNextcloudFile = L"Nextcloud/nextcloud.cfg";
constexpr const wchar_t* kOwnCloudFile = L"ownCloud/owncloud.cfg";
constexpr const wchar_t* kOneDriveClientFile = L"onedrive/config";
// Written once the client is authorised; it runs without a file of settings.
constexpr const wchar_t* kOneDriveClientToken = L"onedrive/refresh_token";
constexpr const wchar_t* kOneDriveAccounts = L"Software\\Microsoft\\OneDrive\\Accounts";
constexpr const wchar_t* kDriveClientKey = L"Software\\Halvex\\Halvex Drive";
// Value sizes the reads allow, in bytes of UTF-16.
constexpr std::size_t kMaxUserFolderBytes = 520;
constexpr std::size_t kMaxWorkspacesBytes = 1560;
// Dropbox keeps a few accounts in its file; a longer file is read cut short
// and then fails to parse.
constexpr std::size_t kMaxDropboxFileBytes = 1 << 20;
constexpr std::size_t kMaxClientSettingsBytes = 1 << 20;
constexpr std::size_t kMaxLineBytes = 259;

void addNote(FileSourceInfo& info, const wchar_t* note) {
  info.sourceName += note;
  info.sourceName += L" | ";
}

void addKeyNote(FileSourceInfo& info) {
  if (info.sourceName.find(kKeyNote) == std::wstring::npos) addNote(info, kKeyNote);
}

// "LocalAppData"'s folder; the note when there is none.
std::optional<std::wstring> localFolderNoted(FileSourceInfo& info) {
  std::optional<std::wstring> local = clientDataFolder(true);
  if (!local) addKeyNote(info);
  return local;
}

void found(FileSourceInfo& info, std::wstring name) {
  info.isCloudOrNetwork = true;
  info.sourceName = std::move(name);
}

bool sameIgnoringCase(const std::wstring& a, const wchar_t* b) {
  return lowerCased(a) == lowerCased(b);
}

// The Dropbox file under "LocalAppData", else under "AppData"; nothing when
// neither exists. `keyMissing` tells whether a folder could not be found.
std::optional<std::wstring> dropboxFile(bool& keyMissing) {
  keyMissing = false;
  const std::optional<std::wstring> local = clientDataFolder(true);
  if (!local) {
    keyMissing = true;
    return std::nullopt;
  }
  std::wstring file = joinedPath(*local, kDropboxFile);
  if (pathExists(file)) return file;
  const std::optional<std::wstring> roaming = clientDataFolder(false);
  if (!roaming) {
    keyMissing = true;
    return std::nullopt;
  }
  file = joinedPath(*roaming, kDropboxFile);
  return pathExists(file) ? std::optional<std::wstring>(file) : std::nullopt;
}

std::optional<std::vector<DropboxAccount>> dropboxAccounts(const std::wstring& file) {
  const std::optional<std::string> text = fileStart(file, kMaxDropboxFileBytes);
  return text ? parseDropboxInfo(*text) : std::nullopt;
}

bool matchDropbox(const std::wstring& file, const wchar_t* path, FileSourceInfo& info) {
  const std::optional<std::vector<DropboxAccount>> accounts = dropboxAccounts(file);
  if (!accounts) {
    addNote(info, L"Error Dropbox");
    return false;
  }
  for (const DropboxAccount& account : *accounts) {
    if (!account.wellFormed || account.path.empty()) {
      addNote(info, L"Error Dropbox");
      return false;
    }
    if (inFolder(path, account.path)) {
      found(info, L"Dropbox");
      info.accountType = account.subscriptionType;
      return true;
    }
  }
  return false;
}

bool dropboxConfigured(const wchar_t* subscriptionType, std::wstring& folder) {
  bool keyMissing = false;
  std::vector<std::wstring> files;
  if (std::optional<std::wstring> file = dropboxFile(keyMissing)) files.push_back(*file);
  if (std::optional<std::wstring> file = homeFile(kLinuxDropboxFile)) files.push_back(*file);
  for (const std::wstring& file : files) {
    const std::optional<std::vector<DropboxAccount>> accounts = dropboxAccounts(file);
    if (!accounts) continue;
    for (const DropboxAccount& account : *accounts) {
      if (account.wellFormed && !account.path.empty() && pathExists(account.path) &&
          sameIgnoringCase(account.subscriptionType, subscriptionType)) {
        folder = account.path;
        return true;
      }
    }
  }
  return false;
}

// A value of an existing key of the user hive, of one of the wanted types
// and no larger than `maxBytes`.
std::optional<StoreValue> userValue(SettingsHive& hive, const std::wstring& key, const wchar_t* name,
                                    std::initializer_list<DWORD> types, std::size_t maxBytes) {
  SettingsHive::KeyId id = 0;
  StoreValue value;
  if (hive.openKey(key, id) != ERROR_SUCCESS || hive.getValue(id, name, value) != ERROR_SUCCESS)
    return std::nullopt;
  if (value.data.size() > maxBytes) return std::nullopt;
  for (DWORD type : types)
    if (value.type == type) return value;
  return std::nullopt;
}

std::wstring oneDriveFolder(SettingsHive& hive, const std::wstring& account) {
  const std::optional<StoreValue> value =
      userValue(hive, account, L"UserFolder", {REG_SZ, REG_EXPAND_SZ}, kMaxUserFolderBytes);
  return value ? stringFromData(value->data) : std::wstring();
}

bool isOneDriveBusiness(SettingsHive& hive, const std::wstring& account) {
  const std::optional<StoreValue> value = userValue(hive, account, L"Business", {REG_DWORD}, sizeof(DWORD));
  return value && value->data.size() == sizeof(DWORD) && value->data[0] == 1 && value->data[1] == 0 &&
         value->data[2] == 0 && value->data[3] == 0;
}

// Opens the OneDrive accounts key and lists its subkeys; the error code of
// whichever failed.
unsigned oneDriveAccounts(SettingsHive& hive, std::vector<std::wstring>& accounts) {
  SettingsHive::KeyId id = 0;
  const unsigned opened = hive.openKey(kOneDriveAccounts, id);
  return opened != ERROR_SUCCESS ? opened : hive.subkeys(id, accounts);
}

bool matchOneDrive(const wchar_t* path, FileSourceInfo& info) {
  const std::shared_ptr<SettingsHive> hive = openHive(HKEY_CURRENT_USER);
  std::vector<std::wstring> accounts;
  const unsigned listed = hive ? oneDriveAccounts(*hive, accounts) : ERROR_FILE_NOT_FOUND;
  if (listed == ERROR_FILE_NOT_FOUND) return false;
  // An accounts key without accounts fails its first enumeration too.
  if (listed != ERROR_SUCCESS || accounts.empty()) {
    addNote(info, L"Error OneDrive");
    return false;
  }
  for (const std::wstring& name : accounts) {
    const std::wstring account = std::wstring(kOneDriveAccounts) + L"\\" + name;
    const std::wstring folder = oneDriveFolder(*hive, account);
    if (folder.empty()) {
      addNote(info, L"Error OneDrive");
      return false;
    }
    if (inFolder(path, folder)) {
      found(info, L"OneDrive");
      info.accountType = isOneDriveBusiness(*hive, account) ? L"Business" : L"Personal";
      return true;
    }
  }
  return false;
}

bool oneDriveAccountConfigured(bool business, std::wstring& folder) {
  const std::shared_ptr<SettingsHive> hive = openHive(HKEY_CURRENT_USER);
  std::vector<std::wstring> accounts;
  if (!hive || oneDriveAccounts(*hive, accounts) != ERROR_SUCCESS) return false;
  for (const std::wstring& name : accounts) {
    const std::wstring account = std::wstring(kOneDriveAccounts) + L"\\" + name;
    const std::wstring userFolder = oneDriveFolder(*hive, account);
    if (userFolder.empty() || !pathExists(userFolder)) continue;
    if (isOneDriveBusiness(*hive, account) == business) {
      folder = userFolder;
      return true;
    }
  }
  return false;
}

// The synchronised folder recorded in a Google Drive database, in the case
// it is stored in, without its four-character prefix.
std::optional<std::wstring> googleDriveFolder(const std::wstring& database) {
  std::optional<std::wstring> value = queryFirstRow(
      database, "select * from data where entry_key='local_sync_root_path'", "data_value", true);
  if (!value || value->size() <= 4) return std::nullopt;
  return value->substr(4);
}

bool matchGoogleDrive(const wchar_t* path, FileSourceInfo& info) {
  const std::optional<std::wstring> local = localFolderNoted(info);
  if (!local) return false;
  for (const wchar_t* name : kGoogleDatabases) {
    const std::wstring database = joinedPath(*local, name);
    if (!pathExists(database)) continue;
    const std::optional<std::wstring> folder = googleDriveFolder(database);
    if (!folder) {
      addNote(info, L"Error Google Drive");
      continue;
    }
    if (inFolder(path, *folder)) {
      found(info, L"Google Drive");
      return true;
    }
  }
  return false;
}

FirstLine textFileLine(const std::wstring& file) {
  const std::optional<std::string> bytes = fileStart(file, kMaxLineBytes);
  return bytes ? firstLineOf(*bytes) : FirstLine();
}

// Box Sync's folder: its text file's first line, else its database's
// setting. Nothing when the database cannot be read.
std::optional<std::wstring> boxSyncFolder(const std::wstring& local) {
  FirstLine line = textFileLine(joinedPath(local, kBoxSyncText));
  if (!line.text.empty()) return line.text;
  return queryFirstRow(joinedPath(local, kBoxSyncDatabase),
                       "select * from preferences where name='sync_directory_path'", "value", false);
}

bool boxSyncPresent(const std::wstring& local) {
  return pathExists(joinedPath(local, kBoxSyncDatabase)) && pathExists(joinedPath(local, kBoxSyncText));
}

bool matchBox(const wchar_t* path, FileSourceInfo& info) {
  const std::optional<std::wstring> local = localFolderNoted(info);
  if (!local) return false;
  const std::wstring text = joinedPath(*local, kBoxText);
  if (pathExists(text)) {
    const FirstLine line = textFileLine(text);
    if (line.text.empty() && line.hadText) addNote(info, L"Error Box");
    if (inFolder(path, line.text)) {
      found(info, L"Box");
      return true;
    }
  }
  return false;
}

bool matchBoxSync(const wchar_t* path, FileSourceInfo& info) {
  const std::optional<std::wstring> local = localFolderNoted(info);
  if (!local) return false;
  if (!boxSyncPresent(*local)) return false;
  const std::optional<std::wstring> folder = boxSyncFolder(*local);
  if (!folder) {
    addNote(info, L"Error Box");
    return false;
  }
  if (inFolder(path, *folder)) {
    found(info, L"Box");
    return true;
  }
  return false;
}

bool matchSkyvault(const wchar_t* path, FileSourceInfo& info) {
  const std::optional<std::wstring> local = localFolderNoted(info);
  if (!local) return false;
  if (!inFolder(path, joinedPath(*local, kSkyvault))) return false;
  found(info, L"PyraDM");
  return true;
}

bool matchDriveClient(const wchar_t* path, FileSourceInfo& info) {
  const std::shared_ptr<SettingsHive> hive = openHive(HKEY_CURRENT_USER);
  SettingsHive::KeyId id = 0;
  const unsigned opened = hive ? hive->openKey(kDriveClientKey, id) : ERROR_FILE_NOT_FOUND;
  if (opened == ERROR_FILE_NOT_FOUND) return false;
  if (opened != ERROR_SUCCESS) {
    addNote(info, L"Error Linkwell");
    return false;
  }
  const std::optional<StoreValue> value =
      userValue(*hive, kDriveClientKey, L"Workspaces", {REG_MULTI_SZ}, kMaxWorkspacesBytes);
  const std::vector<std::wstring> workspaces =
      value ? multiStrings(value->data) : std::vector<std::wstring>();
  if (workspaces.empty()) {
    addNote(info, L"Error Linkwell");
    return false;
  }
  for (const std::wstring& workspace : workspaces) {
    if (!inFolder(path, workspace)) continue;
    const std::size_t slash = workspace.rfind(L'/');
    if (slash == std::wstring::npos) {
      addNote(info, L"Error Linkwell");
      return false;
    }
    found(info, workspace.substr(slash + 1));
    return true;
  }
  return false;
}

bool matchSyncClient(const wchar_t* file, const wchar_t* name, const wchar_t* note, const wchar_t* path,
                     FileSourceInfo& info) {
  const std::optional<std::wstring> config = linuxConfigFolder();
  if (!config) return false;
  const std::wstring settings = joinedPath(*config, file);
  if (!pathExists(settings)) return false;
  const std::optional<std::string> text = fileStart(settings, kMaxClientSettingsBytes);
  const std::optional<std::vector<std::wstring>> folders =
      text ? parseSyncClientFolders(*text) : std::nullopt;
  if (!folders) {
    addNote(info, note);
    return false;
  }
  for (const std::wstring& folder : *folders) {
    if (inFolder(path, folder)) {
      found(info, name);
      return true;
    }
  }
  return false;
}

// The open-source OneDrive client's settings; nothing when it is not set up
// here. `unreadable` tells a file that could not be read or understood.
std::optional<OneDriveClientConfig> oneDriveClient(bool& unreadable) {
  unreadable = false;
  const std::optional<std::wstring> config = linuxConfigFolder();
  if (!config) return std::nullopt;
  const std::wstring file = joinedPath(*config, kOneDriveClientFile);
  std::optional<std::string> text;
  if (pathExists(file))
    text = fileStart(file, kMaxClientSettingsBytes);
  else if (pathExists(joinedPath(*config, kOneDriveClientToken)))
    text.emplace();
  else
    return std::nullopt;
  std::optional<OneDriveClientConfig> client =
      text ? parseOneDriveClientConfig(*text, homeVariable()) : std::nullopt;
  unreadable = !client;
  return client;
}

const wchar_t* oneDriveAccountType(bool business) {
  return business ? L"Business" : L"Personal";
}

bool matchOneDriveClient(const wchar_t* path, FileSourceInfo& info) {
  bool unreadable = false;
  const std::optional<OneDriveClientConfig> client = oneDriveClient(unreadable);
  if (unreadable) addNote(info, L"Error OneDrive");
  if (!client || !inFolder(path, client->syncDir)) return false;
  found(info, L"OneDrive");
  info.accountType = oneDriveAccountType(client->business);
  return true;
}

// The first mounted cloud file system of the service `name` and, unless
// null, the account type.
bool mountConfigured(const wchar_t* name, const wchar_t* accountType, std::wstring& folder) {
  for (const CloudMount& mount : cloudMounts()) {
    if (mount.kind.name != name || (accountType && mount.kind.accountType != accountType)) continue;
    folder = mount.folder;
    return true;
  }
  return false;
}

bool oneDriveConfigured(bool business, std::wstring& folder) {
  if (oneDriveAccountConfigured(business, folder)) return true;
  bool unreadable = false;
  const std::optional<OneDriveClientConfig> client = oneDriveClient(unreadable);
  if (client && client->business == business && pathExists(client->syncDir)) {
    folder = client->syncDir;
    return true;
  }
  return mountConfigured(L"OneDrive", oneDriveAccountType(business), folder);
}

bool googleDriveDatabaseConfigured(std::wstring& folder) {
  const std::optional<std::wstring> local = clientDataFolder(true);
  if (!local) return false;
  for (const wchar_t* name : kGoogleDatabases) {
    const std::optional<std::wstring> found = googleDriveFolder(joinedPath(*local, name));
    // Looked up as stored: folder names here are case-sensitive.
    if (found && pathExists(*found)) {
      folder = lowerCased(*found);
      return true;
    }
  }
  return false;
}

bool boxClientConfigured(std::wstring& folder) {
  const std::optional<std::wstring> local = clientDataFolder(true);
  if (!local) return false;
  const std::wstring text = joinedPath(*local, kBoxText);
  if (pathExists(text)) {
    const FirstLine line = textFileLine(text);
    if (!line.text.empty() && pathExists(line.text)) {
      folder = line.text;
      return true;
    }
  }
  if (!boxSyncPresent(*local)) return false;
  const std::optional<std::wstring> synced = boxSyncFolder(*local);
  if (!synced || synced->empty() || !pathExists(*synced)) return false;
  folder = *synced;
  return true;
}

}  // namespace

FileSourceInfo getFileSourceInfoForDrive(const wchar_t* path) {
  FileSourceInfo info;
  if (path == nullptr) path = L"";
  // rclone mounts are network file systems, but their remote names them
  // better than "Local Network" does.
  const std::optional<CloudMount> mount = cloudMountHolding(path);
  if (!mount && isTablePath(path)) {
    found(info, L"Local Network");
    return info;
  }
  bool keyMissing = false;
  const std::optional<std::wstring> dropbox = dropboxFile(keyMissing);
  if (keyMissing) addKeyNote(info);
  if (dropbox && matchDropbox(*dropbox, path, info)) return info;
  if (matchOneDrive(path, info) || matchGoogleDrive(path, info) || matchBox(path, info) ||
      matchBoxSync(path, info) || matchSkyvault(path, info) || matchDriveClient(path, info))
    return info;
  // The Linux clients, after those the application knows everywhere.
  const std::optional<std::wstring> linuxDropbox = homeFile(kLinuxDropboxFile);
  if (linuxDropbox && matchDropbox(*linuxDropbox, path, info)) return info;
  if (matchSyncClient(kNextcloudFile, L"Nextcloud", L"Error Nextcloud", path, info) ||
      matchSyncClient(kOwnCloudFile, L"ownCloud", L"Error ownCloud", path, info) ||
      matchOneDriveClient(path, info))
    return info;
  if (mount) {
    found(info, mount->kind.name);
    info.accountType = mount->kind.accountType;
    return info;
  }
  info.sourceName += L"Local";
  return info;
}

bool isDropboxBusinessConfigured(std::wstring& folder) {
  return dropboxConfigured(L"Business", folder);
}

bool isDropboxPersonalConfigured(std::wstring& folder) {
  return dropboxConfigured(L"Basic", folder);
}

bool isOneDriveBusinessConfigured(std::wstring& folder) {
  return oneDriveConfigured(true, folder);
}

bool isOneDrivePersonalConfigured(std::wstring& folder) {
  return oneDriveConfigured(false, folder);
}

bool isGoogleDriveConfigured(std::wstring& folder) {
  return googleDriveDatabaseConfigured(folder) || mountConfigured(L"Google Drive", nullptr, folder);
}

bool isBoxConfigured(std::wstring& folder) {
  return boxClientConfigured(folder) || mountConfigured(L"Box", nullptr, folder);
}

}  // namespace Halvex::Tessaran::PAL::FileSystem
