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
  }

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

}  // namespace
