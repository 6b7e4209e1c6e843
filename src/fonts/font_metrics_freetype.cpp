// A selected face read with FreeType: the metrics the Windows graphics
// interface derives from its tables, glyph boxes from unhinted outlines, and
// its character map as UTF-16 ranges.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>

#include "fonts/font_classes.h"
#include "fonts/font_metrics.h"
#include "fonts/freetype_info.h"
#include "fonts/installed_fonts.h"
#include "fonts/sfnt_names.h"
#include "pal/unicode_convert.h"
#include "text/nls_process.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// Rounded to the nearest integer.
int toInt(double value) {
  return saturatedInt(std::round(value));
}

// FreeType's 26.6 pixel values.
int pixels(FT_Pos value) {
  return toInt(static_cast<double>(value) / 64.0);
}

enum class MapKind { Unicode, Symbol, CodePage, Other };

struct CharMap {
  MapKind kind = MapKind::Other;
  unsigned codePage = 0;  // for MapKind::CodePage
  int charset = ANSI_CHARSET;
};

// A character map of the font itself: FreeType makes up a Unicode map from
// the glyph names of a TrueType face that has none, which Windows never reads.
// Of several Unicode maps the full-repertoire one (3,10) comes first.
FT_CharMap ownMap(FT_Face face, FT_Encoding encoding) {
  FT_CharMap found = nullptr;
  for (int i = 0; i < face->num_charmaps; ++i) {
    FT_CharMap map = face->charmaps[i];
    if (map->encoding != encoding || (FT_IS_SFNT(face) && FT_Get_CMap_Format(map) < 0)) continue;
    if (map->platform_id == TT_PLATFORM_MICROSOFT && map->encoding_id == TT_MS_ID_UCS_4) return map;
    if (!found) found = map;
  }
  return found;
}

// The map Windows reads a face through: a symbol map before a Unicode one,
// then the East Asian encodings by their code pages.
CharMap chooseMap(FT_Face face) {
  auto use = [&](FT_Encoding encoding) {
    FT_CharMap map = face->charmaps ? ownMap(face, encoding) : nullptr;
    return map && FT_Set_Charmap(face, map) == 0;
  };
  if (use(FT_ENCODING_MS_SYMBOL)) return {MapKind::Symbol, 0, kSymbolCharset};
  if (use(FT_ENCODING_UNICODE)) return {MapKind::Unicode, 0, ANSI_CHARSET};
  static constexpr struct {
    FT_Encoding encoding;
    unsigned codePage;
    Charset charset;
  } kEastAsian[] = {
      {FT_ENCODING_BIG5, 950, CHINESEBIG5_CHARSET}, {FT_ENCODING_PRC, 936, GB2312_CHARSET},
      {FT_ENCODING_SJIS, 932, SHIFTJIS_CHARSET},    {FT_ENCODING_WANSUNG, 949, HANGUL_CHARSET},
      {FT_ENCODING_JOHAB, 1361, JOHAB_CHARSET},
  };
  for (const auto& e : kEastAsian)
    if (use(e.encoding)) return {MapKind::CodePage, e.codePage, e.charset};
  if (face->num_charmaps > 0 && face->charmaps) FT_Set_Charmap(face, face->charmaps[0]);
  return {};
}

// A BMP character as a code of an East Asian code page; 0 when it has none.
FT_ULong codeOf(unsigned codePage, wchar_t c) {
  std::string bytes;
  if (UnicodeConvert::wideToMultibyte(code_page_id_ex(codePage), std::wstring(1, c), bytes,
                                      UnicodeConvert::ToMultibyteNoBestFit) != UnicodeConvert::ToMultiByteOk)
    return 0;
  FT_ULong code = 0;
  if (bytes.empty() || bytes.size() > 2) return 0;
  for (unsigned char b : bytes) code = code << 8 | b;
  return code;
}

// The character of a code of an East Asian code page; 0 when it has none.
wchar_t characterOf(unsigned codePage, FT_ULong code) {
  std::string bytes;
  if (code > 0xFF) bytes += static_cast<char>(code >> 8);
  bytes += static_cast<char>(code & 0xFF);
  std::wstring out;
  if (UnicodeConvert::multibyteToWide(code_page_id_ex(codePage), bytes, out, 1) !=
          UnicodeConvert::ToWideCharOk ||
      out.size() != 1)
    return 0;
  return out[0];
}

const TT_OS2* os2Of(FT_Face face) {
  auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  return os2 && os2->version != 0xFFFF ? os2 : nullptr;
}

// The character sets a face offers, in the order its code-page bits are
// searched; from its character map when it claims none.
std::vector<int> faceCharsets(const TT_OS2* os2, const CharMap& map) {
  if (map.kind == MapKind::Symbol) return {kSymbolCharset};
  std::vector<int> out;
  if (os2 && os2->version >= 1) {
    const std::uint32_t codePages[2] = {static_cast<std::uint32_t>(os2->ulCodePageRange1),
                                        static_cast<std::uint32_t>(os2->ulCodePageRange2)};
    for (const auto& entry : kCharsetCodePageBits)
      if (codePages[entry.bit / 32] & (1u << (entry.bit % 32))) out.push_back(entry.charset);
  }
  if (out.empty()) out.push_back(map.charset);
  return out;
}

int systemCharset() {
  static const int charset = languageCharset(systemDefaultLcid());
  return charset;
}

// The family name the system's enumeration gives the face (its legacy
// Windows name), else FreeType's.
std::wstring familyNameOf(FT_Face face, const MappedFontFile& file, int index) {
  const MemoryFontBytes bytes({file.data(), file.size()});
  if (const std::optional<FontFileFaces> faces = fontFileFaces(bytes); faces && (index >> 16) == 0) {
    const LANGID language = static_cast<LANGID>(systemDefaultLcid() & 0xFFFF);
    LegacyNames names = legacyNames(bytes, lookupFace(*faces, static_cast<std::uint32_t>(index)), language);
    if (names.family) return std::move(*names.family);
  }
  std::wstring out;
  if (face->family_name) UnicodeConvert::utf8ToWideChar(face->family_name, out);
  return out;
}

}  // namespace

struct SelectedFont::Impl {
  ~Impl() {
    if (face) FT_Done_Face(face);
  }

  std::shared_ptr<const MappedFontFile> file;
  int index = 0;
  FT_Face face = nullptr;
  LogicalFont request;
  std::wstring faceName;
  CharMap map;
  TextMetrics metrics;
  std::optional<OutlineMetrics> outline;
  double scale = 1.0;  // logical units per font unit, outline faces

  FT_UInt glyphIndex(wchar_t c) const {
    switch (map.kind) {
      case MapKind::Symbol: {
        // Symbol faces sit at U+F020-U+F0FF and are typed as 8-bit codes.
        const FT_UInt g = FT_Get_Char_Index(face, c);
        return g == 0 && c <= 0xFF ? FT_Get_Char_Index(face, 0xF000 | c) : g;
      }
      case MapKind::CodePage: {
        const FT_ULong code = c <= 0xFFFF ? codeOf(map.codePage, c) : 0;
        return code ? FT_Get_Char_Index(face, code) : 0;
      }
      default:
        return FT_Get_Char_Index(face, c);
    }
  }

  void measureOutline();
  bool measureBitmap();
};

void SelectedFont::Impl::measureOutline() {
  const TT_OS2* os2 = os2Of(face);
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  const double upem = face->units_per_EM > 0 ? face->units_per_EM : 1000;
  const double hheaAscent = hhea ? hhea->Ascender : face->ascender;
  const double hheaDescent = hhea ? hhea->Descender : face->descender;
  const double lineGap = hhea ? hhea->Line_Gap : 0;
  double winAscent = os2 ? os2->usWinAscent : hheaAscent;
  double winDescent = os2 ? os2->usWinDescent : -hheaDescent;
  if (winAscent + winDescent <= 0) {
    winAscent = upem;
    winDescent = 0;
  }
  const double cell = winAscent + winDescent;
  const double ppem =
      request.height > 0 ? request.height * upem / cell : -static_cast<double>(request.height);
  scale = ppem / upem;

  TextMetrics& tm = metrics;
  tm.ascent = toInt(winAscent * scale);
  tm.descent = toInt(winDescent * scale);
  tm.height = tm.ascent + tm.descent;
  tm.internalLeading = tm.height - toInt(ppem);
  tm.externalLeading = std::max(0, toInt((lineGap - (cell - (hheaAscent - hheaDescent))) * scale));
  tm.aveCharWidth = os2 ? toInt(os2->xAvgCharWidth * scale) : 0;
  tm.maxCharWidth = toInt(face->max_advance_width * scale);
  const bool boldFace = os2 ? os2->usWeightClass >= 600 : (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  tm.weight = os2 && os2->usWeightClass ? os2->usWeightClass : (boldFace ? 700 : 400);
  if (request.weight >= 600 && !boldFace) tm.weight = 700;  // simulated
  tm.italic = request.italic || (face->style_flags & FT_STYLE_FLAG_ITALIC) || (os2 && (os2->fsSelection & 1));
  tm.underlined = request.underline;
  if (os2) {
    tm.firstChar = os2->usFirstCharIndex;
    tm.lastChar = os2->usLastCharIndex;
  }
  tm.defaultChar = os2 && os2->version >= 2 ? os2->usDefaultChar : 0;
  tm.breakChar = os2 && os2->version >= 2 ? os2->usBreakChar : 0x20;
  int family = 0;
  if (os2) {
    Os2Info info;
    info.familyClass = os2->sFamilyClass;
    std::copy(std::begin(os2->panose), std::end(os2->panose), info.panose);
    family = familyFromOs2(info);
  }
  tm.pitchAndFamily = (FT_IS_FIXED_WIDTH(face) ? 0 : 1) | 2 | (FT_IS_SFNT(face) ? 4 : 0) | family;
  tm.charset = selectedCharset(faceCharsets(os2, map), request.charset, systemCharset());

  const double typoAscent = os2 ? os2->sTypoAscender : hheaAscent;
  outline = OutlineMetrics{static_cast<int>(upem), toInt(typoAscent * scale)};
}

bool SelectedFont::Impl::measureBitmap() {
  if (face->num_fixed_sizes <= 0 || !face->available_sizes) return false;
  const long wanted = std::labs(static_cast<long>(request.height));
  int best = 0;
  for (int i = 1; i < face->num_fixed_sizes; ++i)
    if (std::labs(face->available_sizes[i].height - wanted) <
        std::labs(face->available_sizes[best].height - wanted))
      best = i;
  if (FT_Select_Size(face, best) != 0) return false;
  const FT_Size_Metrics& size = face->size->metrics;
  TextMetrics& tm = metrics;
  tm.ascent = pixels(size.ascender);
  tm.descent = -pixels(size.descender);
  if (tm.ascent + tm.descent <= 0) {
    tm.ascent = face->available_sizes[best].height;
    tm.descent = 0;
  }
  tm.height = tm.ascent + tm.descent;
  tm.internalLeading = tm.height - pixels(face->available_sizes[best].y_ppem);
  tm.aveCharWidth = face->available_sizes[best].width;
  tm.maxCharWidth = pixels(size.max_advance);
  tm.weight = request.weight >= 600 || (face->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400;
  tm.italic = request.italic || (face->style_flags & FT_STYLE_FLAG_ITALIC);
  tm.underlined = request.underline;
  FT_UInt g;
  FT_ULong code = FT_Get_First_Char(face, &g);
  if (g != 0 && code <= 0xFFFF) {
    tm.firstChar = static_cast<wchar_t>(code);
    for (FT_ULong next = code; g != 0 && next <= 0xFFFF; next = FT_Get_Next_Char(face, next, &g))
      tm.lastChar = static_cast<wchar_t>(next);
  }
  tm.breakChar = 0x20;
  tm.pitchAndFamily = FT_IS_FIXED_WIDTH(face) ? 0 : 1;
  tm.charset = selectedCharset({map.charset}, request.charset, systemCharset());
  return true;
}

SelectedFont::SelectedFont(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SelectedFont::~SelectedFont() = default;

std::unique_ptr<SelectedFont> SelectedFont::select(const LogicalFont& request) {
  const std::optional<FaceLocation> location = matchFace(request);
  return location ? open(*location, request) : nullptr;
}

std::unique_ptr<SelectedFont> SelectedFont::open(const FaceLocation& location, const LogicalFont& request) {
  std::shared_ptr<const MappedFontFile> file = MappedFontFile::open(location.file);
  return file ? fromFile(std::move(file), location.index, request) : nullptr;
}

std::unique_ptr<SelectedFont> SelectedFont::fromFile(std::shared_ptr<const MappedFontFile> file, int index,
                                                     const LogicalFont& request) {
  FT_Library library = freeTypeLibrary();
  if (!library) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->file = std::move(file);
  if (FT_New_Memory_Face(library, impl->file->data(), static_cast<FT_Long>(impl->file->size()), index,
                         &impl->face) != 0) {
    impl->face = nullptr;
    return nullptr;
  }
  impl->index = index;
  impl->request = request;
  impl->map = chooseMap(impl->face);
  impl->faceName = familyNameOf(impl->face, *impl->file, index);
  if (FT_IS_SCALABLE(impl->face))
    impl->measureOutline();
  else if (!impl->measureBitmap())
    return nullptr;
  return std::unique_ptr<SelectedFont>(new SelectedFont(std::move(impl)));
}

const std::wstring& SelectedFont::faceName() const {
  return impl_->faceName;
}

const TextMetrics& SelectedFont::textMetrics() const {
  return impl_->metrics;
}

std::optional<OutlineMetrics> SelectedFont::outlineMetrics() const {
  return impl_->outline;
}

std::unique_ptr<SelectedFont> SelectedFont::withHeight(int height) const {
  LogicalFont request = impl_->request;
  request.height = height;
  return fromFile(impl_->file, impl_->index, request);
}

GlyphRecord SelectedFont::glyph(char16_t unit) const {
  const Impl& f = *impl_;
  const FT_UInt index = f.glyphIndex(unit);
  GlyphRecord r;
  const bool scalable = FT_IS_SCALABLE(f.face);
  if (FT_Load_Glyph(f.face, index, scalable ? FT_LOAD_NO_SCALE : FT_LOAD_DEFAULT) != 0) return r;
  const FT_Glyph_Metrics& m = f.face->glyph->metrics;
  auto units = [&](FT_Pos v) { return scalable ? toInt(static_cast<double>(v) * f.scale) : pixels(v); };
  const int advance = units(m.horiAdvance);
  if (index == 0) {
    r.b = advance;
  } else {
    r.a = units(m.horiBearingX);
    r.b = units(m.width);
    r.c = advance - r.a - r.b;
  }
  r.originY = units(m.horiBearingY);
  r.height = units(m.height);
  r.flags = kGlyphComputed;
  return r;
}

bool SelectedFont::hasChar(wchar_t c) const {
  return impl_->glyphIndex(c) != 0;
}

std::vector<UnicodeRange> SelectedFont::unicodeRanges() const {
  const Impl& f = *impl_;
  std::vector<std::uint64_t> units(0x10000 / 64);
  auto set = [&](std::uint32_t u) { units[u / 64] |= std::uint64_t{1} << (u % 64); };
  const FT_ULong limit = f.map.kind == MapKind::Unicode || f.map.kind == MapKind::Other ? 0x10FFFF : 0xFFFF;
  FT_UInt g;
  for (FT_ULong code = FT_Get_First_Char(f.face, &g); g != 0 && code <= limit;
       code = FT_Get_Next_Char(f.face, code, &g)) {
    const std::uint32_t u = f.map.kind == MapKind::CodePage ? characterOf(f.map.codePage, code)
                                                            : static_cast<std::uint32_t>(code);
    if (u == 0 && code != 0) continue;
    if (u <= 0xFFFF) {
      set(u);
    } else {
      set(0xD800 + ((u - 0x10000) >> 10));
      set(0xDC00 + ((u - 0x10000) & 0x3FF));
    }
  }
  std::vector<UnicodeRange> ranges;
  for (std::uint32_t u = 0; u < 0x10000; ++u) {
    if (!(units[u / 64] >> (u % 64) & 1)) continue;
    if (!ranges.empty() && ranges.back().first + ranges.back().count == u)
      ++ranges.back().count;
    else
      ranges.push_back({static_cast<char16_t>(u), 1});
  }
  return ranges;
}

FontSignature SelectedFont::signature() const {
  FontSignature s;
  const TT_OS2* os2 = os2Of(impl_->face);
  if (!os2) return s;
  s.unicodeSubsets[0] = static_cast<std::uint32_t>(os2->ulUnicodeRange1);
  s.unicodeSubsets[1] = static_cast<std::uint32_t>(os2->ulUnicodeRange2);
  s.unicodeSubsets[2] = static_cast<std::uint32_t>(os2->ulUnicodeRange3);
  s.unicodeSubsets[3] = static_cast<std::uint32_t>(os2->ulUnicodeRange4);
  if (os2->version >= 1) {
    s.codePages[0] = static_cast<std::uint32_t>(os2->ulCodePageRange1);
    s.codePages[1] = static_cast<std::uint32_t>(os2->ulCodePageRange2);
  }
  return s;
}

}  // namespace Halvex::Tessaran::PAL::detail
