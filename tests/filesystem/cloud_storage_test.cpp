// Cloud storage detection against client files, databases and settings keys
// made in a temporary home.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "filesystem/cloud/cloud_clients.h"
#include "filesystem/mount_table.h"
#include "pal/file_system_cloud.h"
#include "settings/settings_store.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace detail = Halvex::Tessaran::PAL::detail;
using Halvex::Tessaran::PAL::FileSystem::FileSourceInfo;
using namespace Halvex::Tessaran::PAL::FileSystem;

class CloudStorage : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = tmp_.path();
    home_ = root_ + "/home";
    local_ = root_ + "/local";
    roaming_ = root_ + "/roaming";
    fs::create_directories(home_);
    setenv("HOME", home_.c_str(), 1);
    setenv("LocalAppData", local_.c_str(), 1);
    setenv("AppData", roaming_.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    setenv("KVPAL_USER_HIVE", (root_ + "/hives/user.db").c_str(), 1);
    setenv("KVPAL_MACHINE_HIVE", (root_ + "/hives/machine.db").c_str(), 1);
    unsetenv("RCLONE_CONFIG");
  }
  void TearDown() override { detail::setMountInfoSource(""); }

  static void write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  static void makeDatabase(const std::string& path, const char* sql) {
    fs::create_directories(fs::path(path).parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }

  static void setValue(const std::wstring& key, const wchar_t* name, DWORD type,
                       std::vector<unsigned char> data) {
    const auto hive = detail::openHive(detail::HKEY_CURRENT_USER);
    detail::SettingsHive::KeyId id = 0;
    ASSERT_EQ(hive->createKey(key, id), 0u);
    ASSERT_EQ(hive->setValue(id, {name, type, std::move(data)}), 0u);
  }
  static void setString(const std::wstring& key, const wchar_t* name, const std::string& value) {
    setValue(key, name, detail::REG_SZ, detail::stringData(detail::utf8ToWide(value)));
  }
  static void setDword(const std::wstring& key, const wchar_t* name, DWORD value) {
    setValue(key, name, detail::REG_DWORD,
             {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
              static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)});
  }
  static void setStrings(const std::wstring& key, const wchar_t* name,
                         const std::vector<std::string>& values) {
    std::vector<unsigned char> data;
    for (const std::string& v : values) {
      const std::vector<unsigned char> one = detail::stringData(detail::utf8ToWide(v));
      data.insert(data.end(), one.begin(), one.end());
    }
    data.insert(data.end(), {0, 0});
    setValue(key, name, detail::REG_MULTI_SZ, std::move(data));
  }

  static FileSourceInfo sourceOf(const std::string& path) {
    return getFileSourceInfoForDrive(detail::utf8ToWide(path).c_str());
  }
  static std::string text(const std::wstring& w) { return detail::wideToUtf8(w); }
  static void expectSource(const FileSourceInfo& info, bool cloud, const std::string& name,
                           const std::string& account) {
    EXPECT_EQ(info.isCloudOrNetwork, cloud);
    EXPECT_EQ(text(info.sourceName), name);
    EXPECT_EQ(text(info.accountType), account);
  }

  static constexpr const wchar_t* kAccounts = L"Software\\Microsoft\\OneDrive\\Accounts";
  static constexpr const wchar_t* kDriveClient = L"Software\\Halvex\\Halvex Drive";

  kvpal::test::TempDir tmp_{"kvpal-cloud"};
  std::string root_, home_, local_, roaming_;
};

TEST_F(CloudStorage, NetworkPathReadsNoClient) {
  write(local_ + "/Dropbox/info.json", "{ not json");
  for (const char* path : {"//server/share/a.dwg", "\\\\server\\share\\a.dwg"}) {
    SCOPED_TRACE(path);
    expectSource(sourceOf(path), true, "Local Network", "NULL");
  }
}

TEST_F(CloudStorage, LocalPathWithoutClientsIsLocalOnly) {
  fs::create_directories(local_ + "/Google/Drive");
  expectSource(sourceOf(root_ + "/docs/a.dwg"), false, "Local", "NULL");
  // Nothing is created in a client's folder by looking.
  std::wstring folder = L"unchanged";
  EXPECT_FALSE(isGoogleDriveConfigured(folder));
  EXPECT_EQ(folder, L"unchanged");
  EXPECT_FALSE(fs::exists(local_ + "/Google/Drive/sync_config.db"));
}

// Where the Dropbox file is looked for as the variables and the home folder
// are set; the path lies in the folder the file records.
TEST_F(CloudStorage, ClientFoldersFollowVariablesOrXdgFolders) {
  struct Case {
    const char* name;
    bool local, roaming, home, xdgData;
    std::string file;  // below the temporary root; empty: no file
    const char* expected;
  };
  const std::string dropbox = "/Dropbox/info.json";
  const Case cases[] = {
      {"nothing to go by", false, false, false, false, "", "Error Finding Key | Local"},
      {"no variables, file in XDG data", false, false, true, false, "/home/.local/share" + dropbox,
       "Dropbox"},
      {"XDG_DATA_HOME", false, false, true, true, "/xdgdata" + dropbox, "Dropbox"},
      {"no variables, file in XDG config", false, false, true, false, "/home/.config" + dropbox, "Dropbox"},
      {"LocalAppData lacks it, AppData has it", true, true, false, false, "/roaming" + dropbox, "Dropbox"},
      {"LocalAppData, no home", true, false, false, false, "/local" + dropbox, "Dropbox"},
      {"LocalAppData lacks it, no AppData nor home", true, false, false, false, "",
       "Error Finding Key | Local"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_ + "/home");
    fs::remove_all(root_ + "/local");
    fs::remove_all(root_ + "/roaming");
    fs::remove_all(root_ + "/xdgdata");
    c.local ? setenv("LocalAppData", local_.c_str(), 1) : unsetenv("LocalAppData");
    c.roaming ? setenv("AppData", roaming_.c_str(), 1) : unsetenv("AppData");
    c.home ? setenv("HOME", home_.c_str(), 1) : unsetenv("HOME");
    c.xdgData ? setenv("XDG_DATA_HOME", (root_ + "/xdgdata").c_str(), 1) : unsetenv("XDG_DATA_HOME");
    if (!c.file.empty())
      write(root_ + c.file, R"({"personal": {"path": "/data/box1", "subscription_type": "Basic"}})");
    EXPECT_EQ(text(sourceOf("/data/box1/a.dwg").sourceName), c.expected);
  }
}

TEST_F(CloudStorage, DropboxAccountsMatchAnywhereInThePath) {
  struct Case {
    const char* name;
    const char* json;
    const char* path;
    bool cloud;
    const char* source;
    const char* account;
  };
  const char* basic = R"({"personal": {"path": "/Data/Dropbox", "subscription_type": "Basic"}})";
  const Case cases[] = {
      {"other letter case", basic, "/data/DROPBOX/a.dwg", true, "Dropbox", "Basic"},
      {"folder in the middle", basic, "/mnt/x/Data/Dropbox/y", true, "Dropbox", "Basic"},
      {"elsewhere", basic, "/Data/Other/a.dwg", false, "Local", "NULL"},
      {"members by name",
       R"({"z": {"path": "/Data", "subscription_type": "Basic"},
           "a": {"path": "/Data/Dropbox", "subscription_type": "Business"}})",
       "/Data/Dropbox/f", true, "Dropbox", "Business"},
      {"not JSON", "{\"a\": ", "/Data/Dropbox/f", false, "Error Dropbox | Local", "NULL"},
      {"array at the top", "[1, 2]", "/Data/Dropbox/f", false, "Error Dropbox | Local", "NULL"},
      {"account not an object", R"({"a": "x"})", "/Data/Dropbox/f", false, "Error Dropbox | Local", "NULL"},
      {"path not a string stops the search",
       R"({"a": {"path": 1, "subscription_type": "Basic"},
           "b": {"path": "/Data/Dropbox", "subscription_type": "Basic"}})",
       "/Data/Dropbox/f", false, "Error Dropbox | Local", "NULL"},
      {"empty path", R"({"a": {"path": "", "subscription_type": "Basic"}})", "/x", false,
       "Error Dropbox | Local", "NULL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write(local_ + "/Dropbox/info.json", c.json);
    expectSource(sourceOf(c.path), c.cloud, c.source, c.account);
  }
}

TEST_F(CloudStorage, DropboxConfiguredBySubscriptionType) {
  const std::string a = root_ + "/dbA", b = root_ + "/dbB";
  fs::create_directories(a);
  fs::create_directories(b);
  struct Case {
    const char* name;
    std::string json;
    std::string personal, business;  // empty: false
  };
  auto account = [](const char* name, const std::string& path, const char* type) {
    return "\"" + std::string(name) + "\": {\"path\": \"" + path + "\", \"subscription_type\": \"" + type +
           "\"}";
  };
  const Case cases[] = {
      {"lower-case basic", "{" + account("a", a, "basic") + "}", a, ""},
      {"Pro is neither", "{" + account("a", a, "Pro") + "}", "", ""},
      {"missing folder skipped",
       "{" + account("a", root_ + "/gone", "Business") + "," + account("b", b, "BUSINESS") + "}", "", b},
      {"malformed member skipped", R"({"a": {"path": 3}, )" + account("b", b, "Basic") + "}", b, ""},
      {"not JSON", "{", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write(local_ + "/Dropbox/info.json", c.json);
    std::wstring personal = L"unchanged", business = L"unchanged";
    EXPECT_EQ(isDropboxPersonalConfigured(personal), !c.personal.empty());
    EXPECT_EQ(text(personal), c.personal.empty() ? "unchanged" : c.personal);
    EXPECT_EQ(isDropboxBusinessConfigured(business), !c.business.empty());
    EXPECT_EQ(text(business), c.business.empty() ? "unchanged" : c.business);
  }
}

TEST_F(CloudStorage, OneDriveAccountsFromSettings) {
  const std::wstring accounts = kAccounts;
  const std::string biz = root_ + "/odBiz", me = root_ + "/odMe";
  fs::create_directories(biz);
  fs::create_directories(me);
  setString(accounts + L"\\Business1", L"UserFolder", biz);
  setDword(accounts + L"\\Business1", L"Business", 1);
  setString(accounts + L"\\Personal", L"UserFolder", me);
  expectSource(sourceOf(me + "/a.dwg"), true, "OneDrive", "Personal");
  std::string upper = biz + "/A.DWG";
  for (char& ch : upper) ch = static_cast<char>(toupper(ch));
  expectSource(sourceOf(upper), true, "OneDrive", "Business");
  std::wstring folder;
  EXPECT_TRUE(isOneDriveBusinessConfigured(folder));
  EXPECT_EQ(text(folder), biz);
  EXPECT_TRUE(isOneDrivePersonalConfigured(folder));
  EXPECT_EQ(text(folder), me);

  // A business value other than 1 is personal.
  setDword(accounts + L"\\Business1", L"Business", 2);
  expectSource(sourceOf(biz + "/a.dwg"), true, "OneDrive", "Personal");
  folder = L"unchanged";
  EXPECT_FALSE(isOneDriveBusinessConfigured(folder));
  EXPECT_EQ(folder, L"unchanged");

  // An account without a folder, enumerated first, ends the lookup with a
  // note; the configured queries pass over it.
  setString(accounts + L"\\Aaa", L"Other", "x");
  expectSource(sourceOf(me + "/a.dwg"), false, "Error OneDrive | Local", "NULL");
  EXPECT_TRUE(isOneDrivePersonalConfigured(folder));
  EXPECT_EQ(text(folder), biz);
}

TEST_F(CloudStorage, OneDriveAccountsKeyWithoutAccountsIsNoted) {
  setString(kAccounts, L"Stray", "x");
  expectSource(sourceOf(root_ + "/a.dwg"), false, "Error OneDrive | Local", "NULL");
}

TEST_F(CloudStorage, GoogleDriveFolderFromDatabase) {
  const std::string first = local_ + "/Google/Drive/sync_config.db";
  const std::string second = local_ + "/Google/Drive/user_default/sync_config.db";
  const std::string folder = root_ + "/My GDrive";
  fs::create_directories(folder);
  const std::string row = "insert into data values('local_sync_root_path', '\\\\?\\" + folder + "');";
  struct Case {
    const char* name;
    std::string firstSql, secondSql;  // empty: no database
    const char* source;
  };
  const std::string table = "create table data(entry_key text, data_value text);";
  const Case cases[] = {
      {"first database", table + row, "", "Google Drive"},
      {"second database", "", table + row, "Google Drive"},
      {"two rows, then the second database", table + row + row, table + row, "Google Drive"},
      {"no value column",
       "create table data(entry_key text, other text);"
       "insert into data values('local_sync_root_path', 'x');",
       "", "Error Google Drive | Local"},
      {"value no longer than its prefix", table + "insert into data values('local_sync_root_path', 'abcd');",
       "", "Error Google Drive | Local"},
      {"not a database", "", "", "Error Google Drive | Local"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(local_ + "/Google");
    if (!c.firstSql.empty()) makeDatabase(first, c.firstSql.c_str());
    if (!c.secondSql.empty()) makeDatabase(second, c.secondSql.c_str());
    if (c.firstSql.empty() && c.secondSql.empty()) write(first, "garbage that is no database file at all");
    // A later match replaces the notes, as with the two-row database.
    expectSource(sourceOf(folder + "/A.dwg"), std::string(c.source) == "Google Drive", c.source, "NULL");
  }
  fs::remove_all(local_ + "/Google");
  makeDatabase(second, (table + row).c_str());
  std::wstring found;
  EXPECT_TRUE(isGoogleDriveConfigured(found));
  std::string lower = folder;
  for (char& ch : lower) ch = static_cast<char>(tolower(ch));
  EXPECT_EQ(text(found), lower);
  EXPECT_FALSE(fs::exists(first));
}

TEST_F(CloudStorage, BoxAndBoxSyncFolders) {
  const std::string boxText = local_ + "/Box/Box/data/sync_root_folder.txt";
  const std::string syncText = local_ + "/Box Sync/sync_root_folder.txt";
  const std::string syncDb = local_ + "/Box Sync/sync.db";
  const std::string boxFolder = root_ + "/BoxFolder", syncFolder = root_ + "/SyncFolder";
  fs::create_directories(boxFolder);
  fs::create_directories(syncFolder);
  const std::string prefs =
      "create table preferences(name text, value text);"
      "insert into preferences values('sync_directory_path', '" +
      syncFolder + "');";
  using Text = std::optional<std::string>;
  struct Case {
    const char* name;
    Text box, syncText, syncSql;  // nothing: no such file
    std::string path;
    const char* source;
    std::string configured;  // empty: false
  };
  const Case cases[] = {
      {"empty Box line", "\nsecond", {}, {}, root_ + "/a", "Local", ""},
      {"Box folder", boxFolder + "\nsecond", {}, {}, boxFolder + "/a", "Box", boxFolder},
      {"Box line not UTF-8", "\xff\xfe/x\n", {}, {}, root_ + "/a", "Error Box | Local", ""},
      {"empty Box Sync line: the database decides", {}, "", prefs, syncFolder + "/a", "Box", syncFolder},
      {"Box Sync line before the database",
       {},
       syncFolder + "\n",
       "create table other(x);",
       syncFolder + "/a",
       "Box",
       syncFolder},
      {"Box Sync database without the table",
       {},
       "",
       "create table other(x);",
       syncFolder + "/a",
       "Error Box | Local",
       ""},
      {"Box Sync text without database", {}, syncFolder, {}, syncFolder + "/a", "Local", ""},
      {"Box folder gone, Box Sync configured", root_ + "/gone", "", prefs, syncFolder + "/a", "Box",
       syncFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(local_);
    if (c.box) write(boxText, *c.box);
    if (c.syncText) write(syncText, *c.syncText);
    if (c.syncSql) makeDatabase(syncDb, c.syncSql->c_str());
    expectSource(sourceOf(c.path), std::string(c.source) == "Box", c.source, "NULL");
    std::wstring folder = L"unchanged";
    EXPECT_EQ(isBoxConfigured(folder), !c.configured.empty());
    EXPECT_EQ(text(folder), c.configured.empty() ? "unchanged" : c.configured);
  }
}

TEST_F(CloudStorage, LaterSourcesAndOrder) {
  // Web and mobile data needs no folder on disk.
  expectSource(sourceOf(local_ + "/halvex/skyvault/f.dwg"), true, "PyraDM", "NULL");

  setStrings(kDriveClient, L"Workspaces", {root_ + "/ws/Alpha", root_ + "/ws/Beta"});
  expectSource(sourceOf(root_ + "/ws/beta/f.dwg"), true, "Beta", "NULL");
  expectSource(sourceOf(root_ + "/ws/Gamma/f.dwg"), false, "Local", "NULL");
  setStrings(kDriveClient, L"Workspaces", {"ws"});
  expectSource(sourceOf(root_ + "/ws/f.dwg"), false, "Error Linkwell | Local", "NULL");
  setStrings(kDriveClient, L"Workspaces", {""});
  expectSource(sourceOf(root_ + "/ws/f.dwg"), false, "Error Linkwell | Local", "NULL");
  setString(kDriveClient, L"Workspaces", root_ + "/ws/Alpha");
  expectSource(sourceOf(root_ + "/ws/Alpha/f.dwg"), false, "Error Linkwell | Local", "NULL");

  // Dropbox is asked before OneDrive.
  setString(std::wstring(kAccounts) + L"\\Personal", L"UserFolder", root_ + "/shared");
  write(local_ + "/Dropbox/info.json",
        R"({"a": {"path": ")" + root_ + R"(/shared", "subscription_type": "Business"}})");
  expectSource(sourceOf(root_ + "/shared/f"), true, "Dropbox", "Business");
}

TEST_F(CloudStorage, LinuxDropboxClient) {
  const std::string folder = home_ + "/Dropbox";
  fs::create_directories(folder);
  write(home_ + "/.dropbox/info.json",
        R"({"personal": {"path": ")" + folder + R"(", "subscription_type": "Basic"}})");
  expectSource(sourceOf(folder + "/a.dwg"), true, "Dropbox", "Basic");
  std::wstring found;
  EXPECT_TRUE(isDropboxPersonalConfigured(found));
  EXPECT_EQ(text(found), folder);
  write(home_ + "/.dropbox/info.json", "]");
  expectSource(sourceOf(folder + "/a.dwg"), false, "Error Dropbox | Local", "NULL");
}

TEST(CloudClientFiles, SyncClientFolders) {
  using Folders = std::optional<std::vector<std::wstring>>;
  const struct {
    const char* name;
    std::string cfg;
    Folders folders;
  } cases[] = {
      {"accounts and folders",
       "[General]\nlocalPath=/not/a/folder/key/either\n[Accounts]\n0\\url=https://c.example\n"
       "0\\Folders\\1\\localPath=/home/u/Nextcloud/\n0\\Folders\\1\\journalPath=.sync.db\n"
       "1\\FoldersWithPlaceholders\\2\\localPath = /data/Work\r\n",
       std::vector<std::wstring>{L"/not/a/folder/key/either", L"/home/u/Nextcloud", L"/data/Work"}},
      {"no folders", "[Accounts]\n0\\url=https://c.example\n", std::vector<std::wstring>{}},
      {"other keys ending alike", "0\\Folders\\1\\oldlocalPath=relative\n", std::vector<std::wstring>{}},
      {"quoted with comma and semicolon", "0\\Folders\\1\\localPath=\"/d/a, b; c\"\n",
       std::vector<std::wstring>{L"/d/a, b; c"}},
      {"escapes written without a codec", "localPath=/d/\\x41f\\x430\\x43f\\x43a\\x430\\t\\\\x\n",
       std::vector<std::wstring>{L"/d/\u041f\u0430\u043f\u043a\u0430\t\\x"}},
      {"surrogate pair escaped", "localPath=/d/\\xd83d\\xde00\n",
       std::vector<std::wstring>{L"/d/\U0001F600"}},
      {"UTF-8 text", "localPath=/d/caf\xc3\xa9\n", std::vector<std::wstring>{L"/d/caf\u00e9"}},
      {"at-sign kept", "localPath=\"/d/@@x\"\n", std::vector<std::wstring>{L"/d/@@x"}},
      {"at-sign escaped at the start", "localPath=@@/d\n", Folders{}},
      {"empty", "0\\Folders\\1\\localPath=\n", Folders{}},
      {"relative", "localPath=Nextcloud\n", Folders{}},
      {"a list", "localPath=/a,/b\n", Folders{}},
      {"a variant", "localPath=@Variant(\\0\\0)\n", Folders{}},
      {"unterminated quote", "localPath=\"/d\n", Folders{}},
      {"not UTF-8", "localPath=/d/\xff\n", Folders{}},
      {"escaped zero", "localPath=/d/\\0\n", Folders{}},
      {"lone surrogate", "localPath=/d/\\xd800\n", Folders{}},
      {"escape past a unit", "localPath=/d/\\x110000\n", Folders{}},
      {"backslash at the end", "localPath=/d\\", Folders{}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(detail::parseSyncClientFolders(c.cfg), c.folders);
  }
}

TEST(CloudClientFiles, OneDriveClientConfig) {
  const struct {
    const char* name;
    std::string text;
    const wchar_t* home;
    const wchar_t* folder;  // null: rejected
    bool business;
  } cases[] = {
      {"no settings: the default", "", L"/home/u", L"/home/u/OneDrive", false},
      {"comments and blank lines", "# sync_dir = \"/x\"\n\n  \n", L"/home/u/", L"/home/u/OneDrive", false},
      {"sync_dir below home", "sync_dir = \"~/Cloud/OD/\"\n", L"/home/u", L"/home/u/Cloud/OD", false},
      {"absolute sync_dir", "sync_dir=\"/srv/od\"\r\n", L"", L"/srv/od", false},
      {"SharePoint library", "drive_id = \"b!abc\"\n", L"/home/u", L"/home/u/OneDrive", true},
      {"single tenant", "azure_tenant_id = \"contoso\"\n", L"/h", L"/h/OneDrive", true},
      {"empty business settings", "drive_id = \"\"\nazure_tenant_id = \"\"\n", L"/h", L"/h/OneDrive", false},
      {"business shared items", "sync_business_shared_items = \"true\"\n", L"/h", L"/h/OneDrive", true},
      {"shared items off", "sync_business_shared_items = \"false\"\n", L"/h", L"/h/OneDrive", false},
      {"no home for the default", "", L"", nullptr, false},
      {"relative sync_dir", "sync_dir = \"OneDrive\"\n", L"/h", nullptr, false},
      {"empty sync_dir", "sync_dir = \"\"\n", L"/h", nullptr, false},
      {"unquoted value", "sync_dir = /srv/od\n", L"/h", nullptr, false},
      {"no key", " = \"/srv\"\n", L"/h", nullptr, false},
      {"odd key", "sync dir = \"/srv\"\n", L"/h", nullptr, false},
      {"stray text", "sync_dir = \"/srv\"\njunk\n", L"/h", nullptr, false},
      {"lone quote", "sync_dir = \"\n", L"/h", nullptr, false},
      {"not UTF-8", "sync_dir = \"/srv/\xc3\"\n", L"/h", nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto config = detail::parseOneDriveClientConfig(c.text, c.home);
    ASSERT_EQ(config.has_value(), c.folder != nullptr);
    if (!config) continue;
    EXPECT_EQ(config->syncDir, c.folder);
    EXPECT_EQ(config->business, c.business);
  }
}

TEST(CloudClientFiles, RcloneMountKinds) {
  const std::string config =
      "# remotes\n"
      "[gdrive]\ntype = drive\nscope = drive\n"
      "[work]\ntype = onedrive\ndrive_type = business\n"
      "[site]\ntype = onedrive\ndrive_type = documentLibrary\n"
      "[me]\ntype = onedrive\ndrive_type = personal\n"
      "[box]\ntype = box\n"
      "[dav]\ntype = webdav\nvendor = nextcloud\n"
      "[oc]\ntype = webdav\nvendor = owncloud\n"
      "[plain]\ntype = webdav\nvendor = other\n"
      "[secret]\ntype = crypt\nremote = gdrive:vault\n"
      "[short]\ntype = alias\nremote = secret:\n"
      "[loopA]\ntype = alias\nremote = loopB:\n"
      "[loopB]\ntype = alias\nremote = loopA:\n"
      "[s3]\ntype = s3\n";
  const struct {
    std::string config;
    const char* source;
    const wchar_t* name;
    const wchar_t* account;
  } cases[] = {
      {config, "gdrive:", L"Google Drive", L"NULL"},
      {config, "gdrive:Docs/2024", L"Google Drive", L"NULL"},
      {config, "work:", L"OneDrive", L"Business"},
      {config, "site:", L"OneDrive", L"Business"},
      {config, "me:", L"OneDrive", L"Personal"},
      {config, "box:", L"Box", L"NULL"},
      {config, "dav:", L"Nextcloud", L"NULL"},
      {config, "oc:", L"ownCloud", L"NULL"},
      {config, "plain:", L"plain", L"NULL"},
      {config, "short:", L"Google Drive", L"NULL"},
      {config, "loopA:", L"loopA", L"NULL"},
      {config, "s3:bucket", L"s3", L"NULL"},
      {config, "missing:", L"missing", L"NULL"},
      {config, ":drive:", L"Google Drive", L"NULL"},
      {config, ":onedrive,drive_type=business:", L"OneDrive", L"Business"},
      {config, ":onedrive,region=global:path", L"OneDrive", L"Personal"},
      {config, ":sftp,host=h:", L"sftp", L"NULL"},
      {"# Encrypted rclone configuration File\n\nRCLONE_ENCRYPT_V0:\nabc=\n", "gdrive:", L"gdrive", L"NULL"},
      {"", "nocolon", L"nocolon", L"NULL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    const detail::CloudKind kind = detail::rcloneMountKind(c.config, c.source);
    EXPECT_EQ(kind.name, c.name);
    EXPECT_EQ(kind.accountType, c.account);
  }

  EXPECT_EQ(detail::gvfsMountKind("google-drive:host=gmail.com,user=jo")->name, L"Google Drive");
  EXPECT_EQ(detail::gvfsMountKind("onedrive:host=outlook.com,user=jo")->accountType, L"Personal");
  for (const char* other : {"smb-share:server=s,share=x", "mtp:host=phone", "sftp:host=h", ""})
    EXPECT_FALSE(detail::gvfsMountKind(other)) << other;
}

// The Linux clients' own files in the temporary home, after the sources the
// application knows everywhere.
TEST_F(CloudStorage, LinuxSyncClients) {
  const std::string config = home_ + "/.config";
  const std::string next = home_ + "/Nextcloud", own = home_ + "/ownCloud", od = home_ + "/OneDrive";
  for (const std::string& folder : {next, own, od}) fs::create_directories(folder);
  write(config + "/Nextcloud/nextcloud.cfg", "[Accounts]\n0\\Folders\\1\\localPath=" + next + "/\n");
  write(config + "/ownCloud/owncloud.cfg", "[Accounts]\n0\\Folders\\1\\localPath=" + own + "\n");
  expectSource(sourceOf(next + "/a.dwg"), true, "Nextcloud", "NULL");
  expectSource(sourceOf(own + "/sub/a.dwg"), true, "ownCloud", "NULL");
  expectSource(sourceOf(next), true, "Nextcloud", "NULL");

  // The client runs on its defaults once authorised.
  expectSource(sourceOf(od + "/a.dwg"), false, "Local", "NULL");
  write(config + "/onedrive/refresh_token", "token");
  expectSource(sourceOf(od + "/a.dwg"), true, "OneDrive", "Personal");
  std::wstring folder = L"unchanged";
  EXPECT_FALSE(isOneDriveBusinessConfigured(folder));
  EXPECT_EQ(folder, L"unchanged");
  EXPECT_TRUE(isOneDrivePersonalConfigured(folder));
  EXPECT_EQ(text(folder), od);

  const std::string work = root_ + "/Work OD";
  fs::create_directories(work);
  write(config + "/onedrive/config", "sync_dir = \"" + work + "\"\nazure_tenant_id = \"contoso\"\n");
  expectSource(sourceOf(work + "/a.dwg"), true, "OneDrive", "Business");
  EXPECT_TRUE(isOneDriveBusinessConfigured(folder));
  EXPECT_EQ(text(folder), work);
  folder = L"unchanged";
  EXPECT_FALSE(isOneDrivePersonalConfigured(folder));
  EXPECT_EQ(folder, L"unchanged");

  // The settings' accounts come first.
  const std::string registered = root_ + "/odRegistered";
  fs::create_directories(registered);
  setString(std::wstring(kAccounts) + L"\\Biz", L"UserFolder", registered);
  setDword(std::wstring(kAccounts) + L"\\Biz", L"Business", 1);
  EXPECT_TRUE(isOneDriveBusinessConfigured(folder));
  EXPECT_EQ(text(folder), registered);

  // XDG_CONFIG_HOME moves every client's settings.
  setenv("XDG_CONFIG_HOME", (root_ + "/elsewhere").c_str(), 1);
  expectSource(sourceOf(next + "/a.dwg"), false, "Local", "NULL");
  unsetenv("XDG_CONFIG_HOME");

  // Damaged files add the provider's note and never match.
  write(config + "/Nextcloud/nextcloud.cfg", "localPath=\"" + next + "\n");
  write(config + "/ownCloud/owncloud.cfg", "localPath=relative\n");
  write(config + "/onedrive/config", "sync_dir = " + work + "\n");
  expectSource(sourceOf(next + "/a.dwg"), false, "Error Nextcloud | Error ownCloud | Error OneDrive | Local",
               "NULL");
  EXPECT_TRUE(isOneDriveBusinessConfigured(folder));
  EXPECT_EQ(text(folder), registered);
}

// Cloud file systems from a mount-table fixture: rclone remotes named by
// their type in rclone's file, GVfs backends by their folder's name.
TEST_F(CloudStorage, MountedCloudFileSystems) {
  const std::string mnt = root_ + "/mnt", gvfs = root_ + "/run/gvfs";
  for (const char* m : {"gdrive", "work", "photos"}) fs::create_directories(mnt + "/" + m);
  const std::string google = gvfs + "/google-drive:host=gmail.com,user=jo";
  fs::create_directories(google);
  fs::create_directories(gvfs + "/smb-share:server=s,share=x");
  write(root_ + "/mountinfo",
        "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "2 1 0:50 / " +
            mnt +
            "/gdrive rw - fuse.rclone gdrive:Docs rw\n"
            "3 1 0:51 / " +
            mnt +
            "/work rw - fuse.rclone work: rw\n"
            "4 1 0:52 / " +
            mnt +
            "/photos rw - fuse.rclone photos: rw\n"
            "5 1 0:53 / " +
            gvfs + " rw - fuse.gvfsd-fuse gvfsd-fuse rw\n");
  write(home_ + "/.config/rclone/rclone.conf",
        "[gdrive]\ntype = drive\n[work]\ntype = onedrive\ndrive_type = business\n[photos]\ntype = s3\n");
  detail::setMountInfoSource(root_ + "/mountinfo");

  const struct {
    std::string path;
    bool cloud;
    const char* source;
    const char* account;
  } cases[] = {
      {mnt + "/gdrive/a.dwg", true, "Google Drive", "NULL"},
      {mnt + "/work", true, "OneDrive", "Business"},
      {mnt + "/photos/x/y.png", true, "photos", "NULL"},
      {google + "/f.dwg", true, "Google Drive", "NULL"},
      {gvfs + "/smb-share:server=s,share=x/f.dwg", false, "Local", "NULL"},
      {gvfs, false, "Local", "NULL"},
      {mnt + "/other/f.dwg", false, "Local", "NULL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    expectSource(sourceOf(c.path), c.cloud, c.source, c.account);
  }

  std::wstring folder;
  EXPECT_TRUE(isGoogleDriveConfigured(folder));
  EXPECT_EQ(text(folder), mnt + "/gdrive");
  EXPECT_TRUE(isOneDriveBusinessConfigured(folder));
  EXPECT_EQ(text(folder), mnt + "/work");
  folder = L"unchanged";
  EXPECT_FALSE(isOneDrivePersonalConfigured(folder));
  EXPECT_FALSE(isBoxConfigured(folder));
  EXPECT_EQ(folder, L"unchanged");

  // A sync client's folder inside a mount is that client's.
  write(home_ + "/.config/Nextcloud/nextcloud.cfg", "localPath=" + mnt + "/gdrive/nc\n");
  expectSource(sourceOf(mnt + "/gdrive/nc/a.dwg"), true, "Nextcloud", "NULL");

  // Without rclone's file the remote's name is all there is; $RCLONE_CONFIG
  // points elsewhere.
  setenv("RCLONE_CONFIG", (root_ + "/none.conf").c_str(), 1);
  expectSource(sourceOf(mnt + "/work/a"), true, "work", "NULL");
  EXPECT_TRUE(isGoogleDriveConfigured(folder));
  EXPECT_EQ(text(folder), google);
}

}  // namespace
