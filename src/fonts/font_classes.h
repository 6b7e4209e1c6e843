// What a face's OS/2 table says in the vocabulary of the font records: the
// generic family and the character set.
#pragma once

#include <array>
#include <cstdint>

#include "fonts/sfnt_names.h"
#include "pal/font_utils.h"
#include "pal/locale.h"

namespace Halvex::Tessaran::PAL::detail {

struct CharsetCodePageBit {
  Charset charset;
  int bit;  // bit n is bit n % 32 of code-page word n / 32
};

// The character sets fonts claim through their code-page bits, in the order
// they are searched.
inline constexpr std::array<CharsetCodePageBit, 15> kCharsetCodePageBits = {{
    {ANSI_CHARSET, 0},
    {GB2312_CHARSET, 18},
    {JOHAB_CHARSET, 21},
    {HANGUL_CHARSET, 19},
    {CHINESEBIG5_CHARSET, 20},
    {SHIFTJIS_CHARSET, 17},
    {HEBREW_CHARSET, 5},
    {ARABIC_CHARSET, 6},
    {GREEK_CHARSET, 3},
    {TURKISH_CHARSET, 4},
    {VIETNAMESE_CHARSET, 8},
    {THAI_CHARSET, 16},
    {EASTEUROPE_CHARSET, 1},
    {RUSSIAN_CHARSET, 2},
    {BALTIC_CHARSET, 7},
}};

// The first character set of the table whose bit is set; DEFAULT_CHARSET
// when none is.
Charset charsetFromCodePages(const std::uint32_t codePages[2]);

// PANOSE where it classifies the face (Latin text: monospaced is Modern,
// sans-serif styles Swiss, other serif styles Roman; hand-written Script;
// decorative and pictorial Decorative), else the IBM family class, else
// DontCare.
FontUtils::FontFamily familyFromOs2(const Os2Info& os2);

}  // namespace Halvex::Tessaran::PAL::detail
