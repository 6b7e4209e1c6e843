// A real installation in a temporary folder: a copy of the built libKvPal.so,
// a test host linked to it and the identity files, with both settings hives
// in the same folder. Each start-up runs in a new host process.
#pragma once

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "base/utf16.h"
#include "hive_fixture.h"
#include "settings/settings_store.h"
#include "support/child_process.h"

class InstallationFixture : public HiveFixture {
 protected:
  static constexpr const char* kVersionKey = "SOFTWARE\\Halvex\\Tessaran\\Version";
  static constexpr const wchar_t* kVersionKeyW = L"SOFTWARE\\Halvex\\Tessaran\\Version";

  void SetUp() override {
    HiveFixture::SetUp();
    inst_ = dir_ + "/inst/";
    std::filesystem::create_directories(inst_);
    namespace fs = std::filesystem;
    fs::copy_file(KVPAL_LIBRARY, inst_ + fs::path(KVPAL_LIBRARY).filename().string());
    // The library's modules (backends, first-use libraries) are installed beside it.
    for (const auto& entry : fs::directory_iterator(fs::path(KVPAL_LIBRARY).parent_path())) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("libKvPal") && name.ends_with(".so") && name != "libKvPal.so")
        fs::create_symlink(entry.path(), inst_ + name);
    }
    fs::copy_file(IDENTITY_HOST, inst_ + "identity_host");
  }

  // A new, empty installation and hives, for the next case of a table.
  void reinstall() {
    TearDown();
    SetUp();
  }

  // A file of the installation, with its folders.
  void install(const std::string& relative, const std::string& text) { writeFile(inst_ + relative, text); }

  void identityVer(const std::string& isConfigurable) {
    install("identityver.ini", std::string("[ProductIdentity]\nProductVersionKey=") + kVersionKey +
                                   "\nIsConfigurable=" + isConfigurable + "\n");
  }
  // identity.ini in `folder` (relative to the installation) naming the roots.
  void identity(const std::string& folder, const std::string& global, const std::string& culture) {
    install(folder + "identity.ini", "[ProductIdentity]\nGlobalRegistryRootKey=" + global +
                                         "\nProductRegistryRootKey=" + culture + "\n");
  }

  static void setString(Halvex::Tessaran::PAL::detail::HKEY root, const std::wstring& path,
                        const std::wstring& name, const std::wstring& value) {
    using namespace Halvex::Tessaran::PAL::detail;
    auto hive = openHive(root);
    SettingsHive::KeyId id = 0;
    ASSERT_EQ(hive->createKey(path, id), ERROR_SUCCESS);
    ASSERT_EQ(hive->setValue(id, {name, REG_SZ, stringData(value)}), ERROR_SUCCESS);
  }
  static void installProduct(Halvex::Tessaran::PAL::detail::HKEY root, const std::wstring& product,
                             const std::map<std::wstring, std::wstring>& languages) {
    const std::wstring key = std::wstring(kVersionKeyW) + L"\\InstalledProducts\\" + product;
    if (languages.empty()) {
      using namespace Halvex::Tessaran::PAL::detail;
      SettingsHive::KeyId id = 0;
      ASSERT_EQ(openHive(root)->createKey(key, id), ERROR_SUCCESS);
    }
    for (const auto& [name, language] : languages) setString(root, key, name, language);
  }
  // The string value, "<missing key>" or "<missing value>".
  static std::wstring getString(Halvex::Tessaran::PAL::detail::HKEY root, const std::wstring& path,
                                const std::wstring& name) {
    using namespace Halvex::Tessaran::PAL::detail;
    SettingsHive::KeyId id = 0;
    if (openHive(root)->openKey(path, id) != ERROR_SUCCESS) return L"<missing key>";
    StoreValue v;
    if (openHive(root)->getValue(id, name, v) != ERROR_SUCCESS) return L"<missing value>";
    return stringFromData(v.data);
  }

  // Runs `command` (already quoted for the shell) with a time limit and
  // returns its NAME=VALUE lines; "exit" holds its exit status.
  static std::map<std::string, std::string> runLines(const std::string& command) {
    std::map<std::string, std::string> out;
    const kvpal::test::ChildOutcome run = kvpal::test::runShell(command);
    const std::string& text = run.output;
    out["exit"] = std::to_string(run.exitCode);
    out["output"] = text;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = text.substr(start, end - start);
      const size_t eq = line.find('=');
      if (eq != std::string::npos) out.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    return out;
  }

  // The host's start-up with PATH=/usr/bin:/bin (or unset when `path` is null).
  // The host finds the installation's library beside it; an inherited
  // search path would put another copy in its place.
  std::map<std::string, std::string> host(const std::string& product, const std::string& language,
                                          const std::string& roaming = "<null>", bool oem = false,
                                          const char* path = "/usr/bin:/bin", const char* mode = "init") {
    const std::string env = path ? std::string("PATH=") + path : std::string("-u PATH");
    return runLines("env -u LD_LIBRARY_PATH " + env + " '" + inst_ + "identity_host' " + mode + " '" +
                    product + "' '" + language + "' '" + roaming + "' " + (oem ? "oem" : "-"));
  }

  std::string inst_;
};
