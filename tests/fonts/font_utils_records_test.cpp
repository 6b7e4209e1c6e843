// The font records' defaults, copy and move rules, and the pitch-and-family
// conversions.
#include <gtest/gtest.h>

#include "pal/font_utils.h"

using namespace Halvex::Tessaran::PAL::FontUtils;

namespace {

FontInformation sample() {
  FontInformation f;
  f.faceName = L"Face";
  f.localFaceName = L"Local";
  f.fullName = L"Face Bold";
  f.fileName = L"face.ttf";
  f.filePath = L"/fonts/face.ttf";
  f.styleName = L"Bold";
  f.pitch = FixedPitch;
  f.family = Modern;
  f.weight = 7;
  f.charset = 128;
  f.attributes.bold = true;
  f.attributes.italic = true;
  f.attributes.underline = true;
  f.attributes.height = -12;
  return f;
}

void expectSame(const FontInformation& a, const FontInformation& b) {
  EXPECT_EQ(a.faceName, b.faceName);
  EXPECT_EQ(a.localFaceName, b.localFaceName);
  EXPECT_EQ(a.fullName, b.fullName);
  EXPECT_EQ(a.fileName, b.fileName);
  EXPECT_EQ(a.filePath, b.filePath);
  EXPECT_EQ(a.styleName, b.styleName);
  EXPECT_EQ(a.pitch, b.pitch);
  EXPECT_EQ(a.family, b.family);
  EXPECT_EQ(a.weight, b.weight);
  EXPECT_EQ(a.charset, b.charset);
  EXPECT_EQ(a.attributes.bold, b.attributes.bold);
  EXPECT_EQ(a.attributes.italic, b.attributes.italic);
  EXPECT_EQ(a.attributes.underline, b.attributes.underline);
  EXPECT_EQ(a.attributes.height, b.attributes.height);
}

TEST(FontConversions, PitchFromLowFourBits) {
  const struct {
    int in;
    FontPitch out;
  } cases[] = {{0x31, FixedPitch},    {3, DefaultPitch},  {0x02, VariablePitch},
               {0x22, VariablePitch}, {0, DefaultPitch},  {0x10, DefaultPitch},
               {0x0F, DefaultPitch},  {-1, DefaultPitch}, {0x101, FixedPitch}};
  for (const auto& c : cases) EXPECT_EQ(convertToFontPitchEnum(c.in), c.out) << std::hex << c.in;
}

TEST(FontConversions, FamilyFromBitsFourToSeven) {
  const struct {
    int in;
    FontFamily out;
  } cases[] = {{0x22, Swiss},  {0x60, DontCare}, {0xF0, DontCare},   {0x10, Roman},
               {0x31, Modern}, {0x40, Script},   {0x52, Decorative}, {0x0F, DontCare},
               {0x110, Roman}, {0x70, DontCare}, {0, DontCare}};
  for (const auto& c : cases) EXPECT_EQ(convertToFontFamilyEnum(c.in), c.out) << std::hex << c.in;
}

TEST(FontRecords, Defaults) {
  const FontInformation info;
  expectSame(info, [] {
    FontInformation f = sample();
    f.faceName = f.localFaceName = f.fullName = f.fileName = f.filePath = f.styleName = L"";
    f.pitch = DefaultPitch;
    f.family = DontCare;
    f.weight = 0;
    f.charset = -1;
    f.attributes.bold = f.attributes.italic = f.attributes.underline = false;
    f.attributes.height = 0;
    return f;
  }());

  const FontMetrics m;
  EXPECT_EQ(m.emHeight, 0);
  EXPECT_EQ(m.lineSpacing, 0);
  EXPECT_EQ(m.ascent, 0);
  EXPECT_EQ(m.descent, 0);
  EXPECT_EQ(m.capHeightScale, 0);
  EXPECT_EQ(m.firstChar, L' ');
  EXPECT_EQ(m.lastChar, L' ');
  EXPECT_EQ(m.defaultChar, L' ');
  EXPECT_EQ(m.breakChar, L' ');
  EXPECT_EQ(m.diameterChar, L'\0');
  EXPECT_EQ(m.reserved, 0u);
  EXPECT_TRUE(m.faceName.empty());
  EXPECT_EQ(m.charset, 0);
  EXPECT_EQ(m.pitchAndFamily, 0);
  EXPECT_FALSE(m.attributes.bold);
  EXPECT_EQ(m.attributes.height, 0);

  const TextExtentsMetrics t;
  for (const TextPoint* p : {&t.bottomLeft, &t.bottomRight, &t.topRight, &t.topLeft}) {
    EXPECT_EQ(p->x, 0);
    EXPECT_EQ(p->y, 0);
    EXPECT_EQ(p->z, 0);
  }
  EXPECT_EQ(t.inkAscent, 0);
  EXPECT_EQ(t.inkDescent, 0);
  EXPECT_EQ(t.firstCharAWidth, 0);
  EXPECT_EQ(t.lastCharCWidth, 0);
  EXPECT_EQ(t.advances, nullptr);
}

TEST(FontRecords, CopyAndAssignAreMemberwise) {
  const FontInformation original = sample();
  const FontInformation copy(original);
  expectSame(copy, original);

  FontInformation assigned;
  assigned = original;
  expectSame(assigned, original);

  FontInformation self = sample();
  FontInformation& alias = self;
  self = alias;
  expectSame(self, original);

  FontAttributes attributes;
  attributes = original.attributes;
  EXPECT_TRUE(attributes.underline);
  EXPECT_EQ(attributes.height, -12);
}

TEST(FontRecords, MovedFromRecordsKeepNumbersAndLoseStrings) {
  FontInformation source = sample();
  const FontInformation moved(std::move(source));
  expectSame(moved, sample());
  FontInformation expected = sample();
  expected.faceName = expected.localFaceName = expected.fullName = expected.fileName = expected.filePath =
      expected.styleName = L"";
  expectSame(source, expected);  // NOLINT(bugprone-use-after-move)

  FontMetrics metrics;
  metrics.faceName = L"A face name long enough to leave the small-string buffer";
  metrics.emHeight = 2048;
  metrics.diameterChar = 0x2205;
  const FontMetrics movedMetrics(std::move(metrics));
  EXPECT_EQ(movedMetrics.faceName, L"A face name long enough to leave the small-string buffer");
  EXPECT_TRUE(metrics.faceName.empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(metrics.emHeight, 2048);
  EXPECT_EQ(metrics.diameterChar, 0x2205);
}

TEST(FontRecords, ExtentsCopyTheAdvancesPointerNotTheArray) {
  float advances[2] = {1, 2};
  TextExtentsMetrics t;
  t.advances = advances;
  t.topRight = {3, 4, 0};
  const TextExtentsMetrics copy(t);
  const TextExtentsMetrics moved(std::move(t));
  EXPECT_EQ(copy.advances, advances);
  EXPECT_EQ(moved.advances, advances);
  EXPECT_EQ(copy.topRight.y, 4);
}

}  // namespace
