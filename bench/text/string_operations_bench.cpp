// Collation and language-sensitive upper-casing against the ICU calls they
// wrap, pre-opened, on the same short words in the same run.
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <string>
#include <vector>

#include "base/utf16.h"
#include "pal/string_operations.h"
#include "ratio_reporter.h"

using namespace Halvex::Tessaran::PAL;
namespace detail = Halvex::Tessaran::PAL::detail;

namespace {

const wchar_t* const kWords[] = {L"apple", L"Apfel",       L"\u00E4rger", L"zebra",  L"co-op",
                                 L"coop",  L"stra\u00DFe", L"istanbul",   L"Zimmer", L"\u00F6l"};
constexpr size_t kWordCount = std::size(kWords);

}  // namespace

int main(int argc, char** argv) {
  static std::vector<std::u16string> utf16;
  for (const wchar_t* w : kWords) utf16.push_back(detail::wideToUtf16(w));

  benchmark::RegisterBenchmark("compareString/de-DE", [](benchmark::State& state) {
    KvLocale locale(L"de", L"DE");
    size_t i = 0;
    for (auto _ : state) {
      benchmark::DoNotOptimize(
          String::compareString(locale, kWords[i % kWordCount], kWords[(i + 3) % kWordCount], 0));
      ++i;
    }
  });
  benchmark::RegisterBenchmark("ucol_strcoll/de-DE", [](benchmark::State& state) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open("de_DE", &status);
    ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_SHIFTED, &status);
    ucol_setAttribute(c, UCOL_STRENGTH, UCOL_QUATERNARY, &status);
    size_t i = 0;
    for (auto _ : state) {
      const std::u16string& a = utf16[i % kWordCount];
      const std::u16string& b = utf16[(i + 3) % kWordCount];
      benchmark::DoNotOptimize(ucol_strcoll(c, a.data(), static_cast<int32_t>(a.size()), b.data(),
                                            static_cast<int32_t>(b.size())));
      ++i;
    }
    ucol_close(c);
  });
  benchmark::RegisterBenchmark("toUpperLanguageSensitive/tr-TR", [](benchmark::State& state) {
    KvLocale locale(L"tr", L"TR");
    size_t i = 0;
    for (auto _ : state) {
      std::wstring upper = String::toUpperLanguageSensitive(locale, kWords[i++ % kWordCount]);
      benchmark::DoNotOptimize(upper.data());
    }
  });
  benchmark::RegisterBenchmark("u_strToUpper/tr-TR", [](benchmark::State& state) {
    UChar buffer[64];
    size_t i = 0;
    for (auto _ : state) {
      const std::u16string& w = utf16[i++ % kWordCount];
      UErrorCode status = U_ZERO_ERROR;
      benchmark::DoNotOptimize(
          u_strToUpper(buffer, 64, w.data(), static_cast<int32_t>(w.size()), "tr_TR", &status));
    }
  });
  return kvpal::bench::runWithRatios(
      argc, argv,
      {{"compareString short words", "compareString/de-DE", "ucol_strcoll/de-DE"},
       {"toUpperLanguageSensitive short words", "toUpperLanguageSensitive/tr-TR", "u_strToUpper/tr-TR"}});
}
