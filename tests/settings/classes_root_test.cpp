// HKEY_CLASSES_ROOT as the user's classes over the machine's: through the
// key API, the .reg importer and the exporter.
#include "settings/classes_root.h"

#include <gtest/gtest.h>

#include "hive_fixture.h"
#include "settings/reg_file.h"
#include "settings/registry_key.h"

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::detail;
using Settings::Container;

namespace {

class ClassesRootTest : public HiveFixture {
 protected:
  void SetUp() override {
    HiveFixture::SetUp();
    // .txt is the user's and the machine's, .doc only the machine's.
    set(HKEY_LOCAL_MACHINE, L".txt", {L"", REG_SZ, stringData(L"machine txt")});
    set(HKEY_LOCAL_MACHINE, L".txt", {L"Machine only", REG_SZ, stringData(L"m")});
    set(HKEY_LOCAL_MACHINE, L".txt\\ShellNew", {L"m", REG_SZ, stringData(L"m")});
    set(HKEY_CURRENT_USER, L".txt", {L"", REG_SZ, stringData(L"user txt")});
    set(HKEY_CURRENT_USER, L".TXT\\OpenWith", {L"u", REG_SZ, stringData(L"u")});
    set(HKEY_LOCAL_MACHINE, L".doc", {L"", REG_SZ, stringData(L"machine doc")});
  }

  static void set(HKEY root, const std::wstring& path, StoreValue v) {
    ASSERT_EQ(openHive(root)->apply({{StoreChange::SetValue, classesPath(path), std::move(v)}}),
              ERROR_SUCCESS);
  }

  // The value as stored in one hive's classes, or "<absent>".
  static std::wstring stored(HKEY root, const std::wstring& path, const std::wstring& name) {
    SettingsHive::KeyId id;
    StoreValue v;
    auto hive = openHive(root);
    if (hive->openKey(classesPath(path), id) || hive->getValue(id, name, v)) return L"<absent>";
    return stringFromData(v.data);
  }

  static std::vector<std::wstring> children(const Container& c) {
    std::vector<std::wstring> names;
    c.enumerate([&](const Container& child) {
      names.push_back(child.name());
      return true;
    });
    return names;
  }
};

TEST_F(ClassesRootTest, KeysReadTheUserOverTheMachine) {
  Container txt(new RegistryKey(HKEY_CLASSES_ROOT, L"", L".txt", KEY_READ));
  ASSERT_TRUE(txt.good());
  EXPECT_EQ(txt.getString(L"", L"def"), L"user txt");
  EXPECT_EQ(txt.getString(L"Machine only", L"def"), L"m");
  EXPECT_EQ(txt.getAllStringValues({}),
            (std::map<std::wstring, std::wstring>{{L"", L"user txt"}, {L"Machine only", L"m"}}));
  EXPECT_EQ(children(txt), (std::vector<std::wstring>{L"OpenWith", L"ShellNew"}));

  Container doc(new RegistryKey(HKEY_CLASSES_ROOT, L"", L".doc", KEY_READ));
  EXPECT_EQ(doc.getString(L"", L"def"), L"machine doc");
  Container none(new RegistryKey(HKEY_CLASSES_ROOT, L"", L".none", KEY_READ));
  EXPECT_FALSE(none.good());

  // A child opened through enumeration keeps the merged view.
  std::wstring shellNew;
  txt.enumerate([&](const Container& child) {
    if (child.name() == L"ShellNew") shellNew = child.getString(L"m", L"def");
    return true;
  });
  EXPECT_EQ(shellNew, L"m");
}

TEST_F(ClassesRootTest, KeysWriteWhereTheUserKeyExistsElseToTheMachine) {
  Container txt(new RegistryKey(HKEY_CLASSES_ROOT, L"", L".txt", KEY_READ | KEY_WRITE));
  EXPECT_TRUE(txt.setString(L"w", L"1", false));
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L".txt", L"w"), L"1");
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, L".txt", L"w"), L"<absent>");

  Container doc(new RegistryKey(HKEY_CLASSES_ROOT, L"", L".doc", KEY_READ | KEY_WRITE));
  EXPECT_TRUE(doc.setString(L"w", L"2", false));
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, L".doc", L"w"), L"2");
  Container fresh(new RegistryKey(HKEY_CLASSES_ROOT, L"", L".new", KEY_READ | KEY_WRITE));
  EXPECT_TRUE(fresh.setString(L"w", L"3", false));
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, L".new", L"w"), L"3");

  // A machine hive that cannot be written sends new keys to the user's.
  setenv("KVPAL_MACHINE_HIVE_READONLY", "1", 1);
  Container denied(new RegistryKey(HKEY_CLASSES_ROOT, L"", L".denied", KEY_READ | KEY_WRITE));
  EXPECT_TRUE(denied.setString(L"w", L"4", false));
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L".denied", L"w"), L"4");
  unsetenv("KVPAL_MACHINE_HIVE_READONLY");

  EXPECT_TRUE(txt.remove());
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L".txt", L""), L"<absent>");
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, L".txt", L""), L"machine txt");
  Container root(new RegistryKey(HKEY_CLASSES_ROOT, L"", L"", KEY_READ | KEY_WRITE));
  EXPECT_FALSE(root.remove());
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, L".doc", L""), L"machine doc");
}

TEST_F(ClassesRootTest, ImportSendsEachKeyWhereAWriteWouldGo) {
  const std::string file =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CLASSES_ROOT\\.txt]\r\n@=\"imported txt\"\r\n"
      "[HKEY_CLASSES_ROOT\\.doc]\r\n@=\"imported doc\"\r\n"
      "[HKCR\\.new]\r\n\"v\"=\"n\"\r\n"
      "[HKEY_CURRENT_USER\\Software\\Classes\\.mine\\Sub]\r\n"
      "[HKEY_CLASSES_ROOT\\.MINE]\r\n\"v\"=\"mine\"\r\n"
      "[-HKEY_CLASSES_ROOT\\.txt\\OpenWith]\r\n";
  RegFileParse parsed = parseRegFile(file);
  ASSERT_EQ(parsed.error, "");
  HKEY failed = HKEY_CLASSES_ROOT;
  ASSERT_EQ(applyRegFile(parsed.changes, failed), ERROR_SUCCESS);
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L".txt", L""), L"imported txt");
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, L".txt", L""), L"machine txt");
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, L".doc", L""), L"imported doc");
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, L".new", L"v"), L"n");
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L".mine", L"v"), L"mine");
  EXPECT_EQ(stored(HKEY_CURRENT_USER, L".txt\\OpenWith", L"u"), L"<absent>");
  EXPECT_EQ(stored(HKEY_LOCAL_MACHINE, L".mine", L"v"), L"<absent>");
}

TEST_F(ClassesRootTest, ExportWritesTheMergedView) {
  std::wstring text;
  ASSERT_EQ(exportKeyTree(HKEY_CLASSES_ROOT, L".txt", text), ERROR_SUCCESS);
  EXPECT_EQ(text,
            L"[HKEY_CLASSES_ROOT\\.txt]\r\n@=\"user txt\"\r\n\"Machine only\"=\"m\"\r\n\r\n"
            L"[HKEY_CLASSES_ROOT\\.txt\\OpenWith]\r\n\"u\"=\"u\"\r\n\r\n"
            L"[HKEY_CLASSES_ROOT\\.txt\\ShellNew]\r\n\"m\"=\"m\"\r\n\r\n");
  EXPECT_EQ(exportKeyTree(HKEY_CLASSES_ROOT, L".none", text), ERROR_FILE_NOT_FOUND);
}

}  // namespace
