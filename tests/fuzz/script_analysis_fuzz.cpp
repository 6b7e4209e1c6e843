// Arbitrary 32-bit wide values (surrogates, values above U+10FFFF, negative
// ones) through the script analysis and the validity judgement: no crash, no
// read past the text, one record per UTF-16 unit with 0/1 flags, and never a
// stop inside a surrogate pair.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pal/script_processor.h"

using namespace Halvex::Tessaran::PAL::ScriptProcessor;

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

bool isFlag(unsigned char f) {
  return f == 0 || f == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool rightToLeft = data[0] & 1;
  std::wstring text((size - 1) / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data + 1, text.size() * sizeof(wchar_t));

  // Where each value's UTF-16 units start, counted independently.
  std::vector<bool> trailUnit;
  for (wchar_t w : text) {
    const auto c = static_cast<std::uint32_t>(w);
    trailUnit.push_back(false);
    if (c >= 0x10000 && c <= 0x10FFFF) trailUnit.push_back(true);
  }

  ScriptBoundsAndLayoutProcessor p(rightToLeft, text);
  const std::vector<BoundaryAndRTL> records = p.getScriptBoundsAndRTL();
  check(records.size() == trailUnit.size());
  check(!text.empty() || !p.isComplexScript());
  for (size_t i = 0; i < records.size(); ++i) {
    const BoundaryAndRTL& r = records[i];
    check(isFlag(r.isWhiteSpace) && isFlag(r.isCharStop) && isFlag(r.isWordStop) && isFlag(r.isSoftBreak) &&
          isFlag(r.isLayoutRTL) && isFlag(r.isRTL));
    if (trailUnit[i]) check(!r.isCharStop && !r.isWordStop && !r.isSoftBreak);
    // A character that reads right to left is placed right to left.
    check(!r.isRTL || r.isLayoutRTL);
  }
  if (!records.empty()) check(records[0].isCharStop && records[0].isWordStop && !records[0].isSoftBreak);

  // Judged by each value of the text in turn, so that every script's rules
  // meet the whole text.
  for (size_t i = 0; i < text.size() && i < 8; ++i) isValidScriptSequence(text[i], text);
  return 0;
}
