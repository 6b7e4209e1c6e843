// Metrics, string extents and coverage of the faces of a private fontconfig
// configuration on an en-US system. The test faces' tables hold round
// numbers; each expectation shows how it follows from them. DejaVu Sans is
// checked against the values of its own tables (upem 2048, usWinAscent 1901,
// usWinDescent 483, hhea 1901/-483/0, sTypoAscender 1556, xAvgCharWidth
// 1038, OS/2 version 1, PANOSE 2-11-...).
#include "fonts/font_metrics.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "pal/font_utils.h"

using namespace Halvex::Tessaran::PAL;
using FontUtils::FontInformation;
using FontUtils::FontMetrics;
using FontUtils::TextExtentsMetrics;

namespace {

FontInformation font(const std::wstring& name, bool bold = false, bool italic = false) {
  FontInformation f;
  f.faceName = name;
  f.attributes.bold = bold;
  f.attributes.italic = italic;
  return f;
}

TextExtentsMetrics extents(const FontInformation& f, const std::wstring& text, float* advances = nullptr,
                           double widthFactor = 1.0, double spacingScale = 1.0,
                           double spacingDivisor = 1000.0) {
  return FontUtils::getExtentsMetrics(f, text, 0.0, widthFactor, spacingScale, spacingDivisor, advances);
}

struct Box {
  double left, right, top, bottom;  // x of the left and right edges, y of the top and bottom
};

void expectBox(const TextExtentsMetrics& r, const Box& b) {
  EXPECT_EQ(r.bottomLeft.x, b.left);
  EXPECT_EQ(r.bottomLeft.y, b.bottom);
  EXPECT_EQ(r.bottomRight.x, b.right);
  EXPECT_EQ(r.bottomRight.y, b.bottom);
  EXPECT_EQ(r.topRight.x, b.right);
  EXPECT_EQ(r.topRight.y, b.top);
  EXPECT_EQ(r.topLeft.x, b.left);
  EXPECT_EQ(r.topLeft.y, b.top);
  for (const auto* p : {&r.bottomLeft, &r.bottomRight, &r.topRight, &r.topLeft}) EXPECT_EQ(p->z, 0.0);
}

void expectAllZero(const TextExtentsMetrics& r) {
  expectBox(r, {0, 0, 0, 0});
  EXPECT_EQ(r.inkAscent, 0.0f);
  EXPECT_EQ(r.inkDescent, 0.0f);
  EXPECT_EQ(r.firstCharAWidth, 0);
  EXPECT_EQ(r.lastCharCWidth, 0);
}

class FontMetricsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(std::getenv("FONTCONFIG_FILE"), nullptr); }
};

TEST_F(FontMetricsTest, MetricsComputedFromTheTables) {
  const struct {
    std::wstring request;
    std::wstring faceName;
    double emHeight, lineSpacing, ascent, descent, capHeightScale;
    wchar_t first, last, defaultChar, breakChar, diameter;
    std::int64_t height;  // cell height at the em square: usWinAscent + usWinDescent
    int charset, pitchAndFamily;
  } cases[] = {
      // At cell height 1000 the scale is 1000 / (1900 + 500): ascent 791.7 -> 792,
      // descent 208.3 -> 208; line gap 200 - ((1900 + 500) - (1800 + 600)) = 200
      // -> 83.3 -> 83 external leading. "A" reaches 1434: 2048 / 1434. Has U+00D8
      // but not U+2205. Latin 1 bit set: ANSI. PANOSE 2-11 (Swiss), proportional.
      {L"Kvmetrics Outline", L"Kvmetrics Outline", 2048, 1083, 792, 208, 2048.0f / 1434.0f, 0x20, 0xFFFF, 0,
       0x20, 0xD8, 2400, ANSI_CHARSET, 0x22},
      // The name in another letter case selects the same face.
      {L"kvmetrics OUTLINE", L"Kvmetrics Outline", 2048, 1083, 792, 208, 2048.0f / 1434.0f, 0x20, 0xFFFF, 0,
       0x20, 0xD8, 2400, ANSI_CHARSET, 0x22},
      // No "A" and an empty .notdef: em square over typographic ascent at cell
      // height 1000 (800 * 1000 / 1000), 1000 / 800. External leading
      // 90 - (1000 - 1000). OS/2 version 1: default character 0 (glyph 0), break
      // U+0020. Only the East European bit: that set, not ANSI. Fixed pitch,
      // no family. None of the diameter characters.
      {L"Kvmetrics NoCap", L"Kvmetrics NoCap", 1000, 1090, 800, 200, 1.25, 0x20, 0x78, 0, 0x20, 0x2205, 1000,
       EASTEUROPE_CHARSET, 0x01},
      // A symbol map: the symbol character set; first and last from OS/2. "A"
      // is U+F041, 600 high: 1000 / 600.
      {L"Kvmetrics Symbol", L"Kvmetrics Symbol", 1000, 1000, 800, 200, 1000.0f / 600.0f, 0xF020, 0xF041, 0,
       0x20, 0x2205, 1000, 2, 0x02},
      // Only a Big5 map and only the Big5 code-page bit. "A" (Big5 0x41) is
      // 700 high: 1000 / 700.
      {L"Kvmetrics Big5", L"Kvmetrics Big5", 1000, 1000, 880, 120, 1000.0f / 700.0f, 0, 0, 0, 0x20, 0x2205,
       1000, CHINESEBIG5_CHARSET, 0x02},
      // 1000 / 2384: ascent 797.4 -> 797, descent 202.6 -> 203; no line gap. "A"
      // reaches 1493. Has U+2205.
      {L"DejaVu Sans", L"DejaVu Sans", 2048, 1000, 797, 203, 2048.0f / 1493.0f, 0x20, 0xFFFF, 0, 0x20, 0x2205,
       2384, ANSI_CHARSET, 0x22},
      // The second face of the collection is broken; the first is measured.
      {L"Kvmetrics CollOne", L"Kvmetrics CollOne", 1000, 1000, 800, 200, 1.25, 0x20, 0x78, 0, 0x20, 0x2205,
       1000, ANSI_CHARSET, 0x02},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.request.begin(), c.request.end()));
    const FontMetrics m = FontUtils::getFontMetrics(font(c.request));
    EXPECT_EQ(m.faceName, c.faceName);
    EXPECT_EQ(m.emHeight, c.emHeight);
    EXPECT_EQ(m.lineSpacing, c.lineSpacing);
    EXPECT_EQ(m.ascent, c.ascent);
    EXPECT_EQ(m.descent, c.descent);
    EXPECT_EQ(m.capHeightScale, c.capHeightScale);
    EXPECT_EQ(m.firstChar, c.first);
    EXPECT_EQ(m.lastChar, c.last);
    EXPECT_EQ(m.defaultChar, c.defaultChar);
    EXPECT_EQ(m.breakChar, c.breakChar);
    EXPECT_EQ(m.diameterChar, c.diameter);
    EXPECT_EQ(m.attributes.height, c.height);
    EXPECT_FALSE(m.attributes.bold);
    EXPECT_FALSE(m.attributes.italic);
    EXPECT_EQ(m.charset, c.charset);
    EXPECT_EQ(m.pitchAndFamily, c.pitchAndFamily);
  }
}

TEST_F(FontMetricsTest, BoldItalicAndUnderlineTheFaceLacksAreSimulated) {
  FontInformation request = font(L"Kvmetrics NoCap", true, true);
  request.attributes.underline = true;
  const FontMetrics m = FontUtils::getFontMetrics(request);
  EXPECT_EQ(m.faceName, L"Kvmetrics NoCap");
  EXPECT_TRUE(m.attributes.bold);
  EXPECT_TRUE(m.attributes.italic);
  EXPECT_TRUE(m.attributes.underline);
  EXPECT_EQ(m.ascent, 800);
}

TEST_F(FontMetricsTest, NamesThatSelectNoMeasuringFont) {
  for (const std::wstring& name : {std::wstring(), std::wstring(32, L'K')}) {
    const FontMetrics m = FontUtils::getFontMetrics(font(name));
    EXPECT_EQ(m.emHeight, 0);
    EXPECT_EQ(m.lineSpacing, 0);
    EXPECT_EQ(m.ascent, 0);
    EXPECT_EQ(m.descent, 0);
    EXPECT_TRUE(std::isnan(m.capHeightScale));
    EXPECT_EQ(m.firstChar, 0);
    EXPECT_EQ(m.diameterChar, 0x2205);
    EXPECT_EQ(m.pitchAndFamily, 1);
    EXPECT_EQ(m.charset, 0);
    EXPECT_TRUE(m.faceName.empty());
    expectAllZero(extents(font(name), L"A"));
  }
  // 31 characters is short enough: the best match stands in.
  EXPECT_FALSE(FontUtils::getFontMetrics(font(std::wstring(31, L'K'))).faceName.empty());
}

TEST_F(FontMetricsTest, ANameTheSystemLacksIsMeasuredWithItsBestMatch) {
  const FontMetrics m = FontUtils::getFontMetrics(font(L"Kvmetrics Nowhere"));
  ASSERT_FALSE(m.faceName.empty());
  EXPECT_NE(m.faceName, L"Kvmetrics Nowhere");
  EXPECT_EQ(FontUtils::getFontMetrics(font(m.faceName)).ascent, m.ascent);
  // Found under both names.
  float asked[2], matched[2];
  const TextExtentsMetrics a = extents(font(L"Kvmetrics Nowhere"), L"xA", asked);
  const TextExtentsMetrics b = extents(font(m.faceName), L"xA", matched);
  EXPECT_GT(a.bottomRight.x, 0);
  EXPECT_EQ(a.bottomRight.x, b.bottomRight.x);
  EXPECT_EQ(asked[1], matched[1]);
}

TEST_F(FontMetricsTest, ABitmapFaceIsPassedOverForAnOutlineFace) {
  const FontMetrics m = FontUtils::getFontMetrics(font(L"Kvmetrics Bitmap"));
  EXPECT_FALSE(m.faceName.empty());
  EXPECT_NE(m.faceName, L"Kvmetrics Bitmap");
  EXPECT_GT(m.emHeight, 0);
  // Coverage takes the bitmap face itself: "A" and space only.
  EXPECT_TRUE(FontUtils::isWideCharSupportedByFont(L'A', L"Kvmetrics Bitmap"));
  EXPECT_FALSE(FontUtils::isWideCharSupportedByFont(L'B', L"Kvmetrics Bitmap"));
}

TEST_F(FontMetricsTest, ExtentsFromTheGlyphRecords) {
  // Kvmetrics Outline at its em square (2048): cell 2400 high, 500 below.
  //   f: x -100..700, y 0..1500, advance 500 -> A -100, B 800, C -200
  //   A: x 100..1300, y 0..1434, advance 1400 -> A 100, B 1200, C 100
  //   p: x 150..1050, y -400..1000, advance 1200 -> A 150, B 900, C 150
  // DejaVu Sans at 2048: cell 2384 high, 483 below.
  //   f: x 47..760, y 0..1556, advance 721 -> A 47, B 713, C -39
  //   x: x 59..1145, y 0..1120, advance 1212 -> A 59, B 1086, C 67
  //   g: x 113..1114, y -426..1147, advance 1300 -> A 113, B 1001, C 186
  const struct {
    std::wstring face, text;
    Box box;
    std::vector<float> advances;
    float inkAscent, inkDescent;
    int firstA, lastC;
  } cases[] = {
      // The negative A of "f" widens the box to the left.
      {L"Kvmetrics Outline", L"fAp", {-100, 3100, 1900, -500}, {500, 1400, 1200}, 1500, 400, -100, 150},
      // The negative C of a last "f" widens it to the right.
      {L"Kvmetrics Outline", L"pf", {0, 1900, 1900, -500}, {1200, 500}, 1500, 400, 150, -200},
      // A character the face lacks is as wide as .notdef (1000), no bearings.
      {L"Kvmetrics Outline", L"B", {0, 1000, 1900, -500}, {1000}, 1400, 0, 0, 0},
      {L"DejaVu Sans", L"fx", {0, 1933, 1901, -483}, {721, 1212}, 1556, 0, 47, 67},
      {L"DejaVu Sans", L"xf", {0, 1972, 1901, -483}, {1212, 721}, 1556, 0, 59, -39},
      {L"DejaVu Sans", L"g", {0, 1300, 1901, -483}, {1300}, 1147, 426, 113, 186},
      // Typed as 8-bit codes, the symbol face's U+F041 serves "A".
      {L"Kvmetrics Symbol", L"A", {0, 800, 800, -200}, {800}, 600, 0, 100, 100},
      // Through the Big5 map: U+4E00 is 0xA440, x 100..900, y 300..400. Ink
      // above the baseline is the ink box height, 100, however high it sits.
      {L"Kvmetrics Big5", L"\u4E00", {0, 1000, 880, -120}, {1000}, 100, 0, 100, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.face.begin(), c.face.end()) + " " + std::string(c.text.begin(), c.text.end()));
    FontUtils::getFontMetrics(font(c.face));
    std::vector<float> advances(c.text.size(), -1);
    const TextExtentsMetrics r = extents(font(c.face), c.text, advances.data());
    expectBox(r, c.box);
    EXPECT_EQ(r.advances, advances.data());
    EXPECT_EQ(advances, c.advances);
    EXPECT_EQ(r.inkAscent, c.inkAscent);
    EXPECT_EQ(r.inkDescent, c.inkDescent);
    EXPECT_EQ(r.firstCharAWidth, c.firstA);
    EXPECT_EQ(r.lastCharCWidth, c.lastC);
  }
}

TEST_F(FontMetricsTest, AWidthFactorSpacesTheCharacters) {
  FontUtils::getFontMetrics(font(L"Kvmetrics Outline"));
  // Average width 1100 at the em square: (1100 * 1.5 - 1100) * 1000 / 1000 =
  // 550 after every character.
  float advances[3];
  const TextExtentsMetrics r = extents(font(L"Kvmetrics Outline"), L"fAp", advances, 1.5, 1.0, 1000.0);
  expectBox(r, {-100, 4750, 1900, -500});
  EXPECT_EQ(std::vector<float>(advances, advances + 3), (std::vector<float>{1050, 1950, 1750}));
  EXPECT_EQ(r.inkAscent, 1500);
  EXPECT_EQ(r.inkDescent, 400);
  // Half the scale, a tenth of the divisor: (550 * 1.5 - 550) * 1000 / 100.
  extents(font(L"Kvmetrics Outline"), L"f", advances, 1.5, 0.5, 100.0);
  EXPECT_EQ(advances[0], 500 + 2750);
  // Spacing that is no number adds nothing; spacing beyond int saturates.
  extents(font(L"Kvmetrics Outline"), L"f", advances, 1.5, NAN, 1000.0);
  EXPECT_EQ(advances[0], 500);
  extents(font(L"Kvmetrics Outline"), L"f", advances, 1.5, 1.0, 0.0);
  EXPECT_EQ(advances[0], static_cast<float>(500.0 + INT_MAX));
  // An empty text stays empty whatever the factor.
  expectAllZero(extents(font(L"Kvmetrics Outline"), L"", advances, 1.5));
}

TEST_F(FontMetricsTest, ExtentsWithoutAMeasurementOrText) {
  FontUtils::getFontMetrics(font(L"Kvmetrics Big5"));
  float advances[1] = {7};
  // Never measured italic.
  const TextExtentsMetrics unmeasured = extents(font(L"Kvmetrics Big5", false, true), L"A", advances);
  expectAllZero(unmeasured);
  EXPECT_EQ(unmeasured.advances, advances);
  EXPECT_EQ(advances[0], 7);
  const TextExtentsMetrics empty = extents(font(L"Kvmetrics Big5"), L"", advances);
  expectAllZero(empty);
  EXPECT_EQ(empty.advances, advances);
  EXPECT_EQ(advances[0], 7);
  // The key ignores letter case.
  extents(font(L"KVMETRICS BIG5"), L"A", advances);
  EXPECT_EQ(advances[0], 600);
}

TEST_F(FontMetricsTest, UnicodeRanges) {
  const struct {
    std::wstring face;
    wchar_t ch;
    bool supported;
  } cases[] = {
      {L"Kvmetrics Outline", L'A', true},
      {L"Kvmetrics Outline", L'B', false},
      {L"Kvmetrics Outline", 0xD8, true},
      // U+1F600 is mapped: its surrogates D83D and DE00 are in the ranges.
      {L"Kvmetrics Outline", 0x1F600, true},
      {L"Kvmetrics Outline", 0xD83D, true},
      {L"Kvmetrics Outline", 0xDE00, true},
      {L"Kvmetrics Outline", 0x1F601, false},
      {L"Kvmetrics Outline", 0x110000, false},
      // The symbol face at U+F020-U+F0FF only.
      {L"Kvmetrics Symbol", 0xF041, true},
      {L"Kvmetrics Symbol", L'A', false},
      // Big5 0xA440 is U+4E00. The glyph's name "one" does not make it U+0031.
      {L"Kvmetrics Big5", 0x4E00, true},
      {L"Kvmetrics Big5", L'1', false},
      {L"Kvmetrics Big5", L'A', true},
      {L"Kvmetrics Big5", 0x4E01, false},
      {L"DejaVu Sans", 0x2205, true},
      {L"DejaVu Sans", 0x4E00, false},
      // Exact names: another letter case is its own entry, the same face.
      {L"dejavu sans", 0x2205, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.face.begin(), c.face.end()) + " " + std::to_string(c.ch));
    EXPECT_EQ(FontUtils::isWideCharSupportedByFont(c.ch, c.face), c.supported);
    // The cached answer is the same.
    EXPECT_EQ(FontUtils::isWideCharSupportedByFont(c.ch, c.face), c.supported);
  }
}

TEST_F(FontMetricsTest, CharsetsFromTheSignature) {
  const struct {
    std::wstring face;
    Charset charset;
    bool supported;
  } cases[] = {
      {L"Kvmetrics Outline", ANSI_CHARSET, true},
      {L"Kvmetrics Outline", SHIFTJIS_CHARSET, true},
      {L"Kvmetrics Outline", GREEK_CHARSET, false},
      // No code-page bit stands for these.
      {L"Kvmetrics Outline", DEFAULT_CHARSET, false},
      {L"Kvmetrics Symbol", Charset(2), false},
      {L"Kvmetrics Outline", Charset(255), false},
      // Only the symbol bit (31): no table character set.
      {L"Kvmetrics Symbol", ANSI_CHARSET, false},
      {L"Kvmetrics Big5", CHINESEBIG5_CHARSET, true},
      {L"Kvmetrics Big5", ANSI_CHARSET, false},
      {L"Kvmetrics NoCap", EASTEUROPE_CHARSET, true},
      // ulCodePageRange1 0x600001FF: bits 0 to 8, 29 and 30.
      {L"DejaVu Sans", ANSI_CHARSET, true},
      {L"DejaVu Sans", GREEK_CHARSET, true},
      {L"DejaVu Sans", HEBREW_CHARSET, true},
      {L"DejaVu Sans", VIETNAMESE_CHARSET, true},
      {L"DejaVu Sans", THAI_CHARSET, false},
      {L"DejaVu Sans", SHIFTJIS_CHARSET, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.face.begin(), c.face.end()) + " " + std::to_string(c.charset));
    EXPECT_EQ(FontUtils::isMSCharsetSupportedByFont(c.face, c.charset), c.supported);
  }
}

TEST_F(FontMetricsTest, FacesOfACollectionAfterABrokenOne) {
  detail::LogicalFont request;
  request.height = 72;
  const std::string dir = std::string(std::getenv("KVPAL_TEST_FONTS")) + "/metrics/collection.ttc";
  const std::wstring file(dir.begin(), dir.end());
  EXPECT_EQ(detail::SelectedFont::open({file, 1}, request), nullptr);
  const auto third = detail::SelectedFont::open({file, 2}, request);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->faceName(), L"Kvmetrics CollThree");
  // 72 * 900 / 1200 = 54 above, 18 below.
  EXPECT_EQ(third->textMetrics().ascent, 54);
  EXPECT_EQ(third->textMetrics().descent, 18);
}

TEST(SelectedCharset, TheSystemsThenAnsiThenTheFacesOwn) {
  const struct {
    std::vector<int> face;
    int requested, system, expected;
  } cases[] = {
      {{ANSI_CHARSET, SHIFTJIS_CHARSET}, DEFAULT_CHARSET, SHIFTJIS_CHARSET, SHIFTJIS_CHARSET},
      {{ANSI_CHARSET, SHIFTJIS_CHARSET}, DEFAULT_CHARSET, GREEK_CHARSET, ANSI_CHARSET},
      {{CHINESEBIG5_CHARSET}, DEFAULT_CHARSET, ANSI_CHARSET, CHINESEBIG5_CHARSET},
      {{ANSI_CHARSET, GREEK_CHARSET}, GREEK_CHARSET, ANSI_CHARSET, GREEK_CHARSET},
      {{EASTEUROPE_CHARSET, RUSSIAN_CHARSET}, HEBREW_CHARSET, ANSI_CHARSET, EASTEUROPE_CHARSET},
      // A system locale without a character set reads as ANSI.
      {{ANSI_CHARSET}, DEFAULT_CHARSET, -1, ANSI_CHARSET},
      {{2}, DEFAULT_CHARSET, ANSI_CHARSET, 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(detail::selectedCharset(c.face, c.requested, c.system), c.expected)
        << c.requested << " " << c.system;
}

}  // namespace
