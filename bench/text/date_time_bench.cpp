// Date pictures formatted in the user's locale against a pre-opened ICU
// date formatter on the same dates in the same run.
#include <unicode/udat.h>

#include <string>
#include <vector>

#include "pal/date_time.h"
#include "ratio_reporter.h"
#include "text/date_time_internal.h"

using namespace Halvex::Tessaran::PAL;
namespace detail = Halvex::Tessaran::PAL::detail;

namespace {

struct Picture {
  const char* name;
  const wchar_t* windows;
  const char16_t* icu;  // the same picture as an ICU pattern
};

const Picture kPictures[] = {
    {"numeric", L"dd.MM.yyyy", u"dd.MM.yyyy"},
    {"names", L"dddd, d. MMMM yyyy", u"EEEE, d. MMMM yyyy"},
};

tm sampleDate() {
  tm t{};
  t.tm_year = 126;
  t.tm_mon = 11;
  t.tm_mday = 11;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<kvpal::bench::Ratio> ratios;
  const std::string& locale = detail::userTimeLocale().icuLocale;
  std::vector<UDateFormat*> formats;
  for (const Picture& p : kPictures) {
    std::string ours = std::string("getFormattedDateString/") + p.name;
    std::string icu = std::string("udat_format/") + p.name;
    benchmark::RegisterBenchmark(ours.c_str(), [p](benchmark::State& state) {
      tm date = sampleDate();
      for (auto _ : state) {
        std::wstring text = DateTime::getFormattedDateString(date, p.windows);
        benchmark::DoNotOptimize(text.data());
      }
    });
    UErrorCode status = U_ZERO_ERROR;
    UDateFormat* format =
        udat_open(UDAT_PATTERN, UDAT_PATTERN, locale.c_str(), u"UTC", -1, p.icu, -1, &status);
    formats.push_back(format);
    // 2026-12-11 00:00 UTC.
    benchmark::RegisterBenchmark(icu.c_str(), [format](benchmark::State& state) {
      UChar buffer[256];
      for (auto _ : state) {
        UErrorCode err = U_ZERO_ERROR;
        benchmark::DoNotOptimize(udat_format(format, 1796947200000.0, buffer, 256, nullptr, &err));
      }
    });
    ratios.push_back({std::string("getFormattedDateString ") + p.name, ours, icu});
  }
  int result = kvpal::bench::runWithRatios(argc, argv, ratios);
  for (UDateFormat* f : formats) udat_close(f);
  return result;
}
