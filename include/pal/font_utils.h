// Font records and the process-wide list of installed font faces.
//
// Differences on Linux from what a Windows caller expects:
// - wchar_t is 32 bits: the records' strings are UTF-32, and the character
//   fields of FontMetrics are wchar_t holding UTF-16 code unit values.
// - The installed faces are the scalable TrueType and OpenType faces
//   fontconfig lists (its current configuration, FONTCONFIG_FILE included),
//   plus the files registered with addExternalFont. The family, style and
//   full names are the face's own legacy names (name IDs 1, 2 and 4, not the
//   typographic ones) in the system locale's language, else English, else
//   the first the face has. No "@" vertical families are made up: a name
//   starts with "@" only when the font file says so.
// - pitch comes from fontconfig's spacing (mono and charcell are fixed,
//   everything else variable); weight from fontconfig's weight on the
//   100-900 scale; family from the OS/2 table's PANOSE, else its family
//   class, else DontCare; charset is the first character set the OS/2
//   code-page bits claim (ANSI, GB2312, Johab, Hangul, Big5, Shift-JIS,
//   Hebrew, Arabic, Greek, Turkish, Vietnamese, Thai, East European,
//   Russian, Baltic), DEFAULT_CHARSET when they claim none.
// - filePath is the file fontconfig reports for the face, unless the
//   "AltFontNames" product setting names one ("<full name> (TrueType)"); a
//   name without a folder there is taken from the folder of the face's own
//   file, and a ".FOT" ending becomes ".TTF". Font files are read only when
//   they are regular files (a FIFO in their place is not waited on).
// - On a system whose locale is not en-US, the English names are read from
//   the faces' own files; the alternate family-name table is built from every
//   file fontconfig lists and keeps all pairs it finds.
// - addExternalFont/removeExternalFont work on fontconfig's application font
//   set of this process; removing a file rebuilds that set without it.
//
// Metrics and coverage:
// - The face a name selects is fontconfig's best match for it (the process's
//   added fonts included), read with FreeType; the numbers are the ones the
//   Windows graphics interface reports for the same file, computed from its
//   tables (OS/2 usWinAscent/usWinDescent, hhea, head, cmap). Glyph widths
//   and ink boxes come from unhinted outlines; bold and italic that the face
//   lacks are reported as simulated (weight 700, italic) without changing
//   the outlines. A bitmap face is measured at its strike nearest the
//   requested height, in pixels; getFontMetrics selects one only when no
//   outline face exists at all.
// - defaultChar is the OS/2 usDefaultChar (0, glyph 0, before OS/2 version
//   2); breakChar its usBreakChar, else U+0020. A face "has" a character
//   when its character map gives the character a glyph.
// - Text and ranges are UTF-16 code units: a character beyond U+FFFF in a
//   text is measured as its two surrogates, and `advances` needs one entry
//   per unit. isWideCharSupportedByFont of such a character asks for both
//   of its surrogates.
// - The measurement made for a name the system replaced by another face is
//   kept under both names, so getExtentsMetrics finds it under the name it
//   was asked for.
// - The caches are not synchronised: call from one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pal/export.h"
#include "pal/locale.h"

namespace Halvex::Tessaran::PAL {

namespace FontUtils {

enum FontPitch : int {
  DefaultPitch = 0,
  FixedPitch = 1,
  VariablePitch = 2,
};

enum FontFamily : int {
  DontCare = 0,
  Roman = 16,
  Swiss = 32,
  Modern = 48,
  Script = 64,
  Decorative = 80,
};

static_assert(sizeof(FontPitch) == 4 && sizeof(FontFamily) == 4);

struct PAL_EXPORT FontAttributes {
  FontAttributes();
  FontAttributes(const FontAttributes& other);
  FontAttributes(FontAttributes&& other) noexcept;
  FontAttributes& operator=(const FontAttributes& other);

  bool bold;
  bool italic;
  bool underline;
  // Cell height in the measuring font's logical units; 0 in installed lists.
  std::int64_t height;
};

struct PAL_EXPORT FontInformation {
  FontInformation();
  FontInformation(const FontInformation& other);
  // The moved-from record keeps its numbers; its strings are left empty.
  FontInformation(FontInformation&& other) noexcept;
  FontInformation& operator=(const FontInformation& other);

  std::wstring faceName;       // English family name where one is known
  std::wstring localFaceName;  // family name as the system reported it
  std::wstring fullName;
  std::wstring fileName;  // file name and extension, no folder
  std::wstring filePath;  // empty when no file was found
  std::wstring styleName;
  FontPitch pitch;
  FontFamily family;
  int weight;   // 0 to 9: the hundreds digit of the 100-900 weight scale
  int charset;  // a Charset value, -1 when not determined
  FontAttributes attributes;
};

struct PAL_EXPORT FontMetrics {
  FontMetrics();
  FontMetrics(const FontMetrics& other);
  FontMetrics(FontMetrics&& other) noexcept;

  double emHeight;
  double lineSpacing;
  double ascent;
  double descent;
  double capHeightScale;
  wchar_t firstChar;
  wchar_t lastChar;
  wchar_t defaultChar;
  wchar_t breakChar;
  wchar_t diameterChar;
  std::uint64_t reserved;
  std::wstring faceName;
  FontAttributes attributes;
  int charset;
  int pitchAndFamily;
};

// A point of a text box in design units; z is always 0.
struct PAL_EXPORT TextPoint {
  double x;
  double y;
  double z;
};

struct PAL_EXPORT TextExtentsMetrics {
  TextExtentsMetrics();
  // Copies the advances pointer, not the array.
  TextExtentsMetrics(const TextExtentsMetrics& other);
  TextExtentsMetrics(TextExtentsMetrics&& other) noexcept;

  TextPoint bottomLeft;
  TextPoint bottomRight;
  TextPoint topRight;
  TextPoint topLeft;
  float inkAscent;
  float inkDescent;
  int firstCharAWidth;
  int lastCharCWidth;
  float* advances;  // the caller's array, not owned
};

// The low four bits of a logical font's pitch-and-family byte.
PAL_EXPORT FontPitch convertToFontPitchEnum(int pitchAndFamily);
// Bits 4 to 7; values above Decorative give DontCare.
PAL_EXPORT FontFamily convertToFontFamilyEnum(int pitchAndFamily);

// Built on first use (and again after a clear) and kept; not synchronised:
// call from one thread at a time.
PAL_EXPORT const std::vector<FontInformation>& getAllInstalledFonts();
PAL_EXPORT void clearCachedInstallFonts();
// Register or unregister a font file for this process only; on success the
// installed-font list is emptied, on failure left as it is.
PAL_EXPORT bool addExternalFont(const std::wstring& path);
PAL_EXPORT bool removeExternalFont(const std::wstring& path);

// Coverage and signature of the face the name selects, kept per name (exact
// letter case); a face whose ranges cannot be read is asked again.
PAL_EXPORT bool isWideCharSupportedByFont(wchar_t ch, const std::wstring& faceName);
// False for character sets that have no code-page bit (DEFAULT, SYMBOL, OEM).
PAL_EXPORT bool isMSCharsetSupportedByFont(const std::wstring& faceName, Charset charset);
// Measures the face once per name, bold and italic (any letter case) and
// keeps its glyph cache for getExtentsMetrics. Vertical metrics are at a
// cell height of 1000, the rest in the face's design units.
PAL_EXPORT FontMetrics getFontMetrics(const FontInformation& font);
// The box of `text` in design units; all zeros before getFontMetrics for the
// font. A widthFactor other than 1.0 spaces the characters by
// (w * widthFactor - w) * 1000 / spacingDivisor, w the average character
// width times spacingScale. `reserved` is not used.
PAL_EXPORT TextExtentsMetrics getExtentsMetrics(const FontInformation& font, const std::wstring& text,
                                                double reserved, double widthFactor, double spacingScale,
                                                double spacingDivisor, float* advances);

}  // namespace FontUtils

class PAL_EXPORT IFontProvider {
 public:
  virtual ~IFontProvider();
  virtual const std::vector<FontUtils::FontInformation>& getAllInstalledFonts() const = 0;
};

// The installed-font list behind a virtual interface; one per process.
class PAL_EXPORT FontProvider : public IFontProvider {
 public:
  static const FontProvider* get();

  ~FontProvider() override;
  const std::vector<FontUtils::FontInformation>& getAllInstalledFonts() const override;
  // Const so that it can be called through the pointer get() hands out.
  virtual void clearCachedInstallFonts() const;

 private:
  FontProvider() = default;
};

}  // namespace Halvex::Tessaran::PAL
