// The faces behind the metrics and coverage queries: which face a logical
// font selects, and what the Windows graphics interface would report for it
// (text and outline metrics, glyph widths and ink boxes, Unicode ranges,
// font signature), computed from the face's own tables.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pal/locale.h"

namespace Halvex::Tessaran::PAL::detail {

class MappedFontFile;

inline constexpr int kSymbolCharset = 2;

// A whole number as an int, saturating at its range; NaN gives 0.
int saturatedInt(double whole);

// The text metrics the queries use, in the logical units of the font's height.
struct TextMetrics {
  int height = 0;
  int ascent = 0;
  int descent = 0;
  int internalLeading = 0;
  int externalLeading = 0;
  int aveCharWidth = 0;
  int maxCharWidth = 0;
  int weight = 0;
  bool italic = false;
  bool underlined = false;
  wchar_t firstChar = 0;
  wchar_t lastChar = 0;
  wchar_t defaultChar = 0;
  wchar_t breakChar = 0;
  // Bit 0 set for a variable-pitch face (the text-metrics sense), 2 vector,
  // 4 TrueType; bits 4 to 7 the family.
  int pitchAndFamily = 0;
  int charset = 0;
};

struct OutlineMetrics {
  int emSquare = 0;
  int ascent = 0;  // typographic ascent at the font's height
};

// Bits of GlyphRecord::flags.
inline constexpr int kGlyphComputed = 0x6;

struct GlyphRecord {
  int a = 0;
  int b = 0;
  int c = 0;
  int originY = 0;  // top of the ink box above the baseline
  int height = 0;   // ink box height
  int flags = 0;
};

// A run of UTF-16 code units.
struct UnicodeRange {
  char16_t first;
  std::uint32_t count;
};

struct FontSignature {
  std::uint32_t unicodeSubsets[4] = {};
  std::uint32_t codePages[2] = {};
};

struct LogicalFont {
  std::wstring faceName;
  int height = 0;  // above 0 the cell height, below 0 the character height
  int weight = 400;
  bool italic = false;
  bool underline = false;
  int charset = DEFAULT_CHARSET;
  bool trueTypeOnly = false;  // an outline face whenever the system has one
};

// Where a face lives: its file and its index there (fontconfig's, a named
// instance of a variable font in the upper 16 bits).
struct FaceLocation {
  std::wstring file;
  int index = 0;
};

// The face the system's best match gives for the request; none when it
// has no face at all.
std::optional<FaceLocation> matchFace(const LogicalFont& request);

// One face scaled to a logical font's height. Not for use from several
// threads at once.
class SelectedFont {
 public:
  // The face matchFace gives; null when there is none or it cannot be read.
  static std::unique_ptr<SelectedFont> select(const LogicalFont& request);
  // The face at `location`, as the request would select it.
  static std::unique_ptr<SelectedFont> open(const FaceLocation& location, const LogicalFont& request);
  ~SelectedFont();
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;

  const std::wstring& faceName() const;
  const TextMetrics& textMetrics() const;
  // Only outline faces have them.
  std::optional<OutlineMetrics> outlineMetrics() const;
  // The same face and request at another height.
  std::unique_ptr<SelectedFont> withHeight(int height) const;
  // Widths and ink box of the glyph the code unit maps to; for a unit the
  // face does not map, B is the default glyph's advance and A and C are 0.
  // Zeros (not flagged computed) when the glyph cannot be loaded.
  GlyphRecord glyph(char16_t unit) const;
  bool hasChar(wchar_t c) const;
  // Sorted, disjoint; characters beyond U+FFFF as their two surrogates.
  std::vector<UnicodeRange> unicodeRanges() const;
  FontSignature signature() const;

 private:
  struct Impl;
  explicit SelectedFont(std::unique_ptr<Impl> impl);
  static std::unique_ptr<SelectedFont> fromFile(std::shared_ptr<const MappedFontFile> file, int index,
                                                const LogicalFont& request);
  std::unique_ptr<Impl> impl_;
};

// The character set the system's selection gives a face that offers
// `faceCharsets` (in its order of preference) for a request of `requested`:
// the request (the system's character set for DEFAULT_CHARSET) when the face
// offers it, else ANSI when it does, else the face's first.
int selectedCharset(const std::vector<int>& faceCharsets, int requested, int systemCharset);

}  // namespace Halvex::Tessaran::PAL::detail
