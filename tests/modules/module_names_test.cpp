// Windows-style module names against Linux file names, folders and the
// modules the loader has mapped.
#include "modules/module_names.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"

namespace {

using namespace Halvex::Tessaran::PAL::detail;

struct MatchCase {
  const char* module;
  const char* file;
  bool matches;
};

TEST(ModuleNames, FileNamesMatchByTheRule) {
  const MatchCase cases[] = {
      {"KvCore.dll", "libKvCore.so", true},
      {"KvCore.DLL", "KvCore.so", true},
      {"KvCore.Dll", "libKvCore.so.1", true},
      {"KvCore.dll", "libKvCore.so.23.1.0", true},
      {"KvCore", "libKvCore.so", true},
      {"C:\\bin\\KvCore.dll", "libKvCore.so", true},
      {"/opt/kv/KvCore.dll", "KvCore.so.2", true},
      {"KvCore.dll", "kvcore.so", false},  // stems keep their case
      {"KvCore.dll", "KvCore.dll", false},
      {"KvCore.dll", "libKvCore.so.", false},
      {"KvCore.dll", "libKvCore.so.1.", false},
      {"KvCore.dll", "libKvCore.so.x", false},
      {"KvCore.dll", "libKvCore.so.1a", false},
      {"KvCore.dll", "libKvCoreX.so", false},
      {"KvCore.dll", "liblibKvCore.so", false},
      {"KvCore.dll", "KvCore", false},
      {"pyra.exe", "pyra", true},
      {"pyra.EXE", "pyra", true},
      {"pyra.exe", "pyra.exe", false},
      {"pyra.exe", "libpyra.so", false},
      {"libz.so.1", "libz.so.1", true},
      {"libz.so.1", "libz.so", false},
      {"data.bin", "data.bin", true},
      {".dll", "lib.so", false},
      {"", "", false},
  };
  for (const MatchCase& c : cases)
    EXPECT_EQ(moduleFileNameMatches(c.module, c.file), c.matches) << c.module << " / " << c.file;
}

TEST(ModuleNames, ExecutablesMatchWithoutTheirExtension) {
  const MatchCase cases[] = {
      {"app.exe", "app", true},
      {"app.ExE", "app", true},
      {"C:\\x\\app.exe", "app", true},
      {"app", "app", true},
      {"app.sh", "app.sh", true},
      {"/usr/bin/app", "app", true},
      {"app.exe", "app.exe", false},
      {"app.exe", "App", false},
      {"app", "app2", false},
      {"app.dll", "libapp.so", false},
      {".exe", "", false},
      {"", "", false},
  };
  for (const MatchCase& c : cases)
    EXPECT_EQ(executableFileNameMatches(c.module, c.file), c.matches) << c.module << " / " << c.file;
}

TEST(ModuleNames, CandidateFileNamesInOrder) {
  EXPECT_EQ(moduleFileNames("kvgs.dll"), (std::vector<std::string>{"libkvgs.so", "kvgs.so"}));
  EXPECT_EQ(moduleFileNames("kvgs"), (std::vector<std::string>{"libkvgs.so", "kvgs.so"}));
  EXPECT_EQ(moduleFileNames("pyra.exe"), (std::vector<std::string>{"pyra"}));
  EXPECT_EQ(moduleFileNames("libz.so.1"), (std::vector<std::string>{"libz.so.1"}));
  EXPECT_TRUE(moduleFileNames("").empty());
}

void touch(const std::string& path) {
  std::ofstream(path) << "x";
}

TEST(ModuleNames, FolderLookupPrefersUnversionedFiles) {
  kvpal::test::TempDir dir;
  const std::string& d = dir.path();
  EXPECT_EQ(findModuleInFolder(d, "kvgs.dll"), "");
  touch(d + "/libkvgs.so.3");
  touch(d + "/libkvgs.so.2");
  EXPECT_EQ(findModuleInFolder(d, "kvgs.dll"), d + "/libkvgs.so.2");
  touch(d + "/kvgs.so");
  EXPECT_EQ(findModuleInFolder(d, "kvgs.dll"), d + "/kvgs.so");
  touch(d + "/libkvgs.so");
  EXPECT_EQ(findModuleInFolder(d, "KVGS.dll"), "");
  EXPECT_EQ(findModuleInFolder(d, "kvgs.DLL"), d + "/libkvgs.so");
  // A folder of that name is no module.
  std::filesystem::create_directory(d + "/libother.so");
  EXPECT_EQ(findModuleInFolder(d, "other.dll"), "");
  EXPECT_EQ(findModuleInFolder(d + "/", "kvgs.dll"), d + "/libkvgs.so");
  EXPECT_EQ(findModuleInFolder(d + "/missing", "kvgs.dll"), "");
}

TEST(ModuleNames, LoadedModulesAsTheLoaderListsThem) {
  std::string path;
  EXPECT_TRUE(isModuleLoaded("c.dll", &path));  // libc.so.6
  EXPECT_NE(path.find("libc.so.6"), std::string::npos) << path;
  EXPECT_TRUE(isModuleLoaded(std::string(program_invocation_short_name) + ".exe"));
  EXPECT_FALSE(isModuleLoaded(program_invocation_short_name));  // a bare name is a library
  EXPECT_FALSE(isModuleLoaded("kvdb23.dll"));
}

}  // namespace
