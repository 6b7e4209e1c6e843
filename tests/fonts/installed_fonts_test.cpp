// The build of the installed-font list over given faces: the two passes, the
// record fields, the English-name rules per system locale and the file path.
#include "fonts/installed_fonts.h"

#include <gtest/gtest.h>

#include "pal/locale.h"
#include "sfnt_builder.h"

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::detail;
using FontUtils::FontInformation;
using namespace fonttest;

namespace {

constexpr unsigned kEn = 0x0409, kJa = 0x0411, kTw = 0x0404;

SystemFace systemFace(const std::wstring& family, const std::wstring& style, bool trueType = true) {
  SystemFace f;
  f.family = family;
  f.style = style;
  f.fullName = family + L" " + style;
  f.trueType = trueType;
  f.weight = 400;
  f.file = L"/nonexistent/" + family + L"-" + style + L".ttf";
  return f;
}

std::vector<std::wstring> keys(const std::vector<FontInformation>& list) {
  std::vector<std::wstring> out;
  for (const auto& f : list) out.push_back(f.faceName + L"/" + f.styleName);
  return out;
}

TEST(InstalledFontsBuild, FamiliesInFirstOrderStylesDeduplicatedExclusions) {
  const std::vector<SystemFace> faces = {
      systemFace(L"B", L"Regular"),
      systemFace(L"A", L"Regular"),
      systemFace(L"Marlett", L"Regular"),
      systemFace(L"marlett", L"Regular"),
      systemFace(L"B", L"Bold"),
      systemFace(L"Bitmap", L"Regular", false),
      systemFace(L"B", L"BOLD"),  // same key in another letter case
      systemFace(L"A", L"Italic"),
      systemFace(L"A", L"Oblique", false),  // a non-TrueType style of a TrueType family
      systemFace(L"b", L"Light"),           // families compare case-sensitively...
      systemFace(L"b", L"Regular"),         // ...but keys do not: B/Regular was seen
      systemFace(L"A", L"Regular"),         // reported twice
  };
  const std::vector<std::wstring> expected = {L"B/Regular", L"B/Bold",          L"A/Regular",
                                              L"A/Italic",  L"marlett/Regular", L"b/Light"};
  EXPECT_EQ(keys(buildInstalledFonts(faces, 1033)), expected);
  EXPECT_TRUE(buildInstalledFonts({}, 1033).empty());
  EXPECT_TRUE(buildInstalledFonts({systemFace(L"X", L"Regular", false)}, 1041).empty());
}

TEST(InstalledFontsBuild, RecordFieldsFromTheFace) {
  const struct {
    int weight;
    int weightClass;
  } weights[] = {{0, 0},   {1, 0},   {99, 0},  {100, 1}, {199, 1},
                 {400, 4}, {550, 5}, {899, 8}, {900, 9}, {1000, 9}};
  for (const auto& w : weights) {
    SystemFace face = systemFace(L"W", L"Style");
    face.weight = w.weight;
    face.italic = true;
    face.pitch = FontUtils::FixedPitch;
    const std::vector<FontInformation> list = buildInstalledFonts({face}, 1033);
    ASSERT_EQ(list.size(), 1u);
    const FontInformation& f = list[0];
    EXPECT_EQ(f.weight, w.weightClass) << w.weight;
    EXPECT_EQ(f.faceName, L"W");
    EXPECT_EQ(f.localFaceName, L"W");
    EXPECT_EQ(f.fullName, L"W Style");
    EXPECT_EQ(f.styleName, L"Style");
    EXPECT_EQ(f.filePath, L"/nonexistent/W-Style.ttf");
    EXPECT_EQ(f.fileName, L"W-Style.ttf");
    EXPECT_TRUE(f.attributes.italic);
    EXPECT_FALSE(f.attributes.bold);
    EXPECT_FALSE(f.attributes.underline);
    EXPECT_EQ(f.attributes.height, 0);
    EXPECT_EQ(f.pitch, FontUtils::FixedPitch);
    // No readable file: no OS/2 to classify or to claim a character set.
    EXPECT_EQ(f.family, FontUtils::DontCare);
    EXPECT_EQ(f.charset, DEFAULT_CHARSET);
  }
}

TEST(InstalledFontsBuild, LanguageCharset) {
  const struct {
    LCID lcid;
    int charset;
  } cases[] = {{1033, ANSI_CHARSET},    {1041, SHIFTJIS_CHARSET},  {1028, CHINESEBIG5_CHARSET},
               {1049, RUSSIAN_CHARSET}, {0x0439, DEFAULT_CHARSET}, {0x7777, -1}};
  for (const auto& c : cases) EXPECT_EQ(languageCharset(c.lcid), c.charset) << c.lcid;
}

TEST(InstalledFontsBuild, FilePathFromTheAlternateName) {
  const struct {
    const wchar_t* alternate;
    const wchar_t* path;
  } cases[] = {
      {L"", L"/usr/share/fonts/a/face.ttf"},       {L"other.ttf", L"/usr/share/fonts/a/other.ttf"},
      {L"OLD.FOT", L"/usr/share/fonts/a/OLD.TTF"}, {L"old.fot", L"/usr/share/fonts/a/old.TTF"},
      {L"/opt/fonts/x.fot", L"/opt/fonts/x.TTF"},  {L"sub/x.ttc", L"/usr/share/fonts/a/sub/x.ttc"},
      {L".FOT", L"/usr/share/fonts/a/.TTF"},
  };
  for (const auto& c : cases) EXPECT_EQ(fontFilePath(c.alternate, L"/usr/share/fonts/a/face.ttf"), c.path);
}

// Steps of the English name on systems of several locales, over files made
// for each case.
class EnglishFaceName : public ::testing::Test {
 protected:
  static FontInformation font(const std::wstring& name, int charset, const std::wstring& local = L"") {
    FontInformation f;
    f.faceName = name;
    f.localFaceName = local.empty() ? name : local;
    f.charset = charset;
    return f;
  }

  std::wstring english(LCID lcid, const FontInformation& f, const Bytes* file) const {
    const NameContext context{lcid, languageCharset(lcid), alt_};
    if (!file) return englishFaceName(f, nullptr, context);
    MemoryFontBytes bytes(*file);
    return englishFaceName(f, &bytes, context);
  }

  const Bytes withEnglish_ =
      face({{"name", nameTable({family(kJa, L"\u65E5\u672C"), family(kEn, L"Nihon")})}});
  const Bytes localOnly_ = face({{"name", nameTable({family(kJa, L"\u65E5\u672C")})}});
  const Bytes collection_ = collection({{{"name", nameTable({family(kJa, L"\u4E00"), family(kEn, L"One")})}},
                                        {{"name", nameTable({family(kJa, L"\u4E8C"), family(kEn, L"Two")})}},
                                        {{"name", nameTable({family(kJa, L"\u4E09")})}}});
  const AltFamilyNames alt_ = {{L"\u65E5\u672C", L"From table"}, {L"\u4E09", L"Three"}};
};

TEST_F(EnglishFaceName, FromTheFontFile) {
  const struct {
    const char* what;
    const Bytes* file;
    std::wstring name;
    std::wstring expected;
  } cases[] = {
      {"plain file", &withEnglish_, L"\u65E5\u672C", L"Nihon"},
      {"plain file, any name", &withEnglish_, L"Whatever", L"Nihon"},
      {"vertical keeps its @", &withEnglish_, L"@\u65E5\u672C", L"@Nihon"},
      {"collection face 2", &collection_, L"\u4E8C", L"Two"},
      {"collection, vertical", &collection_, L"@\u4E00", L"@One"},
      // The matching face has no English name: the table is asked next.
      {"collection face without English", &collection_, L"\u4E09", L"Three"},
      {"collection without the name", &collection_, L"\u56DB", L"\u56DB"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(english(1041, font(c.name, SHIFTJIS_CHARSET), c.file), c.expected) << c.what;
}

TEST_F(EnglishFaceName, FromTheAlternateTableWhenTheCharsetIsTheSystems) {
  const struct {
    const char* what;
    const Bytes* file;
    std::wstring name;
    int charset;
    std::wstring expected;
  } cases[] = {
      {"no English name in the file", &localOnly_, L"\u65E5\u672C", SHIFTJIS_CHARSET, L"From table"},
      {"file did not open", nullptr, L"\u65E5\u672C", SHIFTJIS_CHARSET, L"From table"},
      {"vertical", nullptr, L"@\u65E5\u672C", SHIFTJIS_CHARSET, L"@From table"},
      {"another character set", &localOnly_, L"\u65E5\u672C", ANSI_CHARSET, L"\u65E5\u672C"},
      {"not in the table", nullptr, L"\u6708", SHIFTJIS_CHARSET, L"\u6708"},
  };
  for (const auto& c : cases) EXPECT_EQ(english(1041, font(c.name, c.charset), c.file), c.expected) << c.what;
}

TEST_F(EnglishFaceName, ChineseAndFixedReplacements) {
  const std::wstring mingLiu = L"\u00B2\u00D3\u00A9\u00FA\u00C5\u00E9";
  const std::wstring pMingLiu = L"\u00B7\u0073\u00B2\u00D3\u00A9\u00FA\u00C5\u00E9";
  const struct {
    LCID lcid;
    std::wstring name;
    std::wstring local;
    int charset;
    std::wstring expected;
  } cases[] = {
      {1028, mingLiu, L"", CHINESEBIG5_CHARSET, L"MingLiU"},
      {5124, L"@" + pMingLiu, L"", CHINESEBIG5_CHARSET, L"@PMingLiU"},
      {1028, L"other", mingLiu, CHINESEBIG5_CHARSET, L"MingLiU"},  // the local name decides
      {1028, mingLiu, L"", ANSI_CHARSET, mingLiu},                 // another character set
      {1041, mingLiu, L"", SHIFTJIS_CHARSET, mingLiu},             // not a Chinese system
      {1028, L"mingli", L"", ANSI_CHARSET, L"MingLiU"},
      {1028, L"PMINGLI", L"", ANSI_CHARSET, L"PMingLiU"},
      {1028, L"kai", L"", ANSI_CHARSET, L"DFKai-SB"},
      {1028, L"@Kai", L"", ANSI_CHARSET, L"@DFKai-SB"},
      {1028, L"@mingli", L"", ANSI_CHARSET, L"@MingLiU"},
      {1028, L"Kai Bold", L"", ANSI_CHARSET, L"Kai Bold"},
      {5124, L"Kai", L"", ANSI_CHARSET, L"Kai"},  // 1028 only
      {1033, L"Kai", L"", ANSI_CHARSET, L"Kai"},
      {1033, L"dfkaishu-sb", L"", ANSI_CHARSET, L"DFKai-SB"},
      {1033, L"@DFKAISHU-SB", L"", ANSI_CHARSET, L"@DFKai-SB"},
      {1041, L"DFKaiShu-SB", L"", ANSI_CHARSET, L"DFKai-SB"},
      {1033, L"DFKaiShu-SB2", L"", ANSI_CHARSET, L"DFKaiShu-SB2"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(english(c.lcid, font(c.name, c.charset, c.local), nullptr), c.expected) << c.lcid;
}

TEST_F(EnglishFaceName, UsEnglishSystemReadsNoFile) {
  EXPECT_EQ(english(1033, font(L"\u65E5\u672C", ANSI_CHARSET), &withEnglish_), L"\u65E5\u672C");
  // The system language picks the name records: a Traditional Chinese system
  // finds nothing in a Japanese-only file and the table has no entry.
  EXPECT_EQ(english(1028, font(L"\u4E8C", CHINESEBIG5_CHARSET), &collection_), L"\u4E8C");
  const Bytes tw = face({{"name", nameTable({family(kTw, L"\u660E"), family(kEn, L"Ming")})}});
  const Bytes twCollection =
      collection({{{"name", nameTable({family(kTw, L"\u660E"), family(kEn, L"Ming")})}}});
  EXPECT_EQ(english(1028, font(L"\u660E", CHINESEBIG5_CHARSET), &twCollection), L"Ming");
  EXPECT_EQ(english(1041, font(L"\u660E", SHIFTJIS_CHARSET), &twCollection), L"\u660E");
  EXPECT_EQ(english(1041, font(L"\u660E", SHIFTJIS_CHARSET), &tw), L"Ming");  // a plain file needs no match
}

}  // namespace
