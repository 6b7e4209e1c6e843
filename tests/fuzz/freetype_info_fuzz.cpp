// Fuzzes the faces FreeType opens from a font file and the three helpers over
// each of them. The bytes go through a file because the faces are read by
// path, as callers name them.
#include <ft2build.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include FT_FREETYPE_H

#include "fonts/freetype_info.h"
#include "pal/freetype_font_utils.h"

using namespace Halvex::Tessaran::PAL;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/kvpal-freetype-fuzz-" + std::to_string(::getpid()) + ".ttf";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  const bool written = std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) return 0;
  FreeTypeFontUtils::getFontInformationFromFile(path);
  for (const auto& font : detail::faceRegistry().faces) {
    get_font_charset(font->face);
    FT_Matrix matrix{0x10000, 0x2000, 0, 0x10000};
    FT_Vector delta{0, 0};
    get_text_spacing_delta(1.25, font->face, matrix, delta);
    get_first_char_code_offset(font->face);
  }
  // Kept open, every input's faces would pile up.
  detail::closeRegisteredFaces();
  std::remove(path.c_str());
  return 0;
}
