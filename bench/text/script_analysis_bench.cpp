// Script analysis of a mixed Latin, Arabic and Hebrew paragraph and of a
// short Latin string, against the same ICU work on pre-opened objects in the
// same run.
#include <unicode/ubidi.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <string>
#include <vector>

#include "pal/script_processor.h"
#include "ratio_reporter.h"

using namespace Halvex::Tessaran::PAL::ScriptProcessor;

namespace {

const wchar_t kMixed[] =
    L"Layer \u0637\u0628\u0642\u0629 \u05E9\u05DB\u05D1\u05D4 (draft), "
    L"\u0627\u0644\u0646\u0635 \u05D4\u05D8\u05E7\u05E1\u05D8 text 42; ";
const wchar_t kLatin[] = L"Dimension style A-1 ";

std::wstring repeated(const wchar_t* pattern, size_t units) {
  std::wstring s;
  while (s.size() < units) s += pattern;
  s.resize(units);
  return s;
}

// The same records from raw ICU calls on objects opened once.
class RawIcu {
 public:
  RawIcu() {
    UErrorCode err = U_ZERO_ERROR;
    bidi_ = ubidi_open();
    chars_ = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &err);
    words_ = ubrk_open(UBRK_WORD, "", nullptr, 0, &err);
    lines_ = ubrk_open(UBRK_LINE, "", nullptr, 0, &err);
  }
  ~RawIcu() {
    ubrk_close(lines_);
    ubrk_close(words_);
    ubrk_close(chars_);
    ubidi_close(bidi_);
  }

  void analyse(const std::u16string& text, std::vector<BoundaryAndRTL>& records) {
    const auto n = static_cast<int32_t>(text.size());
    UErrorCode err = U_ZERO_ERROR;
    ubidi_setPara(bidi_, text.data(), n, 0, nullptr, &err);
    const UBiDiLevel* levels = ubidi_getLevels(bidi_, &err);
    records.assign(text.size(), BoundaryAndRTL{});
    for (int32_t i = 0; i < n;) {
      int32_t start = i;
      UChar32 c;
      U16_NEXT(text.data(), i, n, c);
      records[start].isWhiteSpace = u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
      records[start].isRTL = levels[start] & 1;
    }
    ubrk_setText(chars_, text.data(), n, &err);
    for (int32_t b = ubrk_first(chars_); b != UBRK_DONE && b < n; b = ubrk_next(chars_))
      records[b].isCharStop = 1;
    ubrk_setText(words_, text.data(), n, &err);
    bool previousIsWord = false;
    for (int32_t start = ubrk_first(words_), end = ubrk_next(words_); end != UBRK_DONE;
         start = end, end = ubrk_next(words_)) {
      const bool isWord = ubrk_getRuleStatus(words_) >= UBRK_WORD_NONE_LIMIT;
      records[start].isWordStop = start == 0 || isWord || previousIsWord;
      previousIsWord = isWord;
    }
    ubrk_setText(lines_, text.data(), n, &err);
    for (int32_t b = ubrk_following(lines_, 0); b != UBRK_DONE && b < n; b = ubrk_next(lines_))
      records[b].isSoftBreak = 1;
  }

 private:
  UBiDi* bidi_;
  UBreakIterator* chars_;
  UBreakIterator* words_;
  UBreakIterator* lines_;
};

std::u16string toUtf16(const std::wstring& w) {
  std::u16string s;
  for (wchar_t c : w) s.push_back(static_cast<char16_t>(c));  // the inputs are BMP only
  return s;
}

void addPair(const char* name, const std::wstring& text) {
  benchmark::RegisterBenchmark((std::string("ours/") + name).c_str(), [text](benchmark::State& state) {
    for (auto _ : state) {
      ScriptBoundsAndLayoutProcessor p(false, text);
      benchmark::DoNotOptimize(p);
    }
  });
  benchmark::RegisterBenchmark((std::string("icu/") + name).c_str(), [text](benchmark::State& state) {
    RawIcu icu;
    const std::u16string units = toUtf16(text);
    std::vector<BoundaryAndRTL> records;
    for (auto _ : state) {
      icu.analyse(units, records);
      benchmark::DoNotOptimize(records.data());
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  addPair("mixed_paragraph_1000", repeated(kMixed, 1000));
  addPair("latin_20", repeated(kLatin, 20));
  return kvpal::bench::runWithRatios(
      argc, argv,
      {{"1000-unit Latin/Arabic/Hebrew paragraph", "ours/mixed_paragraph_1000", "icu/mixed_paragraph_1000"},
       {"20-unit Latin string", "ours/latin_20", "icu/latin_20"}});
}
