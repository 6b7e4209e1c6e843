// FreeType itself: the private library instance, faces opened from font files
// and kept in the registry, and the three helpers over a face.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

#include "fonts/freetype_info.h"
#include "pal/freetype_font_utils.h"
#include "pal/unicode_convert.h"

namespace Halvex::Tessaran::PAL::detail {

using FontUtils::FontInformation;

namespace {

// Declared before the registry it outlives: faces close before the library.
struct FreeTypeState {
  FreeTypeState() {
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  }
  ~FreeTypeState() {
    registry = {};
    if (library) FT_Done_FreeType(library);
  }
  FreeTypeState(const FreeTypeState&) = delete;
  FreeTypeState& operator=(const FreeTypeState&) = delete;

  FT_Library library = nullptr;
  FaceRegistry registry;
};

FreeTypeState& state() {
  static FreeTypeState s;
  return s;
}

FT_Face openFace(FT_Library library, const MappedFontFile& file, FT_Long index) {
  FT_Face face = nullptr;
  return FT_New_Memory_Face(library, file.data(), static_cast<FT_Long>(file.size()), index, &face) == 0
             ? face
             : nullptr;
}

std::wstring decodedName(const char* name) {
  std::wstring out;
  if (name) UnicodeConvert::utf8ToWideChar(name, out);
  return out;
}

std::wstring fileNameOf(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'/');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

FontInformation recordOf(FT_Face face, const std::wstring& path) {
  FontInformation f;
  const std::wstring family = decodedName(face->family_name);
  const std::wstring style = decodedName(face->style_name);
  f.faceName = family;
  f.localFaceName = family;
  f.fullName = style.empty() ? family : family + L" " + style;
  f.styleName = style;
  f.filePath = path;
  f.fileName = fileNameOf(path);
  f.family = FontUtils::DontCare;
  f.pitch = FT_IS_FIXED_WIDTH(face) ? FontUtils::FixedPitch : FontUtils::VariablePitch;
  f.attributes.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  f.attributes.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  f.attributes.underline = false;
  f.weight = f.attributes.bold ? 7 : 4;
  f.charset = get_font_charset(face);
  return f;
}

void registerFace(FT_Face face, const FontInformation& f, std::shared_ptr<const MappedFontFile> file) {
  auto font = std::make_shared<FreeTypeFont>(face, f.faceName, f.fullName, f.attributes.bold,
                                             f.attributes.italic, std::move(file));
  FaceRegistry& registry = state().registry;
  registry.faces.push_back(font);
  registry.byFamily[font->familyName].push_back(std::move(font));
}

// Truncated toward zero; beyond the range of FT_Pos it saturates, NaN gives 0.
FT_Pos truncatedPos(double value) {
  if (std::isnan(value)) return 0;
  constexpr double kLimit = 9.2e18;  // within FT_Pos (64-bit long) either way
  return static_cast<FT_Pos>(std::clamp(std::trunc(value), -kLimit, kLimit));
}

}  // namespace

FreeTypeFont::FreeTypeFont(FT_Face face, std::wstring familyName, std::wstring fullName, bool bold,
                           bool italic, std::shared_ptr<const MappedFontFile> file)
    : face(face),
      familyName(std::move(familyName)),
      fullName(std::move(fullName)),
      bold(bold),
      italic(italic),
      file(std::move(file)) {}

FreeTypeFont::~FreeTypeFont() {
  FT_Done_Face(face);
}

FaceRegistry& faceRegistry() {
  return state().registry;
}

FT_Library freeTypeLibrary() {
  return state().library;
}

void closeRegisteredFaces() {
  state().registry = {};
}

std::vector<FontInformation> facesOfFile(const std::wstring& path) {
  FT_Library library = state().library;
  if (!library) return {};
  // One mapping serves every face of the file.
  const std::shared_ptr<const MappedFontFile> file = MappedFontFile::open(path);
  if (!file) return {};
  FT_Face first = openFace(library, *file, 0);
  if (!first) return {};
  const FT_Long count = first->num_faces;
  if (count < 1) {
    FT_Done_Face(first);  // nothing below would hold it
    return {};
  }
  std::vector<FontInformation> out;
  for (FT_Long i = 0; i < count; ++i) {
    FT_Face face = i == 0 ? first : openFace(library, *file, i);
    if (!face) continue;
    out.push_back(recordOf(face, path));
    registerFace(face, out.back(), file);
  }
  return out;
}

}  // namespace Halvex::Tessaran::PAL::detail

using Halvex::Tessaran::PAL::Charset;

Charset get_font_charset(FT_Face const& face) {
  if (!face || face->num_charmaps <= 0 || !face->charmaps) return Halvex::Tessaran::PAL::DEFAULT_CHARSET;
  switch (face->charmaps[0]->encoding) {
    case FT_ENCODING_BIG5:
      return Halvex::Tessaran::PAL::CHINESEBIG5_CHARSET;
    case FT_ENCODING_PRC:
      return Halvex::Tessaran::PAL::GB2312_CHARSET;
    case FT_ENCODING_JOHAB:
      return Halvex::Tessaran::PAL::JOHAB_CHARSET;
    case FT_ENCODING_SJIS:
      return Halvex::Tessaran::PAL::SHIFTJIS_CHARSET;
    case FT_ENCODING_WANSUNG:
      return Halvex::Tessaran::PAL::HANGUL_CHARSET;
    default:
      return Halvex::Tessaran::PAL::DEFAULT_CHARSET;
  }
}

std::uint32_t get_first_char_code_offset(FT_Face const& face) {
  if (!face || face->num_charmaps <= 0 || !face->charmaps ||
      face->charmaps[0]->encoding != FT_ENCODING_MS_SYMBOL)
    return 0;
  if (FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) != 0) return 0;
  FT_UInt glyph = 0;
  const FT_ULong first = FT_Get_First_Char(face, &glyph);
  return static_cast<std::uint32_t>(first) & ~std::uint32_t{0xFF};
}

FT_Vector get_text_spacing_delta(double widthFactor, FT_Face face, FT_Matrix& matrix, FT_Vector& delta) {
  FT_Vector none{0, 0};
  if (widthFactor == 1.0 || !face) return none;
  FT_Set_Transform(face, &matrix, &delta);
  FT_UInt glyph = FT_Get_Char_Index(face, U'x');
  if (glyph >= static_cast<FT_UInt>(face->num_glyphs)) glyph = 0;
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP) != 0) return none;
  const double grow = widthFactor - 1.0;
  using Halvex::Tessaran::PAL::detail::truncatedPos;
  return FT_Vector{truncatedPos(static_cast<double>(face->glyph->advance.x) * grow),
                   truncatedPos(static_cast<double>(face->glyph->advance.y) * grow)};
}
