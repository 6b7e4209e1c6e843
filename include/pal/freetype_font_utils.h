// Font files read directly with FreeType: the faces of the package font
// folders and of added files, and three small FreeType helpers.
//
// Where Linux differs from what a Windows caller expects:
// - Narrow paths are text in the system code page (code page 0 of
//   unicode_convert.h) and become UTF-8 file names; the folders and added
//   files, already file-system paths, are opened by their own names.
// - A font file is read only when it is a regular file: a FIFO or device in
//   its place gives no faces instead of waiting.
// - Family and style names are the ones FreeType reports for the face (for
//   TrueType names, non-ASCII characters come out as '?').
// - The FreeType types are only declared here; include FreeType's own
//   headers to call the three global helpers.
#pragma once

#include <boost/filesystem/path.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "pal/export.h"
#include "pal/font_utils.h"
#include "pal/locale.h"

typedef struct FT_FaceRec_* FT_Face;
typedef struct FT_Matrix_ FT_Matrix;
typedef struct FT_Vector_ FT_Vector;

namespace Halvex::Tessaran::PAL::FreeTypeFontUtils {

// The faces of the package font folders' .ttf and .ttc files, then of the
// added files; built when empty and kept until addExternalFont succeeds.
// Not synchronised: call from one thread at a time.
PAL_EXPORT const std::vector<FontUtils::FontInformation>& getAllFontsInformation();
// The faces of one font file; they are kept open with every face read so
// far, the list above is left as it is.
PAL_EXPORT std::vector<FontUtils::FontInformation> getFontInformationFromFile(const std::string& file);
// False when nothing exists at the path or it was added before; on success
// every face read so far is closed and the list above emptied.
PAL_EXPORT bool addExternalFont(const boost::filesystem::path& file);

}  // namespace Halvex::Tessaran::PAL::FreeTypeFontUtils

// The character set the face's first character map stands for;
// DEFAULT_CHARSET when it has none or another encoding.
PAL_EXPORT Halvex::Tessaran::PAL::Charset get_font_charset(FT_Face const& face);
// For a symbol-encoded face: the code of its first glyph with the low 8 bits
// cleared (0xF000 for a face at U+F020-U+F0FF), after making its symbol map
// the active one. 0 for any other face.
PAL_EXPORT std::uint32_t get_first_char_code_offset(FT_Face const& face);
// The extra advance, in font units, of "x" drawn widthFactor times as wide,
// after setting the face's transform to matrix and delta. (0, 0) for a factor
// of exactly 1.0 (the transform is then left alone) or when "x" cannot be
// loaded.
PAL_EXPORT FT_Vector get_text_spacing_delta(double widthFactor, FT_Face face, FT_Matrix& matrix,
                                            FT_Vector& delta);
