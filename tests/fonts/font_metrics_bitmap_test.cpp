// Metrics of a bitmap face on a system that has no outline face at all: the
// face is measured at its only strike, 16 pixels (13 above the baseline, 3
// below), and "A" is 8 by 10 pixels at x 1 in an advance of 10.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pal/font_utils.h"

using namespace Halvex::Tessaran::PAL;

TEST(BitmapFontMetrics, MeasuredAtItsStrike) {
  ASSERT_NE(std::getenv("FONTCONFIG_FILE"), nullptr);
  FontUtils::FontInformation font;
  font.faceName = L"Kvmetrics Bitmap";
  const FontUtils::FontMetrics m = FontUtils::getFontMetrics(font);
  EXPECT_EQ(m.faceName, L"Kvmetrics Bitmap");
  // Cell height less internal leading (16 - (16 - 16 pixels per em)).
  EXPECT_EQ(m.emHeight, 16);
  EXPECT_EQ(m.lineSpacing, 16);
  EXPECT_EQ(m.ascent, 13);
  EXPECT_EQ(m.descent, 3);
  EXPECT_EQ(m.capHeightScale, 16.0 / 13.0);
  EXPECT_EQ(m.firstChar, 0x20);
  EXPECT_EQ(m.lastChar, 0x41);
  EXPECT_EQ(m.attributes.height, 16);

  float advances[2];
  const FontUtils::TextExtentsMetrics r =
      FontUtils::getExtentsMetrics(font, L"AA", 0.0, 1.0, 1.0, 1000.0, advances);
  EXPECT_EQ(advances[0], 10);
  EXPECT_EQ(advances[1], 10);
  EXPECT_EQ(r.bottomLeft.x, 0);
  EXPECT_EQ(r.bottomLeft.y, -3);
  EXPECT_EQ(r.topRight.x, 20);
  EXPECT_EQ(r.topRight.y, 13);
  EXPECT_EQ(r.inkAscent, 10);
  EXPECT_EQ(r.inkDescent, 0);
  EXPECT_EQ(r.firstCharAWidth, 1);
  EXPECT_EQ(r.lastCharCWidth, 1);
  EXPECT_TRUE(FontUtils::isWideCharSupportedByFont(L'A', L"Kvmetrics Bitmap"));
  EXPECT_FALSE(FontUtils::isWideCharSupportedByFont(L'B', L"Kvmetrics Bitmap"));
}
