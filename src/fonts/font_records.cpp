// The font value records and the pitch-and-family conversions.
#include "pal/font_utils.h"

namespace Halvex::Tessaran::PAL::FontUtils {

FontAttributes::FontAttributes() : bold(false), italic(false), underline(false), height(0) {}
FontAttributes::FontAttributes(const FontAttributes& other) = default;
FontAttributes::FontAttributes(FontAttributes&& other) noexcept = default;
FontAttributes& FontAttributes::operator=(const FontAttributes& other) = default;

FontInformation::FontInformation() : pitch(DefaultPitch), family(DontCare), weight(0), charset(-1) {}
FontInformation::FontInformation(const FontInformation& other) = default;

// Spelled out so that the source's strings end up empty whatever the
// string implementation leaves behind.
FontInformation::FontInformation(FontInformation&& other) noexcept
    : faceName(std::move(other.faceName)),
      localFaceName(std::move(other.localFaceName)),
      fullName(std::move(other.fullName)),
      fileName(std::move(other.fileName)),
      filePath(std::move(other.filePath)),
      styleName(std::move(other.styleName)),
      pitch(other.pitch),
      family(other.family),
      weight(other.weight),
      charset(other.charset),
      attributes(other.attributes) {
  for (std::wstring* s : {&other.faceName, &other.localFaceName, &other.fullName, &other.fileName,
                          &other.filePath, &other.styleName})
    s->clear();
}

FontInformation& FontInformation::operator=(const FontInformation& other) = default;

FontMetrics::FontMetrics()
    : emHeight(0),
      lineSpacing(0),
      ascent(0),
      descent(0),
      capHeightScale(0),
      firstChar(L' '),
      lastChar(L' '),
      defaultChar(L' '),
      breakChar(L' '),
      diameterChar(0),
      reserved(0),
      charset(0),
      pitchAndFamily(0) {}
FontMetrics::FontMetrics(const FontMetrics& other) = default;

FontMetrics::FontMetrics(FontMetrics&& other) noexcept
    : emHeight(other.emHeight),
      lineSpacing(other.lineSpacing),
      ascent(other.ascent),
      descent(other.descent),
      capHeightScale(other.capHeightScale),
      firstChar(other.firstChar),
      lastChar(other.lastChar),
      defaultChar(other.defaultChar),
      breakChar(other.breakChar),
      diameterChar(other.diameterChar),
      reserved(other.reserved),
      faceName(std::move(other.faceName)),
      attributes(other.attributes),
      charset(other.charset),
      pitchAndFamily(other.pitchAndFamily) {
  other.faceName.clear();
}

TextExtentsMetrics::TextExtentsMetrics()
    : bottomLeft{0, 0, 0},
      bottomRight{0, 0, 0},
      topRight{0, 0, 0},
      topLeft{0, 0, 0},
      inkAscent(0),
      inkDescent(0),
      firstCharAWidth(0),
      lastCharCWidth(0),
      advances(nullptr) {}
TextExtentsMetrics::TextExtentsMetrics(const TextExtentsMetrics& other) = default;
TextExtentsMetrics::TextExtentsMetrics(TextExtentsMetrics&& other) noexcept = default;

FontPitch convertToFontPitchEnum(int pitchAndFamily) {
  switch (pitchAndFamily & 0x0F) {
    case FixedPitch:
      return FixedPitch;
    case VariablePitch:
      return VariablePitch;
    default:
      return DefaultPitch;
  }
}

FontFamily convertToFontFamilyEnum(int pitchAndFamily) {
  switch (pitchAndFamily & 0xF0) {
    case Roman:
    case Swiss:
    case Modern:
    case Script:
    case Decorative:
      return static_cast<FontFamily>(pitchAndFamily & 0xF0);
    default:
      return DontCare;
  }
}

}  // namespace Halvex::Tessaran::PAL::FontUtils
