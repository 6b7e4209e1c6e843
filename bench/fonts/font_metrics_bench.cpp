// String extents on the cached path against shaping the same string with
// HarfBuzz and against summing FreeType advances, on DejaVu Sans in the same
// run; and the coverage query once the face's ranges are cached.
#include <ft2build.h>
#include FT_ADVANCES_H
#include FT_FREETYPE_H
#include <hb.h>

#include <cstdio>
#include <string>

#include "pal/font_utils.h"
#include "ratio_reporter.h"

using namespace Halvex::Tessaran::PAL;

namespace {

const char* const kFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const std::wstring kText = L"The quick brown fox jumps over t";  // 32 characters

FontUtils::FontInformation dejaVu() {
  FontUtils::FontInformation f;
  f.faceName = L"DejaVu Sans";
  return f;
}

void BM_GetExtentsMetricsCached(benchmark::State& state) {
  const FontUtils::FontInformation font = dejaVu();
  if (FontUtils::getFontMetrics(font).faceName != font.faceName) {
    state.SkipWithError("DejaVu Sans is not installed");
    return;
  }
  float advances[32];
  FontUtils::getExtentsMetrics(font, kText, 0, 1.0, 1.0, 1000.0, advances);  // fills the glyph records
  for (auto _ : state) {
    auto r = FontUtils::getExtentsMetrics(font, kText, 0, 1.0, 1.0, 1000.0, advances);
    benchmark::DoNotOptimize(r);
    benchmark::DoNotOptimize(advances);
  }
}
BENCHMARK(BM_GetExtentsMetricsCached);

void BM_HarfBuzzShape(benchmark::State& state) {
  hb_blob_t* blob = hb_blob_create_from_file(kFile);
  hb_face_t* face = hb_face_create(blob, 0);
  hb_font_t* font = hb_font_create(face);
  hb_buffer_t* buffer = hb_buffer_create();
  const std::u32string text(kText.begin(), kText.end());
  for (auto _ : state) {
    hb_buffer_clear_contents(buffer);
    hb_buffer_add_utf32(buffer, reinterpret_cast<const std::uint32_t*>(text.data()),
                        static_cast<int>(text.size()), 0, -1);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(font, buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
    hb_position_t width = 0;
    for (unsigned i = 0; i < count; ++i) width += pos[i].x_advance;
    benchmark::DoNotOptimize(width);
  }
  hb_buffer_destroy(buffer);
  hb_font_destroy(font);
  hb_face_destroy(face);
  hb_blob_destroy(blob);
}
BENCHMARK(BM_HarfBuzzShape);

void BM_FreeTypeAdvanceLoop(benchmark::State& state) {
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) != 0) return state.SkipWithError("FreeType");
  if (FT_New_Face(library, kFile, 0, &face) != 0) {
    FT_Done_FreeType(library);
    return state.SkipWithError("DejaVu Sans is not installed");
  }
  for (auto _ : state) {
    FT_Fixed width = 0;
    for (wchar_t c : kText) {
      FT_Fixed advance = 0;
      FT_Get_Advance(face, FT_Get_Char_Index(face, static_cast<FT_ULong>(c)), FT_LOAD_NO_SCALE, &advance);
      width += advance;
    }
    benchmark::DoNotOptimize(width);
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}
BENCHMARK(BM_FreeTypeAdvanceLoop);

void BM_IsWideCharSupportedByFont(benchmark::State& state) {
  const std::wstring name = L"DejaVu Sans";
  FontUtils::isWideCharSupportedByFont(L'x', name);
  wchar_t c = 0x20;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FontUtils::isWideCharSupportedByFont(c, name));
    c = c == 0x3FF ? 0x20 : c + 1;
  }
}
BENCHMARK(BM_IsWideCharSupportedByFont);

// The same character walk without the query: what the loop itself costs.
void BM_CharacterWalk(benchmark::State& state) {
  wchar_t c = 0x20;
  for (auto _ : state) {
    benchmark::DoNotOptimize(c);
    c = c == 0x3FF ? 0x20 : c + 1;
  }
}
BENCHMARK(BM_CharacterWalk);

}  // namespace

int main(int argc, char** argv) {
  return kvpal::bench::runWithRatios(
      argc, argv,
      {
          {"getExtentsMetrics vs HarfBuzz hb_shape (goal <= 0.2)", "BM_GetExtentsMetricsCached",
           "BM_HarfBuzzShape"},
          {"getExtentsMetrics vs FreeType advances (goal <= 0.1)", "BM_GetExtentsMetricsCached",
           "BM_FreeTypeAdvanceLoop"},
          {"isWideCharSupportedByFont vs the bare walk", "BM_IsWideCharSupportedByFont", "BM_CharacterWalk"},
      });
}
