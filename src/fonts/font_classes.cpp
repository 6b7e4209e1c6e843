// Generic family and character set from the OS/2 table.
#include "fonts/font_classes.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

using namespace FontUtils;

// PANOSE bytes: family type, serif style, proportion.
enum : std::uint8_t { kPanoseFamily = 0, kPanoseSerif = 1, kPanoseProportion = 3 };

std::optional<FontFamily> familyFromPanose(const std::uint8_t panose[10]) {
  switch (panose[kPanoseFamily]) {
    case 2:  // Latin text
      if (panose[kPanoseProportion] == 9) return Modern;
      if (panose[kPanoseSerif] >= 11 && panose[kPanoseSerif] <= 13) return Swiss;
      if (panose[kPanoseSerif] >= 2 && panose[kPanoseSerif] <= 10) return Roman;
      return std::nullopt;
    case 3:
      return Script;
    case 4:
    case 5:
      return Decorative;
    default:
      return std::nullopt;
  }
}

FontFamily familyFromClass(std::int16_t familyClass) {
  switch (static_cast<std::uint16_t>(familyClass) >> 8) {
    case 1:  // old style, transitional, modern, Clarendon, slab, free-form serifs
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
      return Roman;
    case 8:
      return Swiss;
    case 9:  // ornamentals and symbolic
    case 12:
      return Decorative;
    case 10:
      return Script;
    default:
      return DontCare;
  }
}

}  // namespace

Charset charsetFromCodePages(const std::uint32_t codePages[2]) {
  for (const auto& entry : kCharsetCodePageBits)
    if (codePages[entry.bit / 32] & (1u << (entry.bit % 32))) return entry.charset;
  return DEFAULT_CHARSET;
}

FontFamily familyFromOs2(const Os2Info& os2) {
  if (std::optional<FontFamily> family = familyFromPanose(os2.panose)) return *family;
  return familyFromClass(os2.familyClass);
}

}  // namespace Halvex::Tessaran::PAL::detail
