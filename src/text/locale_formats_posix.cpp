// The user's number-format settings read from the C library's locales with
// newlocale and nl_langinfo_l; the process's own locale is left alone.
#include <langinfo.h>
#include <locale.h>
#include <unicode/ucnv.h>

#include <cstdlib>
#include <memory>

#include "base/utf16.h"
#include "text/locale_formats.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

struct Category {
  const char* variable;
  int mask;
};

Category categoryOf(UserSetting setting) {
  switch (setting) {
    case UserSetting::Currency:
      return {"LC_MONETARY", LC_MONETARY_MASK};
    case UserSetting::Measure:
      return {"LC_MEASUREMENT", LC_MEASUREMENT_MASK};
    default:
      return {"LC_NUMERIC", LC_NUMERIC_MASK};
  }
}

struct LocaleDeleter {
  void operator()(locale_t l) const { freelocale(l); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

// The category's locale with LC_CTYPE beside it, so that its codeset is
// known.
LocalePtr openCategory(const Category& category) {
  std::string name;
  for (const char* variable : {"LC_ALL", category.variable, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) {
      name = value;
      break;
    }
  }
  if (name.empty() || name == "C" || name == "POSIX" || name.starts_with("C.")) name = "en_US.UTF-8";
  return LocalePtr(newlocale(category.mask | LC_CTYPE_MASK, name.c_str(), nullptr));
}

std::optional<std::wstring> decode(const char* text, locale_t locale) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(
      ucnv_open(nl_langinfo_l(CODESET, locale), &status), &ucnv_close);
  if (U_FAILURE(status)) return std::nullopt;
  std::string_view bytes(text);
  std::u16string units(bytes.size() * 2 + 1, u'\0');
  int32_t length = ucnv_toUChars(converter.get(), units.data(), static_cast<int32_t>(units.size()),
                                 bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  units.resize(length);
  return utf16ToWide(units);
}

}  // namespace

std::optional<std::wstring> readUserSetting(UserSetting setting) {
  LocalePtr locale = openCategory(categoryOf(setting));
  if (!locale) return std::nullopt;
  switch (setting) {
    case UserSetting::Decimal:
      return decode(nl_langinfo_l(RADIXCHAR, locale.get()), locale.get());
    case UserSetting::Thousands:
      return decode(nl_langinfo_l(THOUSEP, locale.get()), locale.get());
    case UserSetting::Grouping:
      return windowsGrouping(nl_langinfo_l(GROUPING, locale.get()));
    case UserSetting::Currency:
      return decode(nl_langinfo_l(CURRENCY_SYMBOL, locale.get()), locale.get());
    case UserSetting::Measure:
      // The C library counts 1 metric and 2 US; Windows 0 and 1.
      return *nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, locale.get()) == 2 ? L"1" : L"0";
  }
  return std::nullopt;
}

}  // namespace Halvex::Tessaran::PAL::detail
