// The registry editor's text format: parsing, errors by line, and the
// writer's output read back.
#include "settings/reg_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cwctype>

#include "base/utf8.h"
#include "hive_fixture.h"
#include "pal/unicode_convert.h"

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::detail;

namespace {

const std::string kHead = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string utf16le(const std::string& utf8) {
  return encodeRegFile(utf8ToWide(utf8));
}

std::string repeated(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

std::string hexOf(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    out += (out.empty() ? "" : ",") + std::string(buf);
  }
  return out;
}

bool sameChanges(const std::vector<RegFileChange>& a, const std::vector<RegFileChange>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto &x = a[i], &y = b[i];
    if (x.root != y.root || x.change.kind != y.change.kind || x.change.path != y.change.path ||
        x.change.value.name != y.change.value.name || x.change.value.type != y.change.value.type ||
        x.change.value.data != y.change.value.data)
      return false;
  }
  return true;
}

TEST(RegFile, ParsesEveryFormInBothEncodings) {
  const std::string text = kHead +
                           "; a comment\r\n"
                           "[HKEY_CURRENT_USER\\Software\\A]\r\n"
                           "@=\"default\"\r\n"
                           "\"Quote \\\"q\\\" \\\\\"=\"C:\\\\dir \\\"x\\\"\"\r\n"
                           "\"Dw\"=dword:0000002A\r\n"
                           "\"Bin\"=hex:01,ff,\\\r\n"
                           "  10\r\n"
                           "\"Exp\"=hex(2):25,00,00,00\r\n"
                           "\"Empty\"=hex:\r\n"
                           "\"Gone\"=-\r\n"
                           "\r\n"
                           "[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n"
                           "[HKLM\\Software\\\xC3\xA9]\r\n";
  const std::vector<RegFileChange> expected = {
      {HKEY_CURRENT_USER, {StoreChange::CreateKey, L"Software\\A", {}}},
      {HKEY_CURRENT_USER, {StoreChange::SetValue, L"Software\\A", {L"", REG_SZ, stringData(L"default")}}},
      {HKEY_CURRENT_USER,
       {StoreChange::SetValue, L"Software\\A", {L"Quote \"q\" \\", REG_SZ, stringData(L"C:\\dir \"x\"")}}},
      {HKEY_CURRENT_USER, {StoreChange::SetValue, L"Software\\A", {L"Dw", REG_DWORD, {42, 0, 0, 0}}}},
      {HKEY_CURRENT_USER, {StoreChange::SetValue, L"Software\\A", {L"Bin", REG_BINARY, {1, 0xFF, 0x10}}}},
      {HKEY_CURRENT_USER, {StoreChange::SetValue, L"Software\\A", {L"Exp", REG_EXPAND_SZ, {0x25, 0, 0, 0}}}},
      {HKEY_CURRENT_USER, {StoreChange::SetValue, L"Software\\A", {L"Empty", REG_BINARY, {}}}},
      {HKEY_CURRENT_USER, {StoreChange::DeleteValue, L"Software\\A", {L"Gone", REG_NONE, {}}}},
      {HKEY_LOCAL_MACHINE, {StoreChange::DeleteTree, L"Software\\Old", {}}},
      {HKEY_LOCAL_MACHINE, {StoreChange::CreateKey, L"Software\\\u00e9", {}}},
  };
  std::string lf = text;
  for (size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  for (const std::string& bytes : {text, lf, "\xEF\xBB\xBF" + text, utf16le(text)}) {
    RegFileParse p = parseRegFile(bytes);
    EXPECT_EQ(p.error, "");
    EXPECT_TRUE(sameChanges(p.changes, expected));
  }
}

// Forms that files written for the registry editor use.
TEST(RegFile, ReadsWhatTheRegistryEditorReads) {
  // A backslash that starts no escape stands for itself.
  RegFileParse p = parseRegFile(kHead +
                                "[HKCU\\X]\r\n"
                                "\"%SYSTEMDRIVE%\\Users\"=\"%SYSTEMDRIVE%\\Users\"\r\n"
                                "\"a\\\\b\\c\\\"d\"=\"\\n\"\r\n"
                                "[HKEY_CLASSES_ROOT\\.txt]\r\n"
                                "@=\"txtfile\"\r\n");
  ASSERT_EQ(p.error, "");
  const std::vector<RegFileChange> expected = {
      {HKEY_CURRENT_USER, {StoreChange::CreateKey, L"X", {}}},
      {HKEY_CURRENT_USER,
       {StoreChange::SetValue, L"X", {L"%SYSTEMDRIVE%\\Users", REG_SZ, stringData(L"%SYSTEMDRIVE%\\Users")}}},
      {HKEY_CURRENT_USER, {StoreChange::SetValue, L"X", {L"a\\b\\c\"d", REG_SZ, stringData(L"\\n")}}},
      {HKEY_CLASSES_ROOT, {StoreChange::CreateKey, L".txt", {}}},
      {HKEY_CLASSES_ROOT, {StoreChange::SetValue, L".txt", {L"", REG_SZ, stringData(L"txtfile")}}},
  };
  EXPECT_TRUE(sameChanges(p.changes, expected));

  // The older header: text in the system's ANSI code page, same syntax.
  const std::string ansi = "caf\xE9";
  std::wstring wide;
  ASSERT_EQ(UnicodeConvert::multibyteToWide(code_page_id_ex(0u), ansi, wide, 0),
            UnicodeConvert::ToWideCharOk);
  EXPECT_EQ(wide.find(L'\uFFFD'), std::wstring::npos) << "a single-byte code page reads every byte";
  for (const std::string& head : {std::string("REGEDIT4\r\n\r\n"), std::string("\r\n  REGEDIT4 \n")}) {
    p = parseRegFile(head + "[HKLM\\" + ansi + "]\n\"" + ansi + "\"=\"" + ansi +
                     "\"\n\"d\"=dword:00000001\n");
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.changes.size(), 3u);
    EXPECT_EQ(p.changes[0].change.path, wide);
    EXPECT_EQ(p.changes[1].change.value.name, wide);
    EXPECT_EQ(p.changes[1].change.value.data, stringData(wide));
  }
  // Such files hold expandable and multi-strings as code-page bytes.
  p = parseRegFile("REGEDIT4\n[HKCU\\X]\n\"e\"=hex(2):25,41,25,00\n\"m\"=hex(7):61,00," + hexOf(ansi) +
                   ",00,00\n\"b\"=hex:61,00\n");
  ASSERT_EQ(p.error, "");
  ASSERT_EQ(p.changes.size(), 4u);
  EXPECT_EQ(p.changes[1].change.value.data, stringData(L"%A%"));
  std::wstring multi = L"a";
  multi += L'\0' + wide + L'\0';
  EXPECT_EQ(p.changes[2].change.value.data, stringData(multi));
  EXPECT_EQ(p.changes[3].change.value.data, (std::vector<unsigned char>{0x61, 0}));

  // With a byte-order mark the encoding is the mark's.
  p = parseRegFile("\xEF\xBB\xBFREGEDIT4\r\n[HKCU\\\xC3\xA9]\r\n");
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.changes[0].change.path, L"\u00e9");
}

TEST(RegFile, MalformedFilesNameTheFailingLine) {
  struct Case {
    std::string text;
    size_t line;
  } cases[] = {
      {"", 1},
      {"REGEDIT 4\r\n", 1},
      {"\r\nWindows Registry Editor Version 4.00\r\n", 2},
      {kHead + "\"v\"=\"x\"\r\n", 3},      // value before any key
      {kHead + "[HKEY_USERS\\X]\r\n", 3},  // roots without a counterpart
      {kHead + "[HKCC\\X]\r\n", 3},
      {kHead + "[HKEY_ELSEWHERE\\X]\r\n", 3},
      {kHead + "[HKCU\\X\r\n", 3},  // unclosed key
      {kHead + "[HKCU\\X] trailing\r\n", 3},
      {kHead + "[HKCU\\X]\r\n\"v\"=\"open\r\n", 4},   // unterminated string
      {kHead + "[HKCU\\X]\r\n\"v\"=\"a\\\"\r\n", 4},  // \" escapes the closing quote
      {"REGEDIT4\r\n[HKCU\\X]\r\n\"a" + std::string(1, '\0') + "\"=\"x\"\r\n", 1},
      {kHead + "[HKCU\\X]\r\n\"v\"=dword:123456789\r\n", 4},
      {kHead + "[HKCU\\X]\r\n\"v\"=dword:\r\n", 4},
      {kHead + "[HKCU\\X]\r\n\"v\"=hex:1,zz\r\n", 4},
      {kHead + "[HKCU\\X]\r\n\"v\"=hex:100\r\n", 4},
      {kHead + "[HKCU\\X]\r\n\"v\"=hex(q):00\r\n", 4},
      {kHead + "[HKCU\\X]\r\n\"v\"=hex:01,\\\r\n  02,\\\r\n  zz\r\n\"w\"=\"x\"\r\n",
       4},  // first line of the value
      {kHead + "[HKCU\\X]\r\n\"v\"\r\n", 4},
      {kHead + "[HKCU\\X]\r\nv=\"x\"\r\n", 4},
      {kHead + "[HKCU\\X]\r\n\"v\"=word:1\r\n", 4},
      {kHead + "[-HKCU\\X]\r\n\"v\"=\"x\"\r\n", 4},  // values under a deleted key
      {kHead + "[HKCU\\" + std::string(256, 'k') + "]\r\n", 3},
      {kHead + "[HKCU\\A]\r\n[-HKEY_CURRENT_USER]\r\n", 4},  // a whole hive
      {kHead + "[-HKLM]\r\n", 3},
      {kHead + "[-HKCR]\r\n", 3},
      {kHead + "[HKCR" + repeated("\\k", kMaxKeyDepth - 1) + "]\r\n", 3},  // two levels down in its hive
      {kHead + "[-hkey_local_machine\\\\]\r\n", 3},
      {kHead + "[HKCU" + repeated("\\k", kMaxKeyDepth + 1) + "]\r\n", 3},
      {kHead + "[-HKCU\\\\" + repeated("k\\\\", kMaxKeyDepth + 1) + "]\r\n", 3},
      {kHead + "[HKCU\\X]\r\n\"" + std::string(16384, 'v') + "\"=\"x\"\r\n", 4},
      {kHead + "[HKCU\\X]\r\n\"a" + std::string(1, '\0') + "b\"=\"x\"\r\n", 4},
      {"\xFE\xFF\x00W", 1},  // big-endian UTF-16
      {"\xFF\xFE"
       "W\x00X",
       1},  // odd UTF-16 length
  };
  for (const auto& c : cases) {
    RegFileParse p = parseRegFile(c.text);
    EXPECT_EQ(p.errorLine, c.line) << p.error << "\nin: " << c.text.substr(0, 120);
    EXPECT_EQ(p.error.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << p.error;
    EXPECT_TRUE(p.changes.empty());
  }
}

TEST(RegFile, WrittenValuesReadBackExactly) {
  std::vector<unsigned char> longBinary(300);
  for (size_t i = 0; i < longBinary.size(); ++i) longBinary[i] = static_cast<unsigned char>(i);
  const StoreValue cases[] = {
      {L"", REG_SZ, stringData(L"default")},
      {L"q\"uo\\te", REG_SZ, stringData(L"a \"b\" \\c\\ \u00e9\U0001F600")},
      {L"empty", REG_SZ, stringData(L"")},
      {L"lines", REG_SZ, stringData(L"one\r\ntwo")},  // not expressible as "..."
      {L"unterminated", REG_SZ, {'a', 0}},            // no terminating zero
      {L"odd", REG_SZ, {'a', 0, 0}},
      {L"inner zero", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}},
      {L"lone surrogate", REG_SZ, {0x00, 0xD8, 0, 0}},
      {L"dw", REG_DWORD, {1, 2, 3, 4}},
      {L"short dw", REG_DWORD, {1, 2}},
      {L"exp", REG_EXPAND_SZ, stringData(L"%PATH%")},
      {L"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {L"qw", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
      {L"none", REG_NONE, {}},
      {L"odd type", 0x12345, {9}},
      {L"long", REG_BINARY, longBinary},
  };
  std::wstring text = regFileHeader() + regFileKeyLine(HKEY_LOCAL_MACHINE, L"Software\\T");
  for (const auto& v : cases) text += regFileValueLine(v);
  const std::string bytes = encodeRegFile(text);
  ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  RegFileParse p = parseRegFile(bytes);
  ASSERT_EQ(p.error, "");
  ASSERT_EQ(p.changes.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const StoreValue& got = p.changes[i + 1].change.value;
    EXPECT_EQ(got.name, cases[i].name);
    EXPECT_EQ(got.type, cases[i].type) << wideToUtf8(cases[i].name);
    EXPECT_EQ(got.data, cases[i].data) << wideToUtf8(cases[i].name);
  }
  // Long hex lists wrap the way the registry editor wraps them.
  for (const auto& line : {regFileValueLine(cases[std::size(cases) - 1])}) {
    size_t start = 0, end;
    while ((end = line.find(L"\r\n", start)) != std::wstring::npos) {
      EXPECT_LE(end - start, 80u);
      start = end + 2;
    }
  }
  EXPECT_EQ(regFileValueLine({L"n", REG_DWORD, {0x2A, 0, 0, 0}}), L"\"n\"=dword:0000002a\r\n");
  EXPECT_EQ(regFileValueLine({L"", REG_SZ, stringData(L"x")}), L"@=\"x\"\r\n");
}

TEST(RegFile, KeysUpToTheDepthLimitParse) {
  RegFileParse p = parseRegFile(kHead + "[HKCU" + repeated("\\k", kMaxKeyDepth) + "]\r\n" + "[-HKCU\\\\" +
                                repeated("k\\\\", kMaxKeyDepth) + "]\r\n");
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(p.changes.size(), 2u);
}

TEST(RegFile, RootedPaths) {
  struct Case {
    const wchar_t* text;
    bool ok;
    HKEY root;
    const wchar_t* path;
  } cases[] = {
      {L"HKCU\\Software\\A", true, HKEY_CURRENT_USER, L"Software\\A"},
      {L"hkey_local_machine\\X", true, HKEY_LOCAL_MACHINE, L"X"},
      {L"HKLM", true, HKEY_LOCAL_MACHINE, L""},
      {L"HKCR\\X", true, HKEY_CLASSES_ROOT, L"X"},
      {L"Hkey_Classes_Root", true, HKEY_CLASSES_ROOT, L""},
      {L"HKU\\X", false, HKEY_CURRENT_USER, L""},
      {L"HKEY_CURRENT_CONFIG\\X", false, HKEY_CURRENT_USER, L""},
      {L"Software\\X", false, HKEY_CURRENT_USER, L""},
  };
  for (const auto& c : cases) {
    HKEY root = HKEY_CURRENT_USER;
    std::wstring path;
    std::string error;
    EXPECT_EQ(parseRootedPath(c.text, root, path, error), c.ok) << wideToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(root, c.root);
      EXPECT_EQ(path, c.path);
    } else {
      EXPECT_NE(error, "") << wideToUtf8(c.text);
    }
  }
  std::string error;
  HKEY root;
  std::wstring path;
  parseRootedPath(L"HKEY_USERS\\S-1", root, path, error);
  EXPECT_NE(error.find("HKEY_USERS has no counterpart"), std::string::npos) << error;
}

// A host may switch LC_CTYPE to a Turkish locale, where 'i' upper-cases to
// U+0130; root names and data keywords must still match in any case.
TEST(RegFile, NamesMatchUnderATurkishLocale) {
  locale_t turkish = newlocale(LC_CTYPE_MASK, "tr_TR.UTF-8", static_cast<locale_t>(nullptr));
  ASSERT_NE(turkish, static_cast<locale_t>(nullptr)) << "the tr_TR.UTF-8 locale is not installed";
  locale_t previous = uselocale(turkish);
  const bool localeActive = std::towupper(L'i') != L'I';
  HKEY root = HKEY_CURRENT_USER;
  std::wstring path;
  std::string error;
  const bool rooted = parseRootedPath(L"hkey_local_machine\\X", root, path, error);
  RegFileParse p = parseRegFile(kHead + "[hkey_local_machine\\Software]\r\n\"v\"=DWORD:00000001\r\n");
  uselocale(previous);
  freelocale(turkish);
  ASSERT_TRUE(localeActive);
  EXPECT_TRUE(rooted);
  EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(p.changes.size(), 2u);
}

class RegFileHiveTest : public HiveFixture {
 protected:
  // Exports `path` of the user hive, imports the file into a fresh user
  // hive and expects the same keys, values, types and bytes.
  void expectRoundTrip(const std::wstring& path) {
    std::vector<std::string> before, after;
    dumpTree(*openHive(HKEY_CURRENT_USER), path, before);
    std::wstring text = regFileHeader();
    ASSERT_EQ(exportKeyTree(HKEY_CURRENT_USER, path, text), ERROR_SUCCESS);
    const std::string bytes = encodeRegFile(text);

    setenv("KVPAL_USER_HIVE", (dir_ + "/fresh/settings.db").c_str(), 1);
    RegFileParse parsed = parseRegFile(bytes);
    ASSERT_EQ(parsed.error, "");
    HKEY failed = HKEY_LOCAL_MACHINE;
    ASSERT_EQ(applyRegFile(parsed.changes, failed), ERROR_SUCCESS);
    dumpTree(*openHive(HKEY_CURRENT_USER), path, after);
    EXPECT_EQ(after, before);
    // What was imported exports to the same text.
    std::wstring again = regFileHeader();
    ASSERT_EQ(exportKeyTree(HKEY_CURRENT_USER, path, again), ERROR_SUCCESS);
    EXPECT_TRUE(again == text);
    EXPECT_FALSE(fileExists(machineHive_));
  }

  static void set(const std::wstring& path, StoreValue v) {
    ASSERT_EQ(openHive(HKEY_CURRENT_USER)->apply({{StoreChange::SetValue, path, std::move(v)}}),
              ERROR_SUCCESS);
  }
};

TEST_F(RegFileHiveTest, ExportedTreeImportsIntoAnEmptyHiveUnchanged) {
  std::vector<unsigned char> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7);
  const std::wstring root = L"Software\\RT";
  const std::pair<std::wstring, StoreValue> values[] = {
      {root, {L"", REG_SZ, stringData(L"default")}},
      {root, {L"Quote \"q\" \\", REG_SZ, stringData(L"C:\\dir \"x\" \u00e9\U0001F600")}},
      {root, {L"lines", REG_SZ, stringData(L"one\r\ntwo")}},
      {root, {L"unterminated", REG_SZ, {'a', 0}}},
      {root, {L"exp", REG_EXPAND_SZ, stringData(L"%HOME%/x")}},
      {root, {L"dw", REG_DWORD, {1, 2, 3, 4}}},
      {root, {L"qw", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}},
      {root, {L"multi", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}}},
      {root, {L"none", REG_NONE, {}}},
      {root, {L"odd type", 0x12345, {9}}},
      {root, {L"bin", REG_BINARY, bytes}},
      {root + L"\\Child\\Gr\u00e4ndchild", {L"deep", REG_DWORD, {7, 0, 0, 0}}},
      {root + L"\\Child\\Second", {L"", REG_SZ, stringData(L"")}},
  };
  for (const auto& [path, v] : values) set(path, v);
  ASSERT_EQ(openHive(HKEY_CURRENT_USER)->apply({{StoreChange::CreateKey, root + L"\\Empty", {}}}),
            ERROR_SUCCESS);
  expectRoundTrip(root);
}

// Forty thousand continuation lines and more: reading them back must not
// rescan what was already joined.
TEST_F(RegFileHiveTest, LargeValuesRoundTrip) {
  std::vector<unsigned char> big(3 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 131 + (i >> 12));
  std::wstring multi;
  for (int i = 0; i < 50000; ++i) multi += L"item " + std::to_wstring(i) + L'\0';
  set(L"Software\\Big", {L"binary", REG_BINARY, big});
  set(L"Software\\Big", {L"multi", REG_MULTI_SZ, stringData(multi)});
  expectRoundTrip(L"Software\\Big");
}

TEST_F(RegFileHiveTest, DeepestKeysRoundTrip) {
  std::wstring path = L"Software";
  for (size_t depth = 1; depth < kMaxKeyDepth; ++depth) path += L"\\" + std::to_wstring(depth % 10);
  set(path, {L"leaf", REG_DWORD, {1, 0, 0, 0}});
  set(L"Software\\1\\2", {L"mid", REG_SZ, stringData(L"m")});
  expectRoundTrip(L"Software");
}

TEST_F(RegFileHiveTest, ExportStopsAtAMissingKey) {
  set(L"Software\\A", {L"v", REG_DWORD, {1, 0, 0, 0}});
  std::wstring text;
  EXPECT_EQ(exportKeyTree(HKEY_CURRENT_USER, L"Software\\B", text), ERROR_FILE_NOT_FOUND);
}

}  // namespace
