// The installed-font list over the test fonts of a private fontconfig
// configuration, on the system locale this process runs with (the suite runs
// once with en-US and once with Japanese): names, classification, files,
// the cache, the process's own fonts, the alternate file setting and the
// kvpal fonts command.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "pal/font_utils.h"
#include "pal/locale.h"
#include "pal/settings_roots.h"
#include "pal/unicode_convert.h"
#include "settings/settings_store.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "text/nls_process.h"

using namespace Halvex::Tessaran::PAL;
using FontUtils::FontInformation;

namespace {

std::wstring wide(const std::string& utf8) {
  std::wstring out;
  UnicodeConvert::utf8ToWideChar(utf8.c_str(), out);
  return out;
}

std::string utf8(const std::wstring& text) {
  std::string out;
  UnicodeConvert::wideCharToUtf8(text.c_str(), out);
  return out;
}

std::wstring upper(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

const std::string& testFonts() {
  static const std::string dir = [] {
    const char* d = std::getenv("KVPAL_TEST_FONTS");
    return std::string(d ? d : "");
  }();
  return dir;
}

bool japanese() {
  return detail::systemDefaultLcid() == 1041;
}

// The suites carry the system locale's name (InstalledFontsEn, ...), so that
// the two runs stay apart in the test list.
#define KVPAL_PASTE2(a, b) a##b
#define KVPAL_PASTE(a, b) KVPAL_PASTE2(a, b)
#define InstalledFonts KVPAL_PASTE(InstalledFonts, KVPAL_SYSTEM_LOCALE)
#define AlternateFontFiles KVPAL_PASTE(AlternateFontFiles, KVPAL_SYSTEM_LOCALE)

class InstalledFonts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testFonts().empty()) << "KVPAL_TEST_FONTS names the generated test fonts";
    ASSERT_TRUE(detail::systemDefaultLcid() == 1033 || japanese());
    FontUtils::clearCachedInstallFonts();
  }

  static std::wstring fontPath(const char* file) { return wide(testFonts() + "/fonts/" + file); }
  static std::wstring externalPath(const char* file) { return wide(testFonts() + "/external/" + file); }

  static const FontInformation* find(const std::vector<FontInformation>& list, const std::wstring& face) {
    auto it =
        std::find_if(list.begin(), list.end(), [&](const FontInformation& f) { return f.faceName == face; });
    return it == list.end() ? nullptr : &*it;
  }
};

struct Expected {
  const char* file;
  const wchar_t* face[2];  // en-US system, Japanese system
  const wchar_t* local[2];
  const wchar_t* style[2];
  int weight;
  FontUtils::FontPitch pitch;
  FontUtils::FontFamily family;
  int charset;
  bool italic;
};

using namespace FontUtils;
const wchar_t* const kLocal = L"\u30B1\u30FC\u30D6\u30A4\u30C6\u30B9\u30C8";  // ケーブイテスト
const wchar_t* const kLatin = L"\u30B1\u30FC\u30D6\u30A4\u30E9\u30C6\u30F3";  // ケーブイラテン
const wchar_t* const kStandard = L"\u6A19\u6E96";                             // 標準
const wchar_t* const kBold = L"\u592A\u5B57";                                 // 太字

// clang-format off
const Expected kFaces[] = {
    {"sans-regular.ttf", {L"Kvtest Sans", L"Kvtest Sans"}, {L"Kvtest Sans", L"Kvtest Sans"}, {L"Regular", L"Regular"},
     4, VariablePitch, Swiss, ANSI_CHARSET, false},
    {"sans-italic.ttf", {L"Kvtest Sans", L"Kvtest Sans"}, {L"Kvtest Sans", L"Kvtest Sans"}, {L"Italic", L"Italic"},
     4, VariablePitch, Swiss, ANSI_CHARSET, true},
    // The legacy family and style, not the typographic ones.
    {"sans-condensed.ttf", {L"Kvtest Sans Condensed", L"Kvtest Sans Condensed"},
     {L"Kvtest Sans Condensed", L"Kvtest Sans Condensed"}, {L"Regular", L"Regular"}, 4, VariablePitch, Swiss,
     ANSI_CHARSET, false},
    // Their shared typographic and Macintosh names are not what is listed.
    {"shared-a.ttf", {L"Kvtest Shared A", L"Kvtest Shared A"}, {L"Kvtest Shared A", L"Kvtest Shared A"},
     {L"Regular", L"Regular"}, 4, VariablePitch, DontCare, ANSI_CHARSET, false},
    {"shared-b.ttf", {L"Kvtest Shared B", L"Kvtest Shared B"}, {L"Kvtest Shared B", L"Kvtest Shared B"},
     {L"Regular", L"Regular"}, 4, VariablePitch, DontCare, ANSI_CHARSET, false},
    {"serif-black.ttf", {L"Kvtest Serif", L"Kvtest Serif"}, {L"Kvtest Serif", L"Kvtest Serif"}, {L"Black", L"Black"},
     9, VariablePitch, Roman, SHIFTJIS_CHARSET, false},
    {"serif-thin.ttf", {L"Kvtest Serif", L"Kvtest Serif"}, {L"Kvtest Serif", L"Kvtest Serif"}, {L"Thin", L"Thin"}, 1,
     VariablePitch, Roman, EASTEUROPE_CHARSET, false},
    {"mono.ttf", {L"Kvtest Mono", L"Kvtest Mono"}, {L"Kvtest Mono", L"Kvtest Mono"}, {L"Regular", L"Regular"}, 4,
     FixedPitch, Modern, ANSI_CHARSET, false},
    {"script.ttf", {L"Kvtest Script", L"Kvtest Script"}, {L"Kvtest Script", L"Kvtest Script"},
     {L"Regular", L"Regular"}, 4, VariablePitch, Script, DEFAULT_CHARSET, false},
    {"deco.ttf", {L"Kvtest Deco", L"Kvtest Deco"}, {L"Kvtest Deco", L"Kvtest Deco"}, {L"Regular", L"Regular"}, 4,
     VariablePitch, Decorative, ANSI_CHARSET, false},
    {"marlett-lower.ttf", {L"marlett", L"marlett"}, {L"marlett", L"marlett"}, {L"Regular", L"Regular"}, 4,
     VariablePitch, DontCare, ANSI_CHARSET, false},
    {"local-regular.ttf", {L"Kvtest Local", L"Kvtest Local"}, {L"Kvtest Local", kLocal}, {L"Regular", kStandard}, 4,
     VariablePitch, DontCare, SHIFTJIS_CHARSET, false},
    // No English name in the file: the alternate family-name table names it.
    {"local-bold.ttf", {kLocal, L"Kvtest Local"}, {kLocal, kLocal}, {kBold, kBold}, 7, VariablePitch, DontCare,
     SHIFTJIS_CHARSET, false},
    // Neither, and a character set other than the Japanese system's.
    {"local-latin.ttf", {kLatin, kLatin}, {kLatin, kLatin}, {kStandard, kStandard}, 4, VariablePitch, DontCare,
     ANSI_CHARSET, false},
    {"vertical.ttf", {L"Kvtest Vert", L"@Kvtest Vert"}, {L"Kvtest Vert", L"@\u30B1\u30FC\u30D6\u30A4\u7E26"},
     {L"Regular", kStandard}, 4, VariablePitch, DontCare, SHIFTJIS_CHARSET, false},
    // Collection faces take the character set of the collection's first
    // localised language, whatever their code-page bits say.
    {"collection.ttc", {L"Kvtest Coll A", L"Kvtest Coll A"}, {L"Kvtest Coll A", L"\u30B3\u30ECA"},
     {L"Regular", kStandard}, 4, VariablePitch, DontCare, SHIFTJIS_CHARSET, false},
    {"collection.ttc", {L"Kvtest Coll B", L"Kvtest Coll B"}, {L"Kvtest Coll B", L"\u30B3\u30ECB"},
     {L"Regular", kStandard}, 4, VariablePitch, DontCare, SHIFTJIS_CHARSET, false},
    {"dfkai.ttf", {L"DFKai-SB", L"DFKai-SB"}, {L"DFKaiShu-SB", L"DFKaiShu-SB"}, {L"Regular", L"Regular"}, 4,
     VariablePitch, DontCare, ANSI_CHARSET, false},
    // The file's own English name already starts with "@", and a vertical
    // name gets one put in front of its English name.
    {"dfkai-vertical.ttf", {L"@DFKai-SB", L"@@dfkaishu-sb"}, {L"@dfkaishu-sb", L"@dfkaishu-sb"},
     {L"Regular", L"Regular"}, 4, VariablePitch, DontCare, ANSI_CHARSET, false},
};
// clang-format on

TEST_F(InstalledFonts, EveryTestFaceWithItsFields) {
  const std::vector<FontInformation>& list = FontUtils::getAllInstalledFonts();
  const int column = japanese() ? 1 : 0;
  for (const Expected& e : kFaces) {
    SCOPED_TRACE(std::string(e.file) + " " + utf8(e.face[column]));
    auto it = std::find_if(list.begin(), list.end(), [&](const FontInformation& f) {
      return f.fileName == wide(e.file) && f.faceName == e.face[column];
    });
    ASSERT_NE(it, list.end());
    EXPECT_EQ(it->localFaceName, e.local[column]);
    EXPECT_EQ(it->styleName, e.style[column]);
    EXPECT_EQ(it->filePath, fontPath(e.file));
    EXPECT_EQ(it->weight, e.weight);
    EXPECT_EQ(it->pitch, e.pitch);
    EXPECT_EQ(it->family, e.family);
    EXPECT_EQ(it->charset, e.charset);
    EXPECT_EQ(it->attributes.italic, e.italic);
    EXPECT_FALSE(it->attributes.bold);
    EXPECT_FALSE(it->attributes.underline);
    EXPECT_EQ(it->attributes.height, 0);
    EXPECT_FALSE(it->fullName.empty());
  }
  // Two files hold Kvtest Sans Bold, one spelling its style "bold".
  const auto bold = std::count_if(list.begin(), list.end(), [](const FontInformation& f) {
    return f.faceName == L"Kvtest Sans" && upper(f.styleName) == L"BOLD";
  });
  EXPECT_EQ(bold, 1);
  // Nothing else: no Marlett, no bitmap face, no duplicate.
  EXPECT_EQ(list.size(), std::size(kFaces) + 1);
}

TEST_F(InstalledFonts, FamiliesStayTogetherInFirstSeenOrderWithUniqueKeys) {
  const std::vector<FontInformation>& list = FontUtils::getAllInstalledFonts();
  ASSERT_FALSE(list.empty());
  std::set<std::wstring> finished, keys;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0 && list[i].localFaceName != list[i - 1].localFaceName) {
      finished.insert(list[i - 1].localFaceName);
      EXPECT_EQ(finished.count(list[i].localFaceName), 0u) << utf8(list[i].localFaceName) << " split";
    }
    EXPECT_TRUE(keys.insert(upper(list[i].localFaceName + list[i].styleName)).second);
  }
}

TEST_F(InstalledFonts, UsEnglishSystemKeepsTheReportedNames) {
  if (japanese()) GTEST_SKIP() << "en-US system only";
  for (const FontInformation& f : FontUtils::getAllInstalledFonts()) {
    if (upper(f.localFaceName) != L"DFKAISHU-SB" && upper(f.localFaceName) != L"@DFKAISHU-SB") {
      EXPECT_EQ(f.faceName, f.localFaceName);
    }
  }
}

TEST_F(InstalledFonts, ListIsKeptUntilClearedAndProviderForwards) {
  const std::vector<FontInformation>& list = FontUtils::getAllInstalledFonts();
  const size_t size = list.size();
  ASSERT_GT(size, 0u);
  EXPECT_EQ(&FontUtils::getAllInstalledFonts(), &list);
  EXPECT_EQ(list.size(), size);

  const FontProvider* provider = FontProvider::get();
  ASSERT_NE(provider, nullptr);
  EXPECT_EQ(FontProvider::get(), provider);
  const IFontProvider* base = provider;
  EXPECT_EQ(&base->getAllInstalledFonts(), &list);

  provider->clearCachedInstallFonts();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(FontUtils::getAllInstalledFonts().size(), size);
  FontUtils::clearCachedInstallFonts();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(base->getAllInstalledFonts().size(), size);
}

TEST_F(InstalledFonts, ProcessFontsAddAndRemove) {
  const std::vector<FontInformation>& list = FontUtils::getAllInstalledFonts();
  const size_t before = list.size();
  ASSERT_EQ(find(list, L"Kvtest External"), nullptr);

  // Failures leave the list as it is.
  for (const std::wstring& bad :
       {externalPath("not-a-font.ttf"), externalPath("missing.ttf"), externalPath(""), std::wstring()}) {
    EXPECT_FALSE(FontUtils::addExternalFont(bad)) << utf8(bad);
    EXPECT_EQ(list.size(), before);
  }
  EXPECT_FALSE(FontUtils::removeExternalFont(externalPath("external.ttf")));
  EXPECT_EQ(list.size(), before);

  ASSERT_TRUE(FontUtils::addExternalFont(externalPath("external.ttf")));
  EXPECT_TRUE(list.empty());
  const FontInformation* external = find(FontUtils::getAllInstalledFonts(), L"Kvtest External");
  ASSERT_NE(external, nullptr);
  EXPECT_EQ(external->filePath, externalPath("external.ttf"));
  EXPECT_EQ(list.size(), before + 1);

  // Registered twice, it takes two removals to go.
  ASSERT_TRUE(FontUtils::addExternalFont(externalPath("external.ttf")));
  EXPECT_EQ(FontUtils::getAllInstalledFonts().size(), before + 1);
  ASSERT_TRUE(FontUtils::removeExternalFont(externalPath("external.ttf")));
  EXPECT_TRUE(list.empty());
  EXPECT_NE(find(FontUtils::getAllInstalledFonts(), L"Kvtest External"), nullptr);
  ASSERT_TRUE(FontUtils::removeExternalFont(externalPath("external.ttf")));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(find(FontUtils::getAllInstalledFonts(), L"Kvtest External"), nullptr);
  EXPECT_EQ(list.size(), before);
  EXPECT_FALSE(FontUtils::removeExternalFont(externalPath("external.ttf")));
  EXPECT_EQ(list.size(), before);
}

// "AltFontNames" in the roaming root names the file of a face by its full
// name with " (TrueType)".
class AlternateFontFiles : public InstalledFonts {
 protected:
  void SetUp() override {
    InstalledFonts::SetUp();
    dir_ = tmp_.path();
    setenv("KVPAL_USER_HIVE", (dir_ + "/user.db").c_str(), 1);
    setenv("KVPAL_MACHINE_HIVE", (dir_ + "/machine.db").c_str(), 1);
    Settings::Roots::initializeFromRoots(L"Software\\KvTest\\Roaming", L"Software\\KvTest\\Product",
                                         KvLocale(L"en", L"US"));
  }
  static void set(const std::wstring& fullName, const wchar_t* file) {
    Settings::Container names = Settings::write().roaming(L"AltFontNames");
    ASSERT_TRUE(names.good());
    ASSERT_TRUE(names.setString((fullName + L" (TrueType)").c_str(), file, false));
  }

  // The product root, further down the root list than the roaming root.
  static void setForProduct(const std::wstring& fullName, const wchar_t* file) {
    setStored(detail::HKEY_LOCAL_MACHINE, L"Software\\KvTest\\Product", fullName, detail::REG_SZ,
              detail::stringData(file));
  }
  static void setStored(detail::HKEY root, const std::wstring& rootKey, const std::wstring& fullName,
                        DWORD type, std::vector<unsigned char> data) {
    using namespace detail;
    ASSERT_EQ(openHive(root)->apply({{StoreChange::SetValue,
                                      rootKey + L"\\AltFontNames",
                                      {fullName + L" (TrueType)", type, std::move(data)}}}),
              ERROR_SUCCESS);
  }

  kvpal::test::TempDir tmp_{"kvpal-fonts"};
  std::string dir_;
};

TEST_F(AlternateFontFiles, SettingNamesTheFile) {
  set(L"Kvtest Mono", L"renamed.fot");
  set(L"Kvtest Sans Italic", L"collection.ttc");
  set(japanese() ? L"\u30B1\u30FC\u30D6\u30A4\u7E26" : L"Kvtest Vert", L"/elsewhere/missing.ttf");
  set(L"Kvtest Deco", L"");                       // an empty string: no alternate file
  setForProduct(L"Kvtest Mono", L"product.ttf");  // the roaming root's value comes first
  setForProduct(L"Kvtest Script", L"product.ttf");
  // The first root holding the value with data decides, even when it is an
  // empty string or no string at all; a value without data does not count.
  setForProduct(L"Kvtest Deco", L"product.ttf");
  Settings::write().roaming(L"AltFontNames").setUInt32(L"Kvtest Sans (TrueType)", 7);
  setForProduct(L"Kvtest Sans", L"product.ttf");
  setStored(detail::HKEY_CURRENT_USER, L"Software\\KvTest\\Roaming", L"Kvtest Serif Thin", detail::REG_SZ,
            {});
  setForProduct(L"Kvtest Serif Thin", L"product.ttf");
  const std::vector<FontInformation>& list = FontUtils::getAllInstalledFonts();

  const FontInformation* mono = find(list, L"Kvtest Mono");
  ASSERT_NE(mono, nullptr);
  EXPECT_EQ(mono->filePath, fontPath("renamed.TTF"));
  EXPECT_EQ(mono->fileName, L"renamed.TTF");
  EXPECT_EQ(mono->family, FontUtils::Modern);  // still read from the face's own file

  auto italic = std::find_if(list.begin(), list.end(),
                             [](const FontInformation& f) { return f.fullName == L"Kvtest Sans Italic"; });
  ASSERT_NE(italic, list.end());
  EXPECT_EQ(italic->fileName, L"collection.ttc");
  EXPECT_EQ(italic->charset, SHIFTJIS_CHARSET);  // the collection's character set rule

  // The full name of the vertical face is looked up without its "@".
  auto vertical = std::find_if(list.begin(), list.end(), [](const FontInformation& f) {
    return f.fullName.find(L"Vert") != std::wstring::npos || f.fullName.find(L"\u7E26") != std::wstring::npos;
  });
  ASSERT_NE(vertical, list.end());
  EXPECT_EQ(vertical->filePath, L"/elsewhere/missing.ttf");

  const FontInformation* script = find(list, L"Kvtest Script");
  ASSERT_NE(script, nullptr);
  EXPECT_EQ(script->filePath, fontPath("product.ttf"));

  auto byFullName = [&](const wchar_t* fullName) {
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const FontInformation& f) { return f.fullName == fullName; });
    return it == list.end() ? std::wstring(L"<not listed>") : it->filePath;
  };
  EXPECT_EQ(byFullName(L"Kvtest Deco"), fontPath("deco.ttf"));
  EXPECT_EQ(byFullName(L"Kvtest Sans"), fontPath("sans-regular.ttf"));
  EXPECT_EQ(byFullName(L"Kvtest Serif Thin"), fontPath("product.ttf"));
}

struct CommandRun {
  int exit;
  std::string output;
};

CommandRun kvpal(const std::string& args) {
  const kvpal::test::ChildOutcome run =
      kvpal::test::runShell(KVPAL_BINARY_DIR "/tools/kvpal/kvpal fonts " + args);
  return {run.exitCode, run.output};
}

TEST_F(InstalledFonts, KvpalFontsCommand) {
  const CommandRun all = kvpal("");
  EXPECT_EQ(all.exit, 0) << all.output;
  EXPECT_NE(all.output.find("Kvtest Coll B"), std::string::npos);
  EXPECT_NE(all.output.find(testFonts() + "/fonts/mono.ttf"), std::string::npos);

  const CommandRun mono = kvpal("--family 'kvtest mono'");
  EXPECT_EQ(mono.exit, 0) << mono.output;
  for (const char* line : {"Kvtest Mono\n", "  style name       Regular\n", "  pitch            fixed (1)\n",
                           "  family           Modern (48)\n", "  weight           4\n",
                           "  charset          0\n", "  file name        mono.ttf\n"})
    EXPECT_NE(mono.output.find(line), std::string::npos) << line << "\n" << mono.output;
  EXPECT_EQ(mono.output.find("Kvtest Sans"), std::string::npos);

  const CommandRun local = kvpal("--family " + utf8(kLocal));
  EXPECT_EQ(local.exit, 0) << local.output;
  EXPECT_NE(local.output.find(utf8(kBold)), std::string::npos) << local.output;

  EXPECT_EQ(kvpal("--family 'No Such Face'").exit, 1);
  EXPECT_EQ(kvpal("--family").exit, 2);
  EXPECT_EQ(kvpal("--bogus").exit, 2);
  EXPECT_EQ(kvpal("--help").exit, 0);
}

}  // namespace
