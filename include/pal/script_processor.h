// Script analysis: cursor, word and line-break positions, white space and
// reading direction per character, whether a text needs complex shaping, and
// whether a text is a valid sequence for scripts that reject invalid ones.
//
// Differences on Linux from what a Windows caller expects:
// - The analysis is ICU's: the Unicode bidirectional algorithm for the
//   direction, extended grapheme clusters for cursor stops, word and line
//   break rules for word stops and soft breaks, the White_Space property.
//   Breaks are found over the whole text, not run by run, so a cursor stop
//   between two runs appears only where a grapheme boundary lies.
// - Wide text is UTF-32; the records are still one per UTF-16 unit. A
//   character above U+FFFF gives two records (the second is never a stop)
//   and counts as its two surrogate units for complexity. A lone surrogate value
//   or a value above U+10FFFF gives one record, analysed as U+FFFD; the lone
//   surrogate still counts as the surrogate unit it is for complexity.
// - isLayoutRTL is 1 for a run whose level is odd and for an even-level run
//   inside a right-to-left embedding (numbers in Arabic text): such a run is
//   placed among its right-to-left neighbours while it reads left to right.
// - Sequence validity follows the WTT 2.0 input-sequence rules for Thai and
//   Lao and the Indic_Syllabic_Category of each character for the Indic
//   scripts, Khmer, Myanmar and Tibetan: a combining vowel, tone mark,
//   virama or nukta with nothing before it in its script that it can attach
//   to is invalid.
#pragma once

#include <string>
#include <vector>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::ScriptProcessor {

// Each field is 0 or 1.
struct BoundaryAndRTL {
  unsigned char isWhiteSpace;  // the character is white space
  unsigned char isCharStop;    // a valid cursor position lies before it
  unsigned char isWordStop;    // a word starts at it
  unsigned char isSoftBreak;   // a line may break before it
  unsigned char isLayoutRTL;   // its run is laid out right to left
  unsigned char isRTL;         // its run reads right to left
};

// Analyses a text once; a failed analysis leaves no records, not complex.
class PAL_EXPORT ScriptBoundsAndLayoutProcessor {
 public:
  ScriptBoundsAndLayoutProcessor(bool rightToLeft, const std::wstring& text);

  // One record per UTF-16 unit of the text, in text order.
  std::vector<BoundaryAndRTL> getScriptBoundsAndRTL() const;
  bool isComplexScript() const;

 private:
  std::vector<BoundaryAndRTL> records_;
  bool complex_ = false;
};

// False when `ch` belongs to a script that rejects invalid sequences and
// `text` holds a character of such a script that cannot stand where it is;
// true otherwise, and whenever the text cannot be judged.
PAL_EXPORT bool isValidScriptSequence(wchar_t ch, const std::wstring& text);

}  // namespace Halvex::Tessaran::PAL::ScriptProcessor
