// The built kvpal tool's reg and info commands, run on hives in a
// temporary folder.
#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "hive_fixture.h"
#include "pal/version.h"
#include "settings/settings_store.h"
#include "support/child_process.h"
#include "support/virtual_display.h"

using namespace Halvex::Tessaran::PAL::detail;

namespace {

struct Result {
  int exit;
  std::string output;  // stdout and stderr together
};

// Arguments are single-quoted for the shell; none of ours hold a quote.
// `prefix` goes before the command (an env(1) call, a change of folder).
Result kvpal(const std::vector<std::string>& args, const std::string& prefix = {}) {
  std::string cmd = prefix + KVPAL_BINARY_DIR "/tools/kvpal/kvpal";
  for (const auto& a : args) cmd += " '" + a + "'";
  const kvpal::test::ChildOutcome run = kvpal::test::runShell(cmd);
  return {run.exitCode, run.output};
}

class KvpalRegTest : public HiveFixture {};

TEST_F(KvpalRegTest, ExportThenImportIntoAnEmptyHiveGivesTheSameValues) {
  const std::vector<std::vector<std::string>> adds = {
      {"HKCU\\Software\\RT", "/v", "Text", "/d", "a \"quoted\" \\ value \xC3\xA9"},
      {"HKCU\\Software\\RT", "/ve", "/d", "default"},
      {"HKCU\\Software\\RT", "/v", "Exp", "/t", "REG_EXPAND_SZ", "/d", "%HOME%/x"},
      {"HKCU\\Software\\RT", "/v", "Dw", "/t", "REG_DWORD", "/d", "4294967295"},
      {"HKCU\\Software\\RT", "/v", "Qw", "/t", "REG_QWORD", "/d", "0x123456789abcdef0"},
      {"HKCU\\Software\\RT", "/v", "Bin", "/t", "REG_BINARY", "/d", std::string(200, 'f')},
      {"HKCU\\Software\\RT", "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "one\\0two\\0three"},
      {"HKCU\\Software\\RT", "/v", "None", "/t", "REG_NONE"},
      {"HKCU\\Software\\RT\\Child\\Grandchild", "/v", "Deep", "/t", "REG_DWORD", "/d", "7"},
      {"HKCU\\Software\\RT\\Empty"},
  };
  for (const auto& a : adds) {
    std::vector<std::string> args = {"reg", "add"};
    args.insert(args.end(), a.begin(), a.end());
    Result r = kvpal(args);
    ASSERT_EQ(r.exit, 0) << r.output;
  }
  std::vector<std::string> before;
  dumpTree(*openHive(HKEY_CURRENT_USER), L"Software\\RT", before);
  ASSERT_EQ(before.size(), 13u);

  const std::string file = dir_ + "/rt.reg";
  Result r = kvpal({"reg", "export", "HKCU\\Software\\RT", file});
  ASSERT_EQ(r.exit, 0) << r.output;
  EXPECT_EQ(readFile(file).substr(0, 2), "\xFF\xFE");

  const std::string fresh = dir_ + "/fresh/settings.db";
  setenv("KVPAL_USER_HIVE", fresh.c_str(), 1);
  r = kvpal({"reg", "import", file});
  ASSERT_EQ(r.exit, 0) << r.output;
  std::vector<std::string> after;
  dumpTree(*openHive(HKEY_CURRENT_USER), L"Software\\RT", after);
  EXPECT_EQ(after, before);

  // The imported tree exports to the same bytes.
  ASSERT_EQ(kvpal({"reg", "export", "HKCU\\Software\\RT", file + "2"}).exit, 0);
  EXPECT_EQ(readFile(file + "2"), readFile(file));
}

TEST_F(KvpalRegTest, MalformedImportChangesNothingAndNamesTheLine) {
  const std::string file = dir_ + "/bad.reg";
  writeFile(file,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Bad]\n"
            "\"ok\"=dword:00000001\n"
            "\"broken\"=hex:0g\n");
  Result r = kvpal({"reg", "import", file});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.output.find("line 5"), std::string::npos) << r.output;
  EXPECT_FALSE(fileExists(userHive_));

  // With the hive present, a file failing later in the other hive's part
  // leaves it as it was too.
  ASSERT_EQ(kvpal({"reg", "add", "HKCU\\Software\\Keep", "/v", "v", "/d", "1"}).exit, 0);
  const std::string before = readFile(userHive_);
  writeFile(file,
            "Windows Registry Editor Version 5.00\n\n"
            "[-HKEY_CURRENT_USER\\Software\\Keep]\n"
            "[HKEY_LOCAL_MACHINE\\Software\\M]\n"
            "\"v\"=\"unterminated\n");
  r = kvpal({"reg", "import", file});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.output.find("line 5"), std::string::npos) << r.output;
  EXPECT_EQ(readFile(userHive_), before);
  EXPECT_EQ(kvpal({"reg", "query", "HKCU\\Software\\Keep", "/v", "v"}).exit, 0);
  EXPECT_FALSE(fileExists(machineHive_));

  // Deleting a whole hive is refused as the delete command refuses it.
  for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}) {
    writeFile(file, std::string("Windows Registry Editor Version 5.00\n\n[-") + root + "]\n");
    r = kvpal({"reg", "import", file});
    EXPECT_EQ(r.exit, 1) << root;
    EXPECT_NE(r.output.find("line 3: refusing to delete the whole hive"), std::string::npos) << r.output;
  }
  EXPECT_EQ(readFile(userHive_), before);
  EXPECT_FALSE(fileExists(machineHive_));
}

TEST_F(KvpalRegTest, QueryAddDeleteAndTheirFailures) {
  ASSERT_EQ(kvpal({"reg", "add", "HKCU\\Software\\Q", "/v", "Count", "/t", "REG_DWORD", "/d", "10"}).exit, 0);
  ASSERT_EQ(kvpal({"reg", "add", "HKCU\\Software\\Q\\Sub"}).exit, 0);
  Result r = kvpal({"reg", "query", "HKCU\\Software\\Q"});
  EXPECT_EQ(r.exit, 0);
  EXPECT_NE(r.output.find("    Count    REG_DWORD    0xa\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("HKEY_CURRENT_USER\\Software\\Q\\Sub\n"), std::string::npos) << r.output;
  EXPECT_EQ(kvpal({"reg", "delete", "HKCU\\Software\\Q", "/v", "count", "/f"}).exit, 0);
  EXPECT_EQ(kvpal({"reg", "query", "HKCU\\Software\\Q", "/v", "Count"}).exit, 1);
  EXPECT_EQ(kvpal({"reg", "delete", "HKCU\\Software\\Q"}).exit, 0);
  EXPECT_EQ(kvpal({"reg", "query", "HKCU\\Software\\Q\\Sub"}).exit, 1);

  setenv("KVPAL_MACHINE_HIVE_READONLY", "1", 1);
  r = kvpal({"reg", "add", "HKLM\\Software\\M"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.output.find("access is denied"), std::string::npos) << r.output;
  unsetenv("KVPAL_MACHINE_HIVE_READONLY");

  // Other system errors are worded as the system words them.
  setenv("KVPAL_USER_HIVE", (dir_ + "/" + std::string(300, 'n') + "/settings.db").c_str(), 1);
  r = kvpal({"reg", "add", "HKCU\\Software\\Long"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.output.find("The filename or extension is too long. (system error 206)"), std::string::npos)
      << r.output;
  setenv("KVPAL_USER_HIVE", userHive_.c_str(), 1);

  writeFile(userHive_, std::string(4096, 'x'));
  r = kvpal({"reg", "query", "HKCU\\Software"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.output.find("corrupt"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("'kvpal reg export' and 'kvpal reg import'"), std::string::npos) << r.output;
  EXPECT_EQ(readFile(userHive_), std::string(4096, 'x'));

  const std::vector<std::string> usage[] = {
      {"reg"},
      {"reg", "frobnicate"},
      {"reg", "query"},
      {"reg", "query", "HKU\\X"},
      {"reg", "query", "HKCU\\X", "/v"},
      {"reg", "query", "HKCU\\X", "/v", "a", "/ve"},
      {"reg", "add", "HKCU\\X", "/v", "a", "/t", "REG_DWORD", "/d", "12x"},
      {"reg", "add", "HKCU\\X", "/v", "a", "/t", "REG_DWORD", "/d", "4294967296"},
      {"reg", "add", "HKCU\\X", "/v", "a", "/t", "REG_BINARY", "/d", "abc"},
      {"reg", "add", "HKCU\\X", "/v", "a", "/t", "REG_LINK"},
      {"reg", "add", "HKCU\\X", "/d", "x"},
      {"reg", "delete", "HKCU"},
      {"reg", "export", "HKCU\\X"},
      {"reg", "import"},
      {"info", "extra"},
  };
  for (const auto& args : usage) {
    r = kvpal(args);
    EXPECT_EQ(r.exit, 2) << args.back() << ": " << r.output;
  }
}

TEST_F(KvpalRegTest, ClassesRootAndRootsWithoutACounterpart) {
  ASSERT_EQ(kvpal({"reg", "add", "HKCU\\Software\\Classes\\.u", "/v", "a", "/d", "user"}).exit, 0);
  ASSERT_EQ(kvpal({"reg", "add", "HKLM\\Software\\Classes\\.u", "/v", "b", "/d", "machine"}).exit, 0);
  ASSERT_EQ(kvpal({"reg", "add", "HKCR\\.u", "/v", "c", "/d", "to user"}).exit, 0);
  ASSERT_EQ(kvpal({"reg", "add", "HKCR\\.m", "/v", "c", "/d", "to machine"}).exit, 0);
  Result r = kvpal({"reg", "query", "HKCR\\.u"});
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.output,
            "HKEY_CLASSES_ROOT\\.u\n"
            "    a    REG_SZ    user\n"
            "    b    REG_SZ    machine\n"
            "    c    REG_SZ    to user\n\n");
  EXPECT_EQ(kvpal({"reg", "query", "HKCU\\Software\\Classes\\.u", "/v", "c"}).exit, 0);
  EXPECT_EQ(kvpal({"reg", "query", "HKLM\\Software\\Classes\\.m", "/v", "c"}).exit, 0);
  EXPECT_EQ(kvpal({"reg", "query", "HKCR\\.m", "/v", "C"}).exit, 0);
  EXPECT_EQ(kvpal({"reg", "delete", "HKCR"}).exit, 2);

  const std::string file = dir_ + "/users.reg";
  writeFile(file, "Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\S-1-5-18\\X]\n");
  r = kvpal({"reg", "import", file});
  EXPECT_EQ(r.exit, 1);
  EXPECT_NE(r.output.find("line 3: HKEY_USERS has no counterpart"), std::string::npos) << r.output;
}

TEST_F(KvpalRegTest, InfoShowsWhereTheHivesLive) {
  Result r = kvpal({"info"});
  ASSERT_EQ(r.exit, 0);
  EXPECT_NE(r.output.find(userHive_ + " (does not exist yet)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(machineHive_ + " (does not exist yet)"), std::string::npos) << r.output;
  ASSERT_EQ(kvpal({"reg", "add", "HKCU\\Software\\I"}).exit, 0);
  setenv("KVPAL_MACHINE_HIVE_READONLY", "1", 1);
  r = kvpal({"info"});
  EXPECT_NE(r.output.find(userHive_ + " (exists)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(machineHive_ + " (does not exist yet, read-only)"), std::string::npos) << r.output;
}

TEST_F(KvpalRegTest, InfoShowsTheRootsAHostWouldSee) {
  ASSERT_EQ(kvpal({"reg", "add", "HKLM\\Soft\\P\\G", "/v", "BaseProduct", "/d", "A;B;"}).exit, 0);
  Result r = kvpal({"info", "--culture", "Soft\\P\\G:409", "--roaming", "Soft\\R"});
  ASSERT_EQ(r.exit, 0) << r.output;
  EXPECT_NE(r.output.find("Product global root:           Soft\\P\\G\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Root list, in precedence order:\n"
                          "  1. HKCU\\Soft\\R\n"
                          "  2. HKCU\\Soft\\P\\G\n"
                          "  3. HKLM\\Soft\\P\\G:409\n"
                          "  4. HKLM\\Soft\\P\\G\n"
                          "  5. HKLM\\Soft\\P\\A\n"
                          "  6. HKLM\\Soft\\P\\B\n"
                          "  7. HKCU\\SOFTWARE\\Halvex\\Nexabase\\R23.1\n"
                          "  8. HKLM\\SOFTWARE\\Halvex\\Nexabase\\R23.1\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(kvpal({"info"}).output.find("Root list"), std::string::npos) << "roots only when asked";
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"info", "--roaming", "R"},
                                             {"info", "--culture"},
                                             {"info", "--roaming", "R", "--culture", "C", "x"}})
    EXPECT_EQ(kvpal(args).exit, 2) << args.back();
}

Json::Value parseJson(const std::string& text) {
  Json::Value root;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(text);
  EXPECT_TRUE(Json::parseFromStream(builder, in, &root, &errors)) << errors << "\n" << text;
  return root;
}

const char* const kInfoSections[] = {"library", "hives",   "locales", "formats", "settingsRoots",
                                     "fonts",   "display", "tracing", "linux"};

TEST_F(KvpalRegTest, InfoReportsEverySectionAsTextAndAsJson) {
  const struct {
    const char* locale;
    const char* described;
  } cases[] = {
      {"C", "en-US, LCID 0x0409 (1033), ANSI code page 1252, OEM code page 437"},
      {"ja_JP.UTF-8", "ja-JP, LCID 0x0411 (1041), ANSI code page 932, OEM code page 932"},
      {"de_CH.UTF-8", "de-CH, LCID 0x0807 (2055), ANSI code page 1252, OEM code page 850"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    const std::string env = std::string("env -u LANG -u DISPLAY LC_ALL=") + c.locale + " ";
    const Result text = kvpal({"info"}, env);
    ASSERT_EQ(text.exit, 0) << text.output;
    const Result json = kvpal({"info", "--json"}, env);
    ASSERT_EQ(json.exit, 0) << json.output;
    const Json::Value root = parseJson(json.output);
    for (const char* section : kInfoSections) ASSERT_TRUE(root[section].isObject()) << section;

    EXPECT_EQ(root["library"]["version"].asString(), Halvex::Tessaran::PAL::libraryVersion());
    EXPECT_EQ(root["hives"]["user"].asString(), userHive_ + " (does not exist yet)");
    EXPECT_EQ(root["locales"]["system"].asString(), c.described);
    EXPECT_EQ(root["locales"]["user"].asString(), c.described);
    EXPECT_GE(std::stoi(root["fonts"]["installed"].asString()), 0);
    EXPECT_EQ(root["display"]["display"].asString(), "no display");
    EXPECT_EQ(root["tracing"]["traceFile"].asString(), "off");
    EXPECT_EQ(root["settingsRoots"]["identity"].asString(), "none (no identityver.ini here)");
    EXPECT_TRUE(root["linux"]["trustedFolders"].isArray());

    // The text shows every value the JSON holds.
    for (const char* section : kInfoSections)
      for (const auto& name : root[section].getMemberNames()) {
        const Json::Value& v = root[section][name];
        std::vector<std::string> values;
        if (v.isArray())
          for (const auto& item : v) values.push_back(item.asString());
        else
          values.push_back(v.isNull() ? "not available" : v.asString());
        for (const auto& value : values)
          EXPECT_NE(text.output.find(value + "\n"), std::string::npos)
              << section << "." << name << " = " << value << " in:\n"
              << text.output;
      }
  }
}

TEST_F(KvpalRegTest, InfoDescribesTheDisplay) {
  kvpal::test::VirtualDisplay screen("1280x800x24", {"-dpi", "144"});
  ASSERT_FALSE(screen.name().empty()) << "Xvfb did not start";
  const Result json = kvpal({"info", "--json"}, "env DISPLAY=" + screen.name() + " ");
  ASSERT_EQ(json.exit, 0) << json.output;
  EXPECT_EQ(parseJson(json.output)["display"]["display"].asString(),
            screen.name() + ", 1280x800 pixels, 144x144 DPI");
}

// A broken part of the machine costs its own line or section, never the report.
TEST_F(KvpalRegTest, InfoDegradesPartByPart) {
  writeFile(userHive_, "not a settings hive");
  writeFile(machineHive_, std::string(4096, '\xff'));
  const std::string gone = dir_ + "/gone";
  std::filesystem::create_directories(gone);
  const struct {
    const char* name;
    std::string prefix;
    std::vector<std::string> unavailable;  // sections that must read "not available"
  } cases[] = {
      {"hives that are no databases", "", {}},
      {"no home folder", "env -u HOME -u XDG_CONFIG_HOME -u KVPAL_USER_HIVE ", {}},
      {"current folder deleted", "cd '" + gone + "' && rmdir '" + gone + "' && ", {"settingsRoots"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::create_directories(gone);
    const Result text = kvpal({"info"}, c.prefix);
    EXPECT_EQ(text.exit, 0) << text.output;
    std::filesystem::create_directories(gone);
    const Result json = kvpal({"info", "--json"}, c.prefix);
    ASSERT_EQ(json.exit, 0) << json.output;
    const Json::Value root = parseJson(json.output);
    for (const char* section : kInfoSections) {
      const bool down = std::find(c.unavailable.begin(), c.unavailable.end(), section) != c.unavailable.end();
      EXPECT_EQ(root[section].isNull(), down) << section << "\n" << json.output;
    }
    if (!c.unavailable.empty()) {
      EXPECT_NE(text.output.find("Settings roots: not available ("), std::string::npos) << text.output;
    }
  }
}

}  // namespace
