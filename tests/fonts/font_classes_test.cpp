// Character sets from OS/2 code-page bits and generic families from PANOSE
// and the family class.
#include "fonts/font_classes.h"

#include <gtest/gtest.h>

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::detail;

namespace {

TEST(FontClasses, CharsetIsTheFirstClaimedInTableOrder) {
  const struct {
    std::uint32_t words[2];
    int charset;
  } cases[] = {
      {{0, 0}, DEFAULT_CHARSET},
      {{1u << 31, 0}, DEFAULT_CHARSET},  // symbol is not in the table
      {{0, 0xFFFFFFFF}, DEFAULT_CHARSET},
      {{1, 0}, ANSI_CHARSET},
      {{0xFFFFFFFF, 0}, ANSI_CHARSET},
      {{(1u << 3) | (1u << 17), 0}, SHIFTJIS_CHARSET},  // Japanese before Greek despite its bit
      {{(1u << 21) | (1u << 18), 0}, GB2312_CHARSET},
      {{(1u << 19) | (1u << 21), 0}, JOHAB_CHARSET},
      {{(1u << 1) | (1u << 2), 0}, EASTEUROPE_CHARSET},
      {{(1u << 7) | (1u << 2), 0}, RUSSIAN_CHARSET},
      {{1u << 7, 0}, BALTIC_CHARSET},
      {{1u << 16, 0}, THAI_CHARSET},
      {{1u << 8, 0}, VIETNAMESE_CHARSET},
      {{(1u << 5) | (1u << 6), 0}, HEBREW_CHARSET},
  };
  for (const auto& c : cases) EXPECT_EQ(charsetFromCodePages(c.words), c.charset) << std::hex << c.words[0];
}

TEST(FontClasses, FamilyFromPanoseThenFamilyClass) {
  using namespace FontUtils;
  const struct {
    std::vector<std::uint8_t> panose;
    std::int16_t familyClass;
    FontFamily family;
  } cases[] = {
      {{2, 11}, 0, Swiss},        {{2, 13}, 0x0100, Swiss},  {{2, 2}, 0, Roman},    {{2, 10}, 0x0800, Roman},
      {{2, 11, 0, 9}, 0, Modern}, {{3}, 0, Script},          {{4}, 0, Decorative},  {{5}, 0x0800, Decorative},
      {{2, 0}, 0x0800, Swiss},    {{2, 14}, 0x0300, Roman},  {{0}, 0x0105, Roman},  {{1}, 0x0700, Roman},
      {{0}, 0x0900, Decorative},  {{0}, 0x0C00, Decorative}, {{0}, 0x0A01, Script}, {{0}, 0x0600, DontCare},
      {{0}, 0x0B00, DontCare},    {{0}, 0, DontCare},        {{6}, -1, DontCare},
  };
  for (const auto& c : cases) {
    Os2Info os2;
    std::copy(c.panose.begin(), c.panose.end(), os2.panose);
    os2.familyClass = c.familyClass;
    EXPECT_EQ(familyFromOs2(os2), c.family) << int(c.panose[0]) << " class " << std::hex << c.familyClass;
  }
}

}  // namespace
