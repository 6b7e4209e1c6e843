// Points both settings hives at files in a fresh temporary folder for the
// duration of one test, and offers raw access to a hive's SQLite file.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "settings/settings_store.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

class HiveFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.emplace("kvpal-settings").path();
    userHive_ = dir_ + "/user/settings.db";
    machineHive_ = dir_ + "/machine/settings.db";
    setenv("KVPAL_USER_HIVE", userHive_.c_str(), 1);
    setenv("KVPAL_MACHINE_HIVE", machineHive_.c_str(), 1);
    unsetenv("KVPAL_MACHINE_HIVE_READONLY");
  }

  void TearDown() override {
    unsetenv("KVPAL_MACHINE_HIVE_READONLY");
    temp_.reset();
  }

  static bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

  static std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  static void writeFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // The first column of the first row of `sql` run on the hive file, read-only.
  static std::string sqlText(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    std::string out = "<open failed>";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_stmt* st = nullptr;
      out = "<query failed>";
      if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
  }

  // Runs `body` in a forked child (which dies after 60 s if it hangs) and
  // returns its exit status, or -1 when it did not exit normally.
  static int runInChild(const std::function<int()>& body) {
    return kvpal::test::runInChild(body, 60).exitCode;
  }

  std::optional<kvpal::test::TempDir> temp_;  // a new one each SetUp, for reinstalls

  // Every key below `path` with its values, as "path|name|type|data" lines.
  static void dumpTree(Halvex::Tessaran::PAL::detail::SettingsHive& hive, const std::wstring& path,
                       std::vector<std::string>& out) {
    using namespace Halvex::Tessaran::PAL::detail;
    SettingsHive::KeyId id;
    ASSERT_EQ(hive.openKey(path, id), ERROR_SUCCESS);
    std::vector<StoreValue> values;
    std::vector<std::wstring> subkeys;
    ASSERT_EQ(hive.values(id, values), ERROR_SUCCESS);
    ASSERT_EQ(hive.subkeys(id, subkeys), ERROR_SUCCESS);
    std::string p = wideToUtf8(path);
    out.push_back("key " + p);
    for (const auto& v : values) {
      std::string line = p + "|" + wideToUtf8(v.name) + "|" + std::to_string(v.type) + "|";
      for (unsigned char b : v.data) line += std::to_string(b) + ",";
      out.push_back(line);
    }
    for (const auto& s : subkeys) dumpTree(hive, path + L"\\" + s, out);
  }

  std::string dir_, userHive_, machineHive_;
};
