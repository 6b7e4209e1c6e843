// The product identity start-up and the package folders, run by a host in a
// real installation (one process per start-up).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "installation_fixture.h"

using namespace Halvex::Tessaran::PAL::detail;

namespace {

const std::string kGlobal = "SOFTWARE\\Halvex\\Tessaran\\R1";
const std::string kCulture = "SOFTWARE\\Halvex\\Tessaran\\R1:409";
const std::wstring kCultureW = L"SOFTWARE\\Halvex\\Tessaran\\R1:409";

class IdentityTest : public InstallationFixture {
 protected:
  // A configurable installation holding the base product and a vertical.
  void configurable() {
    identityVer("1");
    installProduct(HKEY_LOCAL_MACHINE, L"PYRA", {{L"a", L"en-US"}, {L"b", L"de-DE"}});
    installProduct(HKEY_LOCAL_MACHINE, L"MEP", {{L"a", L"en-US"}});
    identity("en-US/", kGlobal, kCulture);
    identity("de-DE/", kGlobal, kCulture);
    identity("MEP/en-US/", kGlobal, kCulture);
  }
  std::string front(const std::string& folders) { return folders + ":/usr/bin:/bin"; }
};

TEST_F(IdentityTest, ConfigurableBaseProductStartsAndRemembersTheChoice) {
  configurable();
  // Packaged resources were written for a reader that took comments.
  install("resource.json", "// packaged\n{\"name\": /* shown */ \"kv\"}");
  setString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedProduct", L"MEP");
  auto r = host("PYRA", "de-DE", "SOFTWARE\\Roaming");
  ASSERT_EQ(r["result"], "1") << r["output"];
  EXPECT_EQ(r["product"], "PYRA");
  EXPECT_EQ(r["language"], "de-DE");
  EXPECT_EQ(r["identity"], inst_ + "de-DE/identity.ini");
  EXPECT_EQ(r["culture"], kCulture);
  EXPECT_EQ(r["global"], kGlobal);
  EXPECT_EQ(r["roaming"], "SOFTWARE\\Roaming");
  EXPECT_EQ(r["oem"], "0");
  EXPECT_EQ(r["KVVERTICALPATH"], "<unset>");
  EXPECT_EQ(r["PATH"], front(inst_ + "de-DE"));
  EXPECT_EQ(r["resdir"], inst_);
  EXPECT_EQ(r["datadir-same"], "1");
  EXPECT_EQ(r["json"], "kv");
  EXPECT_EQ(r["fonts"], "");
  EXPECT_EQ(getString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedProduct"), L"PYRA");
  EXPECT_EQ(getString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedLanguage"), L"de-DE");
}

// A host loading the library by a relative name and then changing folder
// still finds the library's folder, and the packaged resources in it.
TEST_F(IdentityTest, ResourceFolderOfALibraryLoadedByARelativeName) {
  configurable();
  install("resource.json", R"({"name": "kv"})");
  auto r = runLines("env -C '" + inst_ +
                    "' PATH=/usr/bin:/bin LD_LIBRARY_PATH=. ./identity_host elsewhere PYRA en-US '<null>' -");
  ASSERT_EQ(r["exit"], "0") << r["output"];
  EXPECT_EQ(r["resdir"], inst_);
  EXPECT_EQ(r["result"], "1");
  EXPECT_EQ(r["json"], "kv");
}

TEST_F(IdentityTest, VerticalProductPutsItsFoldersInFrontOfPath) {
  configurable();
  setString(HKEY_LOCAL_MACHINE, kCultureW + L"\\VerticalEnvPath", L"", L"/opt/a;;/opt/b;");
  auto r = host("MEP", "en-US");
  ASSERT_EQ(r["result"], "1") << r["output"];
  EXPECT_EQ(r["identity"], inst_ + "MEP/en-US/identity.ini");
  EXPECT_EQ(r["vertical"], "/opt/a;;/opt/b;");
  EXPECT_EQ(r["KVVERTICALPATH"], "/opt/a;;/opt/b;");
  EXPECT_EQ(r["PATH"], front(inst_ + "en-US:/opt/a:/opt/b:/opt/a/en-US:/opt/b/en-US"));
  // Without a roaming root the culture-specific root roams.
  EXPECT_EQ(r["roaming"], kCulture);
  EXPECT_EQ(r["json"], "<null>");
}

TEST_F(IdentityTest, VerticalProductWithoutVerticalPathFails) {
  configurable();
  auto r = host("MEP", "en-US");
  EXPECT_EQ(r["result"], "0") << r["output"];
  EXPECT_EQ(r["KVVERTICALPATH"], "");
  EXPECT_EQ(r["PATH"], "/usr/bin:/bin");
  // Values set before the failing step stay.
  EXPECT_EQ(r["culture"], kCulture);
  EXPECT_EQ(getString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedProduct"), L"<missing key>");
}

TEST_F(IdentityTest, BaseProductCodesIgnoreCase) {
  identityVer("1");
  installProduct(HKEY_LOCAL_MACHINE, L"ztrm", {{L"a", L"en-US"}});
  identity("en-US/", kGlobal, kCulture);
  auto r = host("ztrm", "en-US");
  ASSERT_EQ(r["result"], "1") << r["output"];
  EXPECT_EQ(r["product"], "ztrm");
  EXPECT_EQ(r["identity"], inst_ + "en-US/identity.ini");
  EXPECT_EQ(r["KVVERTICALPATH"], "<unset>");
}

TEST_F(IdentityTest, ProductChoice) {
  struct Case {
    const char* name;
    const char* argument;
    const wchar_t* lastLaunched;
    const char* product;
  };
  // Code-unit order puts upper case first, unlike the store's enumeration.
  const Case cases[] = {
      {"installed argument", "alpha", L"ZTRM", "alpha"},
      {"argument not installed, last launched is", "GONE", L"alpha", "alpha"},
      {"nothing applies: first in code-unit order", "", L"GONE", "ZTRM"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reinstall();
    identityVer("1");
    installProduct(HKEY_LOCAL_MACHINE, L"alpha", {{L"a", L"en-US"}});
    installProduct(HKEY_LOCAL_MACHINE, L"ZTRM", {{L"a", L"en-US"}});
    identity("en-US/", kGlobal, kCulture);
    identity("alpha/en-US/", kGlobal, kCulture);
    setString(HKEY_LOCAL_MACHINE, kCultureW + L"\\VerticalEnvPath", L"", L"");
    setString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedProduct", c.lastLaunched);
    auto r = host(c.argument, "en-US");
    EXPECT_EQ(r["result"], "1") << r["output"];
    EXPECT_EQ(r["product"], c.product);
  }
}

TEST_F(IdentityTest, LanguageChoice) {
  struct Case {
    const char* argument;
    const wchar_t* lastLaunched;
    std::map<std::wstring, std::wstring> installed;
    const char* language;
  };
  const Case cases[] = {
      {"fr-FR", L"de-DE", {{L"a", L"de-DE"}, {L"b", L"fr-FR"}}, "fr-FR"},
      {"de-DE", L"fr-FR", {{L"a", L"fr-FR"}, {L"b", L"en-US"}}, "fr-FR"},
      {"de-DE", L"it-IT", {{L"a", L"fr-FR"}, {L"b", L"en-US"}}, "en-US"},
      {"", L"", {{L"a", L"ja-JP"}, {L"b", L"fr-FR"}}, "ja-JP"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument);
    reinstall();
    identityVer("1");
    installProduct(HKEY_LOCAL_MACHINE, L"PYRA", c.installed);
    identity(std::string(c.language) + "/", kGlobal, kCulture);
    setString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedLanguage", c.lastLaunched);
    auto r = host("PYRA", c.argument);
    EXPECT_EQ(r["result"], "1") << r["output"];
    EXPECT_EQ(r["language"], c.language);
    EXPECT_EQ(getString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedLanguage"),
              std::wstring(c.language, c.language + std::strlen(c.language)));
  }
}

TEST_F(IdentityTest, InstalledProductsFromTheUserHiveWhenTheMachineHasNone) {
  identityVer("1");
  installProduct(HKEY_CURRENT_USER, L"PYRA", {{L"a", L"en-US"}});
  identity("en-US/", kGlobal, kCulture);
  auto r = host("", "");
  ASSERT_EQ(r["result"], "1") << r["output"];
  EXPECT_EQ(r["product"], "PYRA");
  EXPECT_EQ(r["language"], "en-US");
}

TEST_F(IdentityTest, WithoutIdentityVerTheCallersChoiceStands) {
  struct Case {
    const char* product;
    const char* language;
    const char* result;
  };
  const Case cases[] = {{"MEP", "en-US", "1"}, {"", "en-US", "0"}, {"MEP", "", "0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.product) + "/" + c.language);
    reinstall();
    identity("MEP/en-US/", kGlobal, kCulture);
    setString(HKEY_LOCAL_MACHINE, kCultureW + L"\\VerticalEnvPath", L"", L"/opt/mep");
    auto r = host(c.product, c.language);
    EXPECT_EQ(r["result"], c.result) << r["output"];
    EXPECT_EQ(r["product"], c.product);
    if (*c.result == '1') {
      EXPECT_EQ(r["PATH"], front(inst_ + "en-US:/opt/mep:/opt/mep/en-US"));
    }
  }
}

TEST_F(IdentityTest, NotConfigurableRunsTheBaseProductInTheInstalledLanguage) {
  for (const char* value : {"0", "11", "true", "yes"}) {
    SCOPED_TRACE(value);
    reinstall();
    identityVer(value);
    identity("", kGlobal, kCulture);
    setString(HKEY_LOCAL_MACHINE, kCultureW + L"\\InstalledUILanguages", L"", L"ja-JP");
    setString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedProduct", L"MEP");
    auto r = host("MEP", "de-DE");
    ASSERT_EQ(r["result"], "1") << r["output"];
    EXPECT_EQ(r["product"], "PYRA");
    EXPECT_EQ(r["language"], "ja-JP");
    EXPECT_EQ(r["identity"], inst_ + "identity.ini");
    EXPECT_EQ(r["PATH"], front(inst_ + "ja-JP"));
    EXPECT_EQ(getString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedProduct"), L"MEP");
  }
}

TEST_F(IdentityTest, NotConfigurableWithoutInstalledLanguageFails) {
  identityVer("0");
  identity("", kGlobal, kCulture);
  auto r = host("", "");
  EXPECT_EQ(r["result"], "0") << r["output"];
  EXPECT_EQ(r["product"], "PYRA");
  EXPECT_EQ(r["PATH"], "/usr/bin:/bin");
}

TEST_F(IdentityTest, OemChoosesAmongInstalledProductsAndSkipsTheVerticalPath) {
  identityVer("0");
  installProduct(HKEY_LOCAL_MACHINE, L"MEP", {{L"a", L"fr-FR"}});
  identity("fr-FR/", kGlobal, kCulture);
  auto r = host("MEP", "", "<null>", true);
  ASSERT_EQ(r["result"], "1") << r["output"];
  EXPECT_EQ(r["oem"], "1");
  EXPECT_EQ(r["product"], "MEP");
  EXPECT_EQ(r["identity"], inst_ + "fr-FR/identity.ini");
  EXPECT_EQ(r["KVVERTICALPATH"], "<unset>");
  EXPECT_EQ(r["PATH"], front(inst_ + "fr-FR"));
}

TEST_F(IdentityTest, FailingSteps) {
  struct Case {
    const char* name;
    bool writeIdentity;
    const char* path;
  };
  const Case cases[] = {{"identity.ini missing", false, "/usr/bin:/bin"}, {"PATH unset", true, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reinstall();
    identityVer("1");
    installProduct(HKEY_LOCAL_MACHINE, L"PYRA", {{L"a", L"en-US"}});
    if (c.writeIdentity) identity("en-US/", kGlobal, kCulture);
    auto r = host("PYRA", "en-US", "<null>", false, c.path);
    EXPECT_EQ(r["result"], "0") << r["output"];
    EXPECT_EQ(r["product"], "PYRA");
  }
}

TEST_F(IdentityTest, IdentityFileWithoutBothRootsFails) {
  identityVer("1");
  installProduct(HKEY_LOCAL_MACHINE, L"PYRA", {{L"a", L"en-US"}});
  identity("en-US/", kGlobal, "");
  auto r = host("PYRA", "en-US");
  EXPECT_EQ(r["result"], "0") << r["output"];
  EXPECT_EQ(r["global"], "");
  EXPECT_EQ(r["culture"], "");
}

TEST_F(IdentityTest, GettersFirstFixTheOutcome) {
  configurable();
  auto r = host("MEP", "en-US", "<null>", true, "/usr/bin:/bin", "getters-first");
  ASSERT_EQ(r["result"], "1") << r["output"];
  // The early start-up took the first product with the OEM flag clear.
  EXPECT_EQ(r["early-product"], "MEP");
  EXPECT_EQ(r["product"], "MEP");
  EXPECT_EQ(r["oem"], "1");
  EXPECT_EQ(r["KVVERTICALPATH"], "");

  // A failed start-up is not retried: the initialiser goes on and succeeds.
  reinstall();
  auto failed = host("PYRA", "en-US", "SOFTWARE\\Roaming", false, "/usr/bin:/bin", "getters-first");
  EXPECT_EQ(failed["early-product"], "");
  EXPECT_EQ(failed["result"], "1") << failed["output"];
  EXPECT_EQ(failed["product"], "");
  EXPECT_EQ(failed["roaming"], "SOFTWARE\\Roaming");
}

TEST_F(IdentityTest, FontsFolder) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::wstring, std::wstring>> settings;  // root, FontsDirectory
    std::string expected;                                         // relative to the installation
    bool link = false;  // the installation's "Link" leads to another folder
  };
  const std::wstring sdk = L"SOFTWARE\\Halvex\\Nexabase\\R23.1";
  const Case cases[] = {
      {"later root wins", {{kCultureW, L"Fonts"}, {sdk, L"Other"}}, "Other"},
      {"missing parents are created", {{kCultureW, L"Sub/Deeper/./Fonts/"}}, "Sub/Deeper/Fonts"},
      {"not configured", {}, ""},
      // Made where the list says, not beside the link's target.
      {"dot-dot after a symbolic link", {{kCultureW, L"Link/../Fonts"}}, "Fonts", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reinstall();
    identityVer("1");
    installProduct(HKEY_LOCAL_MACHINE, L"PYRA", {{L"a", L"en-US"}});
    identity("en-US/", kGlobal, kCulture);
    for (const auto& [root, folder] : c.settings)
      setString(HKEY_LOCAL_MACHINE, root + L"\\Settings.Package", L"FontsDirectory", folder);
    const std::string target = dir_ + "/elsewhere/deep";
    if (c.link) {
      std::filesystem::create_directories(target);
      std::filesystem::create_directory_symlink(target, inst_ + "Link");
    }
    auto r = host("PYRA", "en-US");
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/elsewhere/Fonts"));
    ASSERT_EQ(r["result"], "1") << r["output"];
    if (c.expected.empty()) {
      EXPECT_EQ(r["fonts"], "");
      EXPECT_FALSE(std::filesystem::exists(inst_ + "Fonts"));
    } else {
      EXPECT_EQ(r["fonts"], inst_ + c.expected);
      EXPECT_TRUE(std::filesystem::is_directory(inst_ + c.expected));
    }
  }
}

}  // namespace

namespace {

class KvpalIdentityTest : public IdentityTest {
 protected:
  std::map<std::string, std::string> kvpal(const std::string& args) {
    return runLines("env PATH=/usr/bin:/bin " KVPAL_BINARY_DIR "/tools/kvpal/kvpal identity " + args);
  }
};

TEST_F(KvpalIdentityTest, ShowsWhatAHostStartingThereGets) {
  configurable();
  setString(HKEY_LOCAL_MACHINE, kCultureW + L"\\VerticalEnvPath", L"", L"/opt/a;/opt/b");
  auto r = kvpal("--install '" + inst_ + "' --product MEP --language en-US --roaming SOFTWARE\\\\Roam");
  ASSERT_EQ(r["exit"], "0") << r["output"];
  const std::string& out = r["output"];
  const std::vector<std::string> lines = {
      "Installed products:  MEP (en-US); PYRA (en-US, de-DE)\n",
      "Product:             MEP\n",
      "Identity file:       " + inst_ + "MEP/en-US/identity.ini\n",
      "Roaming root:        SOFTWARE\\Roam\n",
      "Root list:\n  HKCU\\SOFTWARE\\Roam\n  HKCU\\" + kGlobal + "\n  HKLM\\" + kCulture + "\n",
      "KVVERTICALPATH:      /opt/a;/opt/b\n",
      "PATH front:          " + inst_ + "en-US:/opt/a:/opt/b:/opt/a/en-US:/opt/b/en-US\n"};
  for (const auto& expected : lines)
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin:\n" << out;
}

// kvpal info run in an installation reports the roots a host starting there
// would get, and leaves the last-launched values as they were.
TEST_F(KvpalIdentityTest, InfoShowsTheRootsOfTheInstallationItRunsIn) {
  configurable();
  setString(HKEY_LOCAL_MACHINE, kCultureW + L"\\VerticalEnvPath", L"", L"/opt/a");
  // A host would record MEP in en-US, the first installed product in its
  // only language.
  setString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedLanguage", L"de-DE");
  auto r =
      runLines("cd '" + inst_ + "' && env PATH=/usr/bin:/bin " KVPAL_BINARY_DIR "/tools/kvpal/kvpal info");
  ASSERT_EQ(r["exit"], "0") << r["output"];
  const std::string& out = r["output"];
  for (const std::string& expected :
       {"  Installation folder:            " + inst_ + "\n",
        std::string("  Product:                        MEP\n"),
        std::string("  Language:                       en-US\n"),
        "  Identity file:                  " + inst_ + "MEP/en-US/identity.ini\n",
        "  Culture root:                   " + kCulture + "\n",
        "  Root list:\n    HKCU\\" + kCulture + "\n    HKCU\\" + kGlobal + "\n    HKLM\\" + kCulture + "\n"})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin:\n" << out;
  EXPECT_EQ(getString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedProduct"), L"<missing value>");
  EXPECT_EQ(getString(HKEY_CURRENT_USER, kVersionKeyW, L"LastLaunchedLanguage"), L"de-DE");
}

TEST_F(KvpalIdentityTest, NamesTheFailingStepAndRejectsBadUsage) {
  auto failed = kvpal("--install '" + inst_ + "'");
  EXPECT_EQ(failed["exit"], "1");
  EXPECT_NE(failed["output"].find("the start-up failed choosing the product"), std::string::npos)
      << failed["output"];
  for (const char* bad : {"--bogus", "--product"}) {
    auto r = kvpal(bad);
    EXPECT_EQ(r["exit"], "2") << bad;
  }
}

}  // namespace
