// Fuzzes the faces FreeType opens from a font file, the three helpers over
// each of them, and the metrics, glyph boxes and coverage a selected face
// reports. The bytes go through a file because the faces are read by path,
// as callers name them.
#include <ft2build.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include FT_FREETYPE_H

#include "fonts/font_metrics.h"
#include "fonts/freetype_info.h"
#include "pal/freetype_font_utils.h"

using namespace Halvex::Tessaran::PAL;

namespace {

// What the metrics and coverage queries ask of a selected face.
void measure(const std::wstring& file, int index) {
  detail::LogicalFont request;
  request.faceName = L"Fuzz";
  request.height = 1000;
  request.weight = 700;
  const auto cell = detail::SelectedFont::open({file, index}, request);
  if (!cell) return;
  cell->textMetrics();
  std::unique_ptr<detail::SelectedFont> em;
  if (const auto outline = cell->outlineMetrics()) em = cell->withHeight(-outline->emSquare);
  const detail::SelectedFont& font = em ? *em : *cell;
  // Latin, a gap, a surrogate, the symbol area, CJK, the last unit.
  static constexpr char16_t kUnits[] = {0x41, 0x20, 0x78, 0xD8, 0xD83D, 0xF041, 0x4E00, 0xFFFF};
  for (char16_t unit : kUnits) {
    font.glyph(unit);
    font.hasChar(unit);
  }
  cell->unicodeRanges();
  cell->signature();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/kvpal-freetype-fuzz-" + std::to_string(::getpid()) + ".ttf";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  const bool written = std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !written) return 0;
  // A broken face among the first three is skipped, not measured.
  if (!FreeTypeFontUtils::getFontInformationFromFile(path).empty())
    for (int i = 0; i < 3; ++i) measure(std::wstring(path.begin(), path.end()), i);
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
