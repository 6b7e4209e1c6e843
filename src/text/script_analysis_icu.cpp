// Per-character records from ICU: bidirectional levels, grapheme, word and
// line boundaries, the White_Space property.
#include <unicode/ubidi.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <climits>

#include "text/script_analysis.h"

namespace Halvex::Tessaran::PAL::ScriptProcessor::detail {

namespace {

// Opening a break iterator loads and compiles its rules, which costs far more
// than analysing a line; each thread keeps one of each and reuses it.
class Analysers {
 public:
  Analysers() {
    UErrorCode err = U_ZERO_ERROR;
    bidi_ = ubidi_open();
    chars_ = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &err);
    words_ = ubrk_open(UBRK_WORD, "", nullptr, 0, &err);
    lines_ = ubrk_open(UBRK_LINE, "", nullptr, 0, &err);
    ok_ = U_SUCCESS(err) && bidi_;
  }
  ~Analysers() {
    ubrk_close(lines_);
    ubrk_close(words_);
    ubrk_close(chars_);
    ubidi_close(bidi_);
  }
  Analysers(const Analysers&) = delete;
  Analysers& operator=(const Analysers&) = delete;

  bool analyse(bool rightToLeft, const std::u16string& units, std::vector<BoundaryAndRTL>& records);

 private:
  UBiDi* bidi_ = nullptr;
  UBreakIterator* chars_ = nullptr;
  UBreakIterator* words_ = nullptr;
  UBreakIterator* lines_ = nullptr;
  bool ok_ = false;
};

bool Analysers::analyse(bool rightToLeft, const std::u16string& units, std::vector<BoundaryAndRTL>& records) {
  if (!ok_ || units.size() > INT32_MAX) return false;
  const UChar* text = units.data();
  const auto length = static_cast<int32_t>(units.size());
  UErrorCode err = U_ZERO_ERROR;
  ubidi_setPara(bidi_, text, length, rightToLeft ? 1 : 0, nullptr, &err);
  const UBiDiLevel* levels = ubidi_getLevels(bidi_, &err);
  ubrk_setText(chars_, text, length, &err);
  ubrk_setText(words_, text, length, &err);
  ubrk_setText(lines_, text, length, &err);
  if (U_FAILURE(err)) return false;

  records.assign(units.size(), BoundaryAndRTL{});
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U16_NEXT(text, i, length, c);
    const unsigned char space = u_hasBinaryProperty(c, UCHAR_WHITE_SPACE) ? 1 : 0;
    for (int32_t k = start; k < i; ++k) {
      // An even level above zero lies inside a right-to-left embedding.
      records[k].isRTL = levels[k] & 1;
      records[k].isLayoutRTL = levels[k] > 0 ? 1 : 0;
      records[k].isWhiteSpace = space;
    }
  }

  for (int32_t b = ubrk_first(chars_); b != UBRK_DONE && b < length; b = ubrk_next(chars_))
    records[b].isCharStop = 1;

  // A word stop opens every word and every stretch of spaces and
  // punctuation between words, not each piece of such a stretch.
  bool previousIsWord = false;
  for (int32_t start = ubrk_first(words_), end = ubrk_next(words_); end != UBRK_DONE;
       start = end, end = ubrk_next(words_)) {
    const bool isWord = ubrk_getRuleStatus(words_) >= UBRK_WORD_NONE_LIMIT;
    if (start == 0 || isWord || previousIsWord) records[start].isWordStop = 1;
    previousIsWord = isWord;
  }

  // No line starts with a break before its first character.
  for (int32_t b = ubrk_following(lines_, 0); b != UBRK_DONE && b < length; b = ubrk_next(lines_))
    records[b].isSoftBreak = 1;
  return true;
}

}  // namespace

bool analyseUnits(bool rightToLeft, const std::u16string& units, std::vector<BoundaryAndRTL>& records) {
  thread_local Analysers analysers;
  return analysers.analyse(rightToLeft, units, records);
}

}  // namespace Halvex::Tessaran::PAL::ScriptProcessor::detail
