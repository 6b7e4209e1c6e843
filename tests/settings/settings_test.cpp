// Settings containers over RegistryKey, against real hive files.
#include "pal/settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "base/utf8.h"
#include "hive_fixture.h"
#include "settings/registry_key.h"

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::detail;
using Settings::Container;
using Settings::ReadOnlyContainer;

namespace {

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

Container key(HKEY root, const wchar_t* parent, const wchar_t* name, REGSAM access = kReadWrite) {
  return Container(new RegistryKey(root, parent, name, access));
}

// The raw stored value, read straight from the store.
StoreValue stored(HKEY root, const std::wstring& path, const std::wstring& name) {
  StoreValue v;
  SettingsHive::KeyId id;
  auto hive = openHive(root);
  if (hive->openKey(path, id) != ERROR_SUCCESS || hive->getValue(id, name, v) != ERROR_SUCCESS)
    v.type = 0xFFFF;
  return v;
}

void storeRaw(HKEY root, const std::wstring& path, StoreValue v) {
  ASSERT_EQ(openHive(root)->apply({{StoreChange::SetValue, path, std::move(v)}}), ERROR_SUCCESS);
}

std::vector<unsigned char> bytes(std::initializer_list<unsigned char> b) {
  return b;
}

// Rewrites "<profile>" to "/home/u" and back, and marks what it collapsed.
class ProfileExpander : public Settings::IUserProfileVariableExpander {
 public:
  bool collapseVariables(std::wstring& text) override {
    auto at = text.find(L"/home/u");
    if (at == std::wstring::npos) return false;
    text.replace(at, 7, L"<profile>");
    return true;
  }
  void expandVariables(std::wstring& text) override {
    auto at = text.find(L"<profile>");
    if (at != std::wstring::npos) text.replace(at, 9, L"/home/u");
  }
};

class ContainerTest : public HiveFixture {
 protected:
  void TearDown() override {
    Settings::unregUserProfileVariableExpander(&expander_);
    HiveFixture::TearDown();
  }
  ProfileExpander expander_;
};

TEST_F(ContainerTest, TypedValuesRoundTripAndWrongTypesGiveTheDefault) {
  Container c = key(HKEY_CURRENT_USER, L"Software\\Halvex", L"App");
  ASSERT_TRUE(c.good());
  ASSERT_TRUE(c.setString(L"Str", L"text \u00e9\U0001F600", false));
  ASSERT_TRUE(c.setUInt32(L"Num", 0xDEADBEEF));
  ASSERT_TRUE(c.setDouble(L"Dbl", -2.75));
  storeRaw(HKEY_CURRENT_USER, L"Software\\Halvex\\App", {L"Bin4", REG_BINARY, bytes({1, 0, 0, 0})});
  storeRaw(HKEY_CURRENT_USER, L"Software\\Halvex\\App", {L"Bin3", REG_BINARY, bytes({1, 2, 3})});
  storeRaw(HKEY_CURRENT_USER, L"Software\\Halvex\\App", {L"Dw2", REG_DWORD, bytes({1, 2})});

  const std::wstring sdef = L"def";
  const std::vector<unsigned char> bdef = {9};
  struct Case {
    const wchar_t* name;
    std::wstring str;
    unsigned u32;
    double dbl;
    std::vector<unsigned char> bin;
  } cases[] = {
      {L"Str", L"text \u00e9\U0001F600", 7, 1.5, bdef},
      {L"Num", sdef, 0xDEADBEEF, 1.5, bdef},  // a DWORD is no string, double or binary
      {L"Dbl", sdef, 7, -2.75, {0, 0, 0, 0, 0, 0, 6, 0xC0}},
      {L"Bin4", sdef, 1, 1.5, {1, 0, 0, 0}},  // a 4-byte binary reads as a 32-bit value
      {L"Bin3", sdef, 7, 1.5, {1, 2, 3}},     // not 8 bytes: no double is read
      {L"Dw2", sdef, 7, 1.5, bdef},           // a DWORD of the wrong size is unusable
      {L"Missing", sdef, 7, 1.5, bdef},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(wideToUtf8(k.name));
    EXPECT_EQ(c.getString(k.name, sdef), k.str);
    EXPECT_EQ(c.getUInt32(k.name, 7), k.u32);
    EXPECT_EQ(c.getDouble(k.name, 1.5), k.dbl);
    EXPECT_EQ(c.getBinary(k.name, bdef), k.bin);
  }
}

TEST_F(ContainerTest, StringsAreStoredAsUtf16WithTheTerminatorCounted) {
  Container c = key(HKEY_CURRENT_USER, L"S", L"K");
  ASSERT_TRUE(c.setString(L"abc", L"abc", false));
  ASSERT_TRUE(c.setString(L"emoji", L"\U0001F600", false));
  ASSERT_TRUE(c.setString(L"null", nullptr, false));
  ASSERT_TRUE(c.setString(L"exp", L"%KVPAL_TEST_DIR%\\x", true));
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L"S\\K", L"abc").data, bytes({'a', 0, 'b', 0, 'c', 0, 0, 0}));
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L"S\\K", L"emoji").data, bytes({0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L"S\\K", L"abc").type, REG_SZ);
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L"S\\K", L"exp").type, REG_EXPAND_SZ);
  EXPECT_EQ(c.getString(L"null", L"def"), L" ");

  // An expandable string comes back expanded; the stored text is not.
  setenv("KVPAL_TEST_DIR", "/opt/\xC3\xA9", 1);
  EXPECT_EQ(c.getString(L"exp", L""), L"/opt/\u00e9\\x");
  EXPECT_EQ(stringFromData(stored(HKEY_CURRENT_USER, L"S\\K", L"exp").data), L"%KVPAL_TEST_DIR%\\x");
  unsetenv("KVPAL_TEST_DIR");
  EXPECT_EQ(c.getString(L"exp", L""), L"%KVPAL_TEST_DIR%\\x");
}

TEST_F(ContainerTest, EmptyDataCountsAsAbsentButAnEmptyStringDoesNot) {
  Container c = key(HKEY_CURRENT_USER, L"S", L"K");
  storeRaw(HKEY_CURRENT_USER, L"S\\K", {L"empty", REG_BINARY, {}});
  storeRaw(HKEY_CURRENT_USER, L"S\\K", {L"emptysz", REG_SZ, {}});
  ASSERT_TRUE(c.setString(L"blank", L"", false));
  EXPECT_FALSE(c.exists(L"empty"));
  EXPECT_EQ(c.getBinary(L"empty", {5}), bytes({5}));
  EXPECT_EQ(c.getString(L"emptysz", L"def"), L"def");
  EXPECT_TRUE(c.exists(L"blank"));
  EXPECT_EQ(c.getString(L"blank", L"def"), L"");
  EXPECT_FALSE(c.exists(L"missing"));
  // Names compare without regard to case.
  EXPECT_TRUE(c.exists(L"BLANK"));
  // Any type counts, also those beyond the first 32.
  for (DWORD type : {31u, 32u, 0x12345678u}) {
    SCOPED_TRACE(type);
    storeRaw(HKEY_CURRENT_USER, L"S\\K", {L"odd", type, {1}});
    EXPECT_TRUE(c.exists(L"odd"));
    storeRaw(HKEY_CURRENT_USER, L"S\\K", {L"odd", type, {}});
    EXPECT_FALSE(c.exists(L"odd"));
  }
}

TEST_F(ContainerTest, ExpanderSeesEveryStringReadAndCollapsesWrites) {
  Container c = key(HKEY_CURRENT_USER, L"S", L"K");
  Settings::regUserProfileVariableExpander(&expander_);
  EXPECT_EQ(c.getString(L"missing", L"<profile>/docs"), L"/home/u/docs");
  ASSERT_TRUE(c.setString(L"path", L"/home/u/x", false));
  ASSERT_TRUE(c.setString(L"other", L"/srv", false));
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L"S\\K", L"path").type, REG_EXPAND_SZ);
  EXPECT_EQ(stringFromData(stored(HKEY_CURRENT_USER, L"S\\K", L"path").data), L"<profile>/x");
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L"S\\K", L"other").type, REG_SZ);
  EXPECT_EQ(c.getString(L"path", L""), L"/home/u/x");

  ProfileExpander another;
  Settings::unregUserProfileVariableExpander(&another);
  EXPECT_EQ(c.getString(L"missing", L"<profile>"), L"/home/u");
  Settings::unregUserProfileVariableExpander(&expander_);
  EXPECT_EQ(c.getString(L"missing", L"<profile>"), L"<profile>");
}

TEST_F(ContainerTest, GetAllStringValuesKeepsOnlyPlainStrings) {
  Container c = key(HKEY_CURRENT_USER, L"S", L"K");
  ASSERT_TRUE(c.setString(L"b", L"2", false));
  ASSERT_TRUE(c.setString(L"A", L"1", false));
  ASSERT_TRUE(c.setString(L"e", L"%X%", true));
  ASSERT_TRUE(c.setUInt32(L"d", 4));
  std::map<std::wstring, std::wstring> def = {{L"z", L"26"}};
  EXPECT_EQ(c.getAllStringValues(def), (std::map<std::wstring, std::wstring>{{L"A", L"1"}, {L"b", L"2"}}));

  Container missing = key(HKEY_CURRENT_USER, L"S", L"Nope", KEY_READ);
  ASSERT_FALSE(missing.good());
  EXPECT_EQ(missing.getAllStringValues(def), def);
}

TEST_F(ContainerTest, RemoveValueAndRemoveKey) {
  Container c = key(HKEY_CURRENT_USER, L"S", L"K");
  ASSERT_TRUE(c.setUInt32(L"v", 1));
  EXPECT_TRUE(c.removeValue(L"v"));
  EXPECT_TRUE(c.removeValue(L"v"));  // already absent: still true
  EXPECT_FALSE(c.exists(L"v"));

  Container child = key(HKEY_CURRENT_USER, L"S\\K", L"Child");
  ASSERT_TRUE(child.setUInt32(L"deep", 1));
  EXPECT_TRUE(c.remove());
  EXPECT_FALSE(c.good());
  EXPECT_FALSE(c.remove());  // nothing left to delete
  EXPECT_FALSE(key(HKEY_CURRENT_USER, L"S\\K", L"Child", KEY_READ).good());
  EXPECT_TRUE(key(HKEY_CURRENT_USER, L"", L"S", KEY_READ).good());

  // The other handle on the deleted subtree fails every later operation.
  EXPECT_TRUE(child.good());
  EXPECT_EQ(child.getUInt32(L"deep", 9), 9u);
  EXPECT_FALSE(child.setUInt32(L"deep", 2));
  EXPECT_FALSE(child.removeValue(L"deep"));
  int visits = 0;
  child.enumerate([&](const Container&) { return ++visits, true; });
  EXPECT_EQ(visits, 0);
  // ... and does not resurrect the key.
  EXPECT_FALSE(key(HKEY_CURRENT_USER, L"S\\K", L"Child", KEY_READ).good());
}

TEST_F(ContainerTest, RemovingAHiveRootFailsAndKeepsTheHive) {
  ASSERT_TRUE(key(HKEY_CURRENT_USER, L"Software", L"App").setUInt32(L"v", 1));
  ASSERT_TRUE(key(HKEY_CURRENT_USER, L"", L"").setUInt32(L"top", 2));
  // Every spelling of an empty path: roaming(L"") before the roots are set.
  for (auto [parent, name] : {std::pair{L"", L""}, {L"\\", L""}, {L"", L"\\\\"}}) {
    SCOPED_TRACE(testing::Message() << "parent '" << wideToUtf8(parent) << "' name '" << wideToUtf8(name)
                                    << "'");
    Container root = key(HKEY_CURRENT_USER, parent, name);
    ASSERT_TRUE(root.good());
    EXPECT_FALSE(root.remove());
    EXPECT_TRUE(root.good());
    EXPECT_EQ(root.getUInt32(L"top", 0), 2u);
    EXPECT_EQ(key(HKEY_CURRENT_USER, L"Software", L"App", KEY_READ).getUInt32(L"v", 0), 1u);
  }
}

TEST_F(ContainerTest, EnumerateVisitsChildrenUntilTheCallbackSaysStop) {
  Container c = key(HKEY_CURRENT_USER, L"S", L"K");
  for (const wchar_t* n : {L"Beta", L"alpha", L"Gamma"})
    ASSERT_TRUE(key(HKEY_CURRENT_USER, L"S\\K", n).setUInt32(L"id", static_cast<unsigned>(n[0])));
  std::vector<std::pair<std::wstring, unsigned>> seen;
  c.enumerate([&](const Container& child) {
    seen.emplace_back(child.name(), child.getUInt32(L"id", 0));
    return true;
  });
  EXPECT_EQ(seen, (std::vector<std::pair<std::wstring, unsigned>>{
                      {L"alpha", 'a'}, {L"Beta", 'B'}, {L"Gamma", 'G'}}));

  int visits = 0;
  c.enumerate([&](const Container&) { return ++visits, false; });
  EXPECT_EQ(visits, 1);
  c.enumerate(nullptr);  // an empty callback is not called
}

TEST_F(ContainerTest, EnumerateSkipsAChildTheCallbackRemoved) {
  for (const wchar_t* n : {L"a", L"b", L"c"})
    ASSERT_TRUE(key(HKEY_CURRENT_USER, L"S\\K", n).setUInt32(L"v", 1));
  for (REGSAM access : {kReadWrite, KEY_READ}) {
    SCOPED_TRACE(access);
    ASSERT_TRUE(key(HKEY_CURRENT_USER, L"S\\K", L"b").setUInt32(L"v", 1));
    std::vector<std::wstring> seen;
    key(HKEY_CURRENT_USER, L"S", L"K", access).enumerate([&](const Container& child) {
      seen.push_back(child.name());
      if (child.name() == L"a") {
        EXPECT_TRUE(key(HKEY_CURRENT_USER, L"S\\K", L"b").remove());
      }
      return true;
    });
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"a", L"c"}));
    EXPECT_FALSE(key(HKEY_CURRENT_USER, L"S\\K", L"b", KEY_READ).good());
  }
}

TEST_F(ContainerTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  ASSERT_TRUE(key(HKEY_CURRENT_USER, L"Software\\\u00c9diteur", L"MyApp").setString(L"Mode", L"x", false));
  Container other = key(HKEY_CURRENT_USER, L"SOFTWARE\\\u00e9DITEUR", L"myapp", KEY_READ);
  ASSERT_TRUE(other.good());
  EXPECT_EQ(other.getString(L"MODE", L""), L"x");
  EXPECT_EQ(other.name(), L"myapp");
  ASSERT_TRUE(key(HKEY_CURRENT_USER, L"software\\\u00e9diteur", L"MYAPP").setString(L"mode", L"y", false));
  std::vector<StoreValue> values;
  SettingsHive::KeyId id;
  ASSERT_EQ(openHive(HKEY_CURRENT_USER)->openKey(L"Software\\\u00c9diteur\\MyApp", id), ERROR_SUCCESS);
  ASSERT_EQ(openHive(HKEY_CURRENT_USER)->values(id, values), ERROR_SUCCESS);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, L"Mode");
  std::vector<std::wstring> names;
  ASSERT_EQ(openHive(HKEY_CURRENT_USER)->openKey(L"software", id), ERROR_SUCCESS);
  ASSERT_EQ(openHive(HKEY_CURRENT_USER)->subkeys(id, names), ERROR_SUCCESS);
  EXPECT_EQ(names, std::vector<std::wstring>{L"\u00c9diteur"});
}

TEST_F(ContainerTest, MachineKeysFallBackToTheUserHive) {
  setenv("KVPAL_MACHINE_HIVE_READONLY", "1", 1);
  // Creating where the machine hive may not be written yields the user key.
  Container created = key(HKEY_LOCAL_MACHINE, L"Software\\Halvex", L"Product");
  ASSERT_TRUE(created.good());
  ASSERT_TRUE(created.setString(L"Where", L"user", false));
  EXPECT_FALSE(fileExists(machineHive_));
  EXPECT_EQ(key(HKEY_CURRENT_USER, L"Software\\Halvex", L"Product", KEY_READ).getString(L"Where", L""),
            L"user");
  // remove() addresses the machine hive, where nothing can be deleted.
  EXPECT_FALSE(created.remove());
  EXPECT_TRUE(created.good());

  // Reading a machine key that is missing there yields the user key.
  Container read = key(HKEY_LOCAL_MACHINE, L"Software\\Halvex", L"Product", KEY_READ);
  ASSERT_TRUE(read.good());
  EXPECT_EQ(read.getString(L"Where", L""), L"user");
  EXPECT_FALSE(key(HKEY_LOCAL_MACHINE, L"Software\\Halvex", L"Nowhere", KEY_READ).good());

  // A writable machine hive takes the key itself, and then wins the read.
  unsetenv("KVPAL_MACHINE_HIVE_READONLY");
  ASSERT_TRUE(
      key(HKEY_LOCAL_MACHINE, L"Software\\Halvex", L"Product").setString(L"Where", L"machine", false));
  EXPECT_TRUE(fileExists(machineHive_));
  EXPECT_EQ(key(HKEY_LOCAL_MACHINE, L"Software\\Halvex", L"Product", KEY_READ).getString(L"Where", L""),
            L"machine");

  // Read-only again: the machine key opens for reading but takes no writes.
  setenv("KVPAL_MACHINE_HIVE_READONLY", "1", 1);
  RegistryKey ro(HKEY_LOCAL_MACHINE, L"Software\\Halvex", L"Product", KEY_READ);
  EXPECT_EQ(ro.getString(L"Where", L""), L"machine");
  EXPECT_FALSE(ro.setString(L"Where", L"again"));
}

TEST_F(ContainerTest, AccessMaskLimitsWhatAKeyMayDo) {
  ASSERT_TRUE(key(HKEY_CURRENT_USER, L"S", L"K").setUInt32(L"v", 1));
  RegistryKey readOnly(HKEY_CURRENT_USER, L"S", L"K", KEY_READ);
  EXPECT_EQ(readOnly.getUInt32(L"v", 0), 1u);
  EXPECT_FALSE(readOnly.setUInt32(L"v", 2));
  EXPECT_FALSE(readOnly.removeValue(L"v"));
  RegistryKey writeOnly(HKEY_CURRENT_USER, L"S", L"K", KEY_WRITE);
  EXPECT_EQ(writeOnly.getUInt32(L"v", 0), 0u);
  EXPECT_TRUE(writeOnly.setUInt32(L"v", 3));
  EXPECT_EQ(readOnly.getUInt32(L"v", 0), 3u);
}

TEST_F(ContainerTest, ReadsFromAMissingHiveCreateNothing) {
  Container c = key(HKEY_CURRENT_USER, L"Software", L"App", KEY_READ);
  EXPECT_FALSE(c.good());
  EXPECT_EQ(c.getString(L"x", L"d"), L"d");
  EXPECT_FALSE(c.remove());
  ReadOnlyContainer root(new RegistryKey(HKEY_CURRENT_USER, L"", L"", KEY_READ));
  EXPECT_EQ(root.getUInt32(L"x", 5), 5u);
  root.enumerate([](const Container&) {
    ADD_FAILURE() << "a missing hive has no children";
    return true;
  });
  EXPECT_FALSE(fileExists(userHive_));
  EXPECT_FALSE(fileExists(dir_ + "/user"));
}

TEST_F(ContainerTest, BadNamesFailCleanly) {
  const std::wstring key255(255, L'k'), key256(256, L'k');
  const std::wstring value16383(16383, L'v'), value16384(16384, L'v');
  EXPECT_TRUE(key(HKEY_CURRENT_USER, L"S", key255.c_str()).good());
  EXPECT_FALSE(key(HKEY_CURRENT_USER, L"S", key256.c_str()).good());
  // A character beyond the BMP counts two units, as on Windows.
  EXPECT_FALSE(key(HKEY_CURRENT_USER, L"S", std::wstring(128, L'\U0001F600').c_str()).good());
  Container c = key(HKEY_CURRENT_USER, L"S", L"K");
  EXPECT_TRUE(c.setUInt32(value16383.c_str(), 1));
  EXPECT_FALSE(c.setUInt32(value16384.c_str(), 1));
  EXPECT_EQ(c.getUInt32(value16384.c_str(), 7), 7u);
  EXPECT_EQ(c.getUInt32(value16383.c_str(), 7), 1u);
}

TEST_F(ContainerTest, CorruptOrForeignHiveFilesFailWithoutDamage) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
  } cases[] = {
      {"garbage", [](const std::string& p) { writeFile(p, std::string(8192, '\x5A')); }},
      {"foreign database",
       [](const std::string& p) {
         std::filesystem::create_directories(std::filesystem::path(p).parent_path());
         sqlite3* db = nullptr;
         sqlite3_open(p.c_str(), &db);
         sqlite3_exec(db, "CREATE TABLE other(x); INSERT INTO other VALUES(1);", nullptr, nullptr, nullptr);
         sqlite3_close(db);
       }},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    std::filesystem::remove_all(dir_ + "/user");
    k.make(userHive_);
    const std::string before = readFile(userHive_);
    Container c = key(HKEY_CURRENT_USER, L"S", L"K");
    EXPECT_FALSE(c.good());
    EXPECT_FALSE(c.setUInt32(L"v", 1));
    EXPECT_EQ(c.getUInt32(L"v", 4), 4u);
    EXPECT_FALSE(c.remove());
    EXPECT_EQ(readFile(userHive_), before);
  }
}

TEST_F(ContainerTest, MovedContainerOwnsTheKey) {
  Container a = key(HKEY_CURRENT_USER, L"S", L"K");
  ASSERT_TRUE(a.setUInt32(L"v", 11));
  Container b(std::move(a));
  EXPECT_EQ(b.getUInt32(L"v", 0), 11u);
  ReadOnlyContainer r(new RegistryKey(HKEY_CURRENT_USER, L"S", L"K", KEY_READ));
  ReadOnlyContainer r2(std::move(r));
  EXPECT_EQ(r2.getUInt32(L"v", 0), 11u);
  EXPECT_EQ(r2.name(), L"K");
}

// An implementation that keeps the base class's setExpandString.
class PlainImp : public Settings::ContainerImp {
 public:
  MOCK_METHOD(bool, good, (), (const, override));
  MOCK_METHOD(bool, exists, (const wchar_t*), (const, override));
  MOCK_METHOD(std::wstring, getString, (const wchar_t*, const std::wstring&), (const, override));
  MOCK_METHOD((std::map<std::wstring, std::wstring>), getAllStringValues,
              ((const std::map<std::wstring, std::wstring>&)), (const, override));
  MOCK_METHOD(std::vector<unsigned char>, getBinary, (const wchar_t*, const std::vector<unsigned char>&),
              (const, override));
  MOCK_METHOD(double, getDouble, (const wchar_t*, const double&), (const, override));
  MOCK_METHOD(unsigned, getUInt32, (const wchar_t*, const unsigned&), (const, override));
  MOCK_METHOD(void, enumerate, (std::function<bool(const Container&)>), (const, override));
  MOCK_METHOD(std::wstring, name, (), (const, override));
  MOCK_METHOD(bool, removeValue, (const wchar_t*), (override));
  MOCK_METHOD(bool, setString, (const wchar_t*, const wchar_t*), (override));
  MOCK_METHOD(bool, setUInt32, (const wchar_t*, unsigned), (override));
  MOCK_METHOD(bool, setDouble, (const wchar_t*, double), (override));
  MOCK_METHOD(bool, remove, (), (override));
};

TEST(ContainerImpTest, ExpandableWritesDefaultToPlainOnes) {
  auto* imp = new PlainImp;
  Container c(imp);  // owns and deletes imp
  EXPECT_CALL(*imp, setString(testing::StrEq(L"n"), testing::StrEq(L"%v%")))
      .Times(2)
      .WillRepeatedly(testing::Return(true));
  EXPECT_TRUE(c.setString(L"n", L"%v%", true));
  EXPECT_TRUE(c.setString(L"n", L"%v%", false));
}

}  // namespace
