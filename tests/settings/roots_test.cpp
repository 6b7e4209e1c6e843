// Settings roots against real hive files: the root list, base products, the
// walk over the product roots and the profile and roaming containers.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "hive_fixture.h"
#include "pal/settings_roots.h"
#include "settings/roots_state.h"
#include "settings/settings_store.h"

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::detail;
using Settings::Container;
using Settings::Roots;

namespace {

constexpr const wchar_t* kSdk = L"SOFTWARE\\Halvex\\Nexabase\\R23.1";

std::string show(const std::vector<RootEntry>& list) {
  std::string out;
  for (const auto& e : list) {
    std::string path;
    for (wchar_t c : e.keyPath) path += c < 0x80 ? static_cast<char>(c) : '?';
    out += std::string(e.isUserHive ? "HKCU\\" : "HKLM\\") + path + "\n";
  }
  return out;
}

class RootsTest : public HiveFixture {
 protected:
  static void put(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    ASSERT_EQ(openHive(root)->apply({{StoreChange::SetValue, path, {name, REG_SZ, stringData(value)}}}),
              ERROR_SUCCESS);
  }

  static bool keyExists(HKEY root, const std::wstring& path) {
    SettingsHive::KeyId id;
    return openHive(root)->openKey(path, id) == ERROR_SUCCESS;
  }

  static void initialize(const wchar_t* roaming, const wchar_t* culture) {
    Roots::initializeFromRoots(roaming, culture, KvLocale(L"en", L"US"));
  }

  // Where each visited container says it is (its "Where" value), in order.
  static std::vector<std::wstring> walk(const wchar_t* subkey, bool includeUserRoots) {
    std::vector<std::wstring> seen;
    Settings::read().getProductSettings(
        subkey,
        [&](const Container& c) {
          seen.push_back(c.getString(L"Where", L"?"));
          return true;
        },
        includeUserRoots);
    return seen;
  }
};

TEST_F(RootsTest, RootListOrderAndBaseProducts) {
  const std::wstring longList259 = L"A;" + std::wstring(257, L'x');
  struct Case {
    const char* what;
    const wchar_t* roaming;
    const wchar_t* culture;
    const wchar_t* global;
    std::wstring baseProduct;         // empty: no value
    std::vector<RootEntry> expected;  // the SDK entries follow
  } cases[] = {
      {"separate roaming root, culture root with a suffix, base list ending in ';'",
       L"Soft\\R",
       L"Soft\\P\\G:409",
       L"Soft\\P\\G",
       L"A;B;",
       {{true, L"Soft\\R"},
        {true, L"Soft\\P\\G"},
        {false, L"Soft\\P\\G:409"},
        {false, L"Soft\\P\\G"},
        {false, L"Soft\\P\\A"},
        {false, L"Soft\\P\\B"}}},
      {"roaming root equal to the global root, culture root without ':'",
       L"Soft\\P\\G",
       L"Soft\\P\\G",
       L"Soft\\P\\G",
       L"A",
       {{true, L"Soft\\P\\G"}, {false, L"Soft\\P\\G"}, {false, L"Soft\\P\\A"}}},
      {"roots compare case-sensitively",
       L"soft\\p\\g",
       L"Soft\\P\\G:1",
       L"Soft\\P\\G",
       L"",
       {{true, L"soft\\p\\g"}, {true, L"Soft\\P\\G"}, {false, L"Soft\\P\\G:1"}, {false, L"Soft\\P\\G"}}},
      {"a culture root starting with ':' is its own global root",
       L"R",
       L":409",
       L":409",
       L"",
       {{true, L"R"}, {true, L":409"}, {false, L":409"}}},
      {"a global root without '\\' gives base products without a prefix",
       L"R",
       L"G:409",
       L"G",
       L"A;B",
       {{true, L"R"}, {true, L"G"}, {false, L"G:409"}, {false, L"G"}, {false, L"A"}, {false, L"B"}}},
      {"an empty part before ';' names the prefix itself",
       L"R",
       L"P\\G",
       L"P\\G",
       L"A;;B",
       {{true, L"R"},
        {true, L"P\\G"},
        {false, L"P\\G"},
        {false, L"P\\A"},
        {false, L"P\\"},
        {false, L"P\\B"}}},
      {"a base list of 259 characters is read",
       L"R",
       L"G",
       L"G",
       longList259,
       {{true, L"R"}, {true, L"G"}, {false, L"G"}, {false, L"A"}, {false, longList259.substr(2)}}},
      {"a base list of 260 characters does not fit the value's buffer",
       L"R",
       L"G",
       L"G",
       longList259 + L"x",
       {{true, L"R"}, {true, L"G"}, {false, L"G"}}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    setenv("KVPAL_MACHINE_HIVE", (dir_ + "/machine" + std::to_string(++n) + ".db").c_str(), 1);
    if (!c.baseProduct.empty()) put(HKEY_LOCAL_MACHINE, c.global, L"BaseProduct", c.baseProduct);
    initialize(c.roaming, c.culture);
    EXPECT_STREQ(Roots::roamingRootName(), c.roaming);
    EXPECT_STREQ(Roots::productCultureSpecificRootName(), c.culture);
    EXPECT_STREQ(Roots::productGlobalRootName(), c.global);
    std::vector<RootEntry> expected = c.expected;
    expected.push_back({true, kSdk});
    expected.push_back({false, kSdk});
    EXPECT_EQ(show(rootsState().rootList), show(expected));
  }
}

TEST_F(RootsTest, BaseProductsComeFromTheMachineHiveOnly) {
  put(HKEY_CURRENT_USER, L"P\\G", L"BaseProduct", L"A");
  ASSERT_EQ(openHive(HKEY_LOCAL_MACHINE)
                ->apply({{StoreChange::SetValue, L"P\\G", {L"BaseProduct", REG_DWORD, {1, 0, 0, 0}}}}),
            ERROR_SUCCESS);
  initialize(L"R", L"P\\G:409");
  std::vector<std::wstring> keys;
  getHKLMBaseProductGlobalRootKeys(keys);
  EXPECT_TRUE(keys.empty());
  EXPECT_EQ(rootsState().rootList.size(), 6u) << show(rootsState().rootList);
}

TEST_F(RootsTest, BaseProductKeysAreReadAgainForTheLastRebuiltGlobalRoot) {
  put(HKEY_LOCAL_MACHINE, L"P\\G", L"BaseProduct", L"A");
  initialize(L"R", L"P\\G:409");
  put(HKEY_LOCAL_MACHINE, L"P\\G", L"BaseProduct", L"B;C");
  // Set as the product identity start-up does, without a rebuild.
  rootsState().productGlobalRootName = L"Other";
  std::vector<std::wstring> keys{L"kept"};
  getHKLMBaseProductGlobalRootKeys(keys);
  EXPECT_EQ(keys, (std::vector<std::wstring>{L"kept", L"P\\B", L"P\\C"}));
  EXPECT_EQ(rootsState().rootList[4].keyPath, L"P\\A") << "the list itself is not rebuilt";
}

TEST_F(RootsTest, ProductSettingsWalkTheRootsInOrder) {
  put(HKEY_LOCAL_MACHINE, L"P\\G", L"BaseProduct", L"B");
  put(HKEY_CURRENT_USER, L"R\\Sub", L"Where", L"user roaming");
  put(HKEY_CURRENT_USER, L"P\\G\\Sub", L"Where", L"user global");
  put(HKEY_LOCAL_MACHINE, L"P\\G:409\\Sub", L"Where", L"machine culture");
  put(HKEY_LOCAL_MACHINE, L"P\\G\\Sub", L"Where", L"machine global");
  // Missing from the machine hive: taken from the user hive.
  put(HKEY_CURRENT_USER, L"P\\B\\Sub", L"Where", L"user base");
  put(HKEY_LOCAL_MACHINE, std::wstring(kSdk) + L"\\Sub", L"Where", L"machine sdk");
  initialize(L"R", L"P\\G:409");

  EXPECT_EQ(walk(L"Sub", true),
            (std::vector<std::wstring>{L"user roaming", L"user global", L"machine culture", L"machine global",
                                       L"user base", L"machine sdk"}));
  EXPECT_EQ(walk(L"Sub", false),
            (std::vector<std::wstring>{L"machine culture", L"machine global", L"user base", L"machine sdk"}));
  EXPECT_TRUE(walk(L"Absent", true).empty());

  int visits = 0;
  bool writeRefused = false;
  Settings::read().getProductSettings(
      L"Sub",
      [&](const Container& c) {
        ++visits;
        writeRefused = !const_cast<Container&>(c).setString(L"Where", L"changed", false);
        return false;
      },
      true);
  EXPECT_EQ(visits, 1) << "a visitor returning false ends the walk";
  EXPECT_TRUE(writeRefused) << "visited containers are read-only";
  EXPECT_EQ(walk(L"Sub", true).front(), L"user roaming");

  EXPECT_THROW(Settings::read().getProductSettings(L"Sub", nullptr, false), std::bad_function_call);
  EXPECT_NO_THROW(Settings::read().getProductSettings(L"Absent", nullptr, true));
}

TEST_F(RootsTest, RoamingContainers) {
  initialize(L"Soft\\R", L"P\\G");
  EXPECT_FALSE(Settings::read().roaming(L"General").good());
  EXPECT_FALSE(Settings::read().currentProfile(L"General").good());
  EXPECT_FALSE(fileExists(userHive_)) << "read-only containers create nothing";

  Container rw = Settings::write().roaming(L"General");
  ASSERT_TRUE(rw.good());
  EXPECT_TRUE(rw.setString(L"Size", L"10", false));
  EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, L"Soft\\R\\General"));
  EXPECT_EQ(Settings::read().roaming(L"General").getString(L"Size", L""), L"10");
  EXPECT_EQ(Settings::read().roaming(L"General").name(), L"General");
}

TEST_F(RootsTest, ProfileSwitching) {
  // The first switch must see the profile name the library starts with.
  EXPECT_EQ(runInChild([] {
              initialize(L"Soft\\R", L"P\\G");
              if (Roots::setCurrentProfileName(L"Other") != L"Current") return 1;
              if (!Settings::write().currentProfile(L"General").setString(L"Tool", L"line", false)) return 2;
              if (!keyExists(HKEY_CURRENT_USER, L"Soft\\R\\Profiles\\Other\\General")) return 3;
              if (Settings::read().currentProfile(L"General").getString(L"Tool", L"") != L"line") return 4;
              if (Roots::setCurrentProfileName(L"Third") != L"Other") return 5;
              if (std::wstring(Roots::currentProfileName()) != L"Third") return 6;
              if (Settings::read().currentProfile(L"General").good()) return 7;
              if (keyExists(HKEY_CURRENT_USER, L"Soft\\R\\Profiles\\Third")) return 8;
              return 0;
            }),
            0);
}

TEST_F(RootsTest, LanguageComesFromTheFirstInitializerOnly) {
  EXPECT_EQ(runInChild([] {
              Roots::initializeFromRoots(L"R", L"G", KvLocale(L"fr", L"FR"));
              if (std::wstring(Roots::currentLanguageName()) != L"fr-FR") return 1;
              Roots::initializeFromRoots(L"R2", L"G2", KvLocale(L"de", L"DE"));
              if (std::wstring(Roots::currentLanguageName()) != L"fr-FR") return 2;
              if (std::wstring(Roots::roamingRootName()) != L"R2") return 3;
              return 0;
            }),
            0);
}

}  // namespace
