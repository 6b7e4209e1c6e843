// Script analysis: per-unit records, direction, complexity, and the
// complex-character table against its published list.
#include "pal/script_processor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "text/script_analysis.h"

namespace {

using namespace Halvex::Tessaran::PAL::ScriptProcessor;

// The published list of complex units, as written there.
constexpr const char* kListedComplexUnits =
    "0001-000B, 000D-001F, 007F-009F, 0591-05C7, 05D0-05EA, 05F0-05F4, 0600-0603, 0606-061B, "
    "061E-061F, 0621-065E, 0660-070D, 0710-074A, 074D-07B1, 07C0-07FA, 0901-0939, 093C-094D, "
    "0950-0954, 0958-0972, 097B-097F, 0981-0983, 0985-098C, 098F-0990, 0993-09A8, 09AA-09B0, 09B2, "
    "09B6-09B9, 09BC-09C4, 09C7-09C8, 09CB-09CE, 09D7, 09DC-09DD, 09DF-09E3, 09E6-09FA, 0A01-0A03, "
    "0A05-0A0A, 0A0F-0A10, 0A13-0A28, 0A2A-0A30, 0A32-0A33, 0A35-0A36, 0A38-0A39, 0A3C, 0A3E-0A42, "
    "0A47-0A48, 0A4B-0A4D, 0A51, 0A59-0A5C, 0A5E, 0A66-0A75, 0A81-0A83, 0A85-0A8D, 0A8F-0A91, "
    "0A93-0AA8, 0AAA-0AB0, 0AB2-0AB3, 0AB5-0AB9, 0ABC-0AC5, 0AC7-0AC9, 0ACB-0ACD, 0AD0, 0AE0-0AE3, "
    "0AE6-0AEF, 0AF1, 0B01-0B03, 0B05-0B0C, 0B0F-0B10, 0B13-0B28, 0B2A-0B30, 0B32-0B33, 0B35-0B39, "
    "0B3C-0B44, 0B47-0B48, 0B4B-0B4D, 0B56-0B57, 0B5C-0B5D, 0B5F-0B63, 0B66-0B71, 0B82-0B83, "
    "0B85-0B8A, 0B8E-0B90, 0B92-0B95, 0B99-0B9A, 0B9C, 0B9E-0B9F, 0BA3-0BA4, 0BA8-0BAA, 0BAE-0BB9, "
    "0BBE-0BC2, 0BC6-0BC8, 0BCA-0BCD, 0BD0, 0BD7, 0BE6-0BFA, 0C01-0C03, 0C05-0C0C, 0C0E-0C10, "
    "0C12-0C28, 0C2A-0C33, 0C35-0C39, 0C3D-0C44, 0C46-0C48, 0C4A-0C4D, 0C55-0C56, 0C58-0C59, "
    "0C60-0C63, 0C66-0C6F, 0C78-0C7F, 0C82-0C83, 0C85-0C8C, 0C8E-0C90, 0C92-0CA8, 0CAA-0CB3, "
    "0CB5-0CB9, 0CBC-0CC4, 0CC6-0CC8, 0CCA-0CCD, 0CD5-0CD6, 0CDE, 0CE0-0CE3, 0CE6-0CEF, 0CF1-0CF2, "
    "0D02-0D03, 0D05-0D0C, 0D0E-0D10, 0D12-0D28, 0D2A-0D39, 0D3D-0D44, 0D46-0D48, 0D4A-0D4D, 0D57, "
    "0D60-0D63, 0D66-0D75, 0D79-0D7F, 0D82-0D83, 0D85-0D96, 0D9A-0DB1, 0DB3-0DBB, 0DBD, 0DC0-0DC6, "
    "0DCA, 0DCF-0DD4, 0DD6, 0DD8-0DDF, 0DF2-0DF4, 0E01-0E3A, 0E3F-0E5B, 0E81-0E82, 0E84, 0E87-0E88, "
    "0E8A, 0E8D, 0E94-0E97, 0E99-0E9F, 0EA1-0EA3, 0EA5, 0EA7, 0EAA-0EAB, 0EAD-0EB9, 0EBB-0EBD, "
    "0EC0-0EC4, 0EC6, 0EC8-0ECD, 0ED0-0ED9, 0EDC-0EDD, 0F00-0F47, 0F49-0F6C, 0F71-0F8B, 0F90-0F97, "
    "0F99-0FBC, 0FBE-0FCC, 0FCE-0FD4, 1000-1099, 109E-109F, 1100-1159, 115F-11A2, 11A8-11F9, "
    "1200-1248, 124A-124D, 1250-1256, 1258, 125A-125D, 1260-1288, 128A-128D, 1290-12B0, 12B2-12B5, "
    "12B8-12BE, 12C0, 12C2-12C5, 12C8-12D6, 12D8-1310, 1312-1315, 1318-135A, 135F-137C, 1380-1399, "
    "13A0-13F4, 1401-1676, 1681-169C, 16A0-16F0, 1780-17DD, 17E0-17E9, 17F0-17F9, 1800-180E, "
    "1810-1819, 1820-1877, 1880-18AA, 1950-196D, 1970-1974, 1980-19A9, 19B0-19C9, 19D0-19D9, "
    "19DE-19FF, 200E-200F, 2029-202E, 2061-2064, 206A-206F, 20AA, 2800-28FF, 2D30-2D65, 2D6F, "
    "2D80-2D96, 2DA0-2DA6, 2DA8-2DAE, 2DB0-2DB6, 2DB8-2DBE, 2DC0-2DC6, 2DC8-2DCE, 2DD0-2DD6, "
    "2DD8-2DDE, 3131-318E, 3200-321E, 3260-327F, A500-A62B, A840-A877, AC00-D7A3, D800-DFFF, "
    "FB1D-FB36, FB38-FB3C, FB3E, FB40-FB41, FB43-FB44, FB46-FB4F, FD3E-FD3F, FDFD, FFA0-FFBE, "
    "FFC2-FFC7, FFCA-FFCF, FFD2-FFD7, FFDA-FFDC";

struct Listed {
  std::vector<bool> marked = std::vector<bool>(65536, false);
  int ranges = 0;
  int units = 0;
};

Listed parseListed() {
  Listed listed;
  std::istringstream in(kListedComplexUnits);
  std::string item;
  while (std::getline(in, item, ',')) {
    const unsigned long first = std::strtoul(item.c_str(), nullptr, 16);
    const std::size_t dash = item.find('-');
    const unsigned long last =
        dash == std::string::npos ? first : std::strtoul(item.c_str() + dash + 1, nullptr, 16);
    ++listed.ranges;
    for (unsigned long u = first; u <= last; ++u) {
      listed.marked[u] = true;
      ++listed.units;
    }
  }
  return listed;
}

TEST(ComplexUnitTable, MatchesTheListedRangesUnitForUnit) {
  const Listed listed = parseListed();
  ASSERT_EQ(listed.ranges, 248);
  ASSERT_EQ(listed.units, 18123);
  int marked = 0;
  for (unsigned u = 0; u < 65536; ++u) {
    const bool complex = detail::isComplexUnit(static_cast<char16_t>(u));
    EXPECT_EQ(complex, listed.marked[u]) << std::hex << "unit " << u;
    marked += complex;
  }
  EXPECT_EQ(marked, 18123);
}

TEST(ComplexUnitTable, NamedUnitsAndBoundaries) {
  struct Case {
    char16_t unit;
    bool complex;
  };
  const Case cases[] = {
      {0x0000, false}, {0x0009, true},  {0x000B, true},  {0x000C, false}, {0x000D, true},  {0x0020, false},
      {0x0041, false}, {0x007E, false}, {0x007F, true},  {0x009F, true},  {0x00A0, false}, {0x00E9, false},
      {0x03B1, false}, {0x0431, false}, {0x0590, false}, {0x0591, true},  {0x05EA, true},  {0x05EB, false},
      {0x0E01, true},  {0x200E, true},  {0x2010, false}, {0xABFF, false}, {0xAC00, true},  {0xD7A3, true},
      {0xD7A4, false}, {0xD800, true},  {0xDFFF, true},  {0xE000, false}, {0xFFDC, true},  {0xFFDD, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(detail::isComplexUnit(c.unit), c.complex) << std::hex << "unit " << unsigned{c.unit};
}

std::string flags(const std::vector<BoundaryAndRTL>& records, unsigned char BoundaryAndRTL::*field) {
  std::string s;
  for (const BoundaryAndRTL& r : records) s += r.*field ? '1' : '0';
  return s;
}

TEST(ScriptBoundsAndLayout, RecordFlagsPerUnit) {
  struct Case {
    const char* name;
    bool rightToLeft;
    std::wstring text;
    const char* whiteSpace;
    const char* charStop;
    const char* wordStop;
    const char* softBreak;
    const char* layoutRtl;
    const char* rtl;
    bool complex;
  };
  const Case cases[] = {
      {"latin", false, L"Hello world", "00000100000", "11111111111", "10000110000", "00000010000",
       "00000000000", "00000000000", false},
      // A stretch of punctuation and spaces opens one word stop, not one per piece.
      {"punctuation", false, L"hi, you", "0001000", "1111111", "1010100", "0000100", "0000000", "0000000",
       false},
      {"combining mark", false, L"e\u0301x", "000", "101", "100", "000", "000", "000", false},
      {"hebrew", false, L"\u05E9\u05DC\u05D5\u05DD", "0000", "1111", "1000", "0000", "1111", "1111", true},
      // Digits inside right-to-left text read left to right but are placed
      // among their right-to-left neighbours.
      {"arabic with digits", false, L"\u0639\u0631\u0628 12", "000100", "111111", "100110", "000010",
       "111111", "111100", true},
      {"latin in a right-to-left paragraph", true, L"ab", "00", "11", "10", "00", "11", "00", false},
      {"tab", false, L"a\tb", "010", "111", "111", "001", "000", "000", true},
      {"form feed", false, L"a\fb", "010", "111", "111", "001", "000", "000", false},
      {"hangul", false, L"\uD55C", "0", "1", "1", "0", "0", "0", true},
      // Outside the basic plane: two units, the second never a stop.
      {"supplementary", false, L"a\U0001F600b", "0000", "1101", "1101", "0101", "0000", "0000", true},
      {"lone surrogate value", false, std::wstring(1, static_cast<wchar_t>(0xD800)), "0", "1", "1", "0", "0",
       "0", true},
      {"value above the last scalar", false, std::wstring(1, static_cast<wchar_t>(0x110000)) + L"a", "00",
       "11", "11", "00", "00", "00", false},
  };
  for (const Case& c : cases) {
    ScriptBoundsAndLayoutProcessor p(c.rightToLeft, c.text);
    const std::vector<BoundaryAndRTL> r = p.getScriptBoundsAndRTL();
    EXPECT_EQ(flags(r, &BoundaryAndRTL::isWhiteSpace), c.whiteSpace) << c.name;
    EXPECT_EQ(flags(r, &BoundaryAndRTL::isCharStop), c.charStop) << c.name;
    EXPECT_EQ(flags(r, &BoundaryAndRTL::isWordStop), c.wordStop) << c.name;
    EXPECT_EQ(flags(r, &BoundaryAndRTL::isSoftBreak), c.softBreak) << c.name;
    EXPECT_EQ(flags(r, &BoundaryAndRTL::isLayoutRTL), c.layoutRtl) << c.name;
    EXPECT_EQ(flags(r, &BoundaryAndRTL::isRTL), c.rtl) << c.name;
    EXPECT_EQ(p.isComplexScript(), c.complex) << c.name;
  }
}

TEST(ScriptBoundsAndLayout, EmptyTextHasNoRecordsAndIsNotComplex) {
  for (bool rightToLeft : {false, true}) {
    ScriptBoundsAndLayoutProcessor p(rightToLeft, L"");
    EXPECT_TRUE(p.getScriptBoundsAndRTL().empty());
    EXPECT_FALSE(p.isComplexScript());
  }
}

// Each thread reuses its own break iterators: analyses running side by side
// must not see each other's text.
TEST(ScriptBoundsAndLayout, ThreadsAnalyseSideBySide) {
  const std::wstring texts[] = {L"one two three four five six",
                                L"\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD"};
  std::vector<std::string> expected;
  for (const std::wstring& t : texts) {
    ScriptBoundsAndLayoutProcessor p(false, t);
    const auto r = p.getScriptBoundsAndRTL();
    expected.push_back(flags(r, &BoundaryAndRTL::isWordStop) + flags(r, &BoundaryAndRTL::isRTL));
  }
  std::vector<std::string> mismatches[2];
  std::vector<std::thread> threads;
  for (int k = 0; k < 2; ++k)
    threads.emplace_back([&, k] {
      for (int i = 0; i < 2000; ++i) {
        ScriptBoundsAndLayoutProcessor p(false, texts[k]);
        const auto r = p.getScriptBoundsAndRTL();
        std::string got = flags(r, &BoundaryAndRTL::isWordStop) + flags(r, &BoundaryAndRTL::isRTL);
        if (got != expected[k]) mismatches[k].push_back(got);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_TRUE(mismatches[0].empty()) << mismatches[0].front();
  EXPECT_TRUE(mismatches[1].empty()) << mismatches[1].front();
}

}  // namespace
