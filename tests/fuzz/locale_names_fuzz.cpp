// Locale names from outside the library: POSIX names from the environment and
// the language-country texts of getLocaleFromLocaleString.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pal/locale.h"
#include "text/nls_process.h"
#include "text/nls_table.h"

using namespace Halvex::Tessaran::PAL;
namespace detail = Halvex::Tessaran::PAL::detail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Every POSIX name lands on a locale the table knows (en-US at worst).
  if (!detail::nlsFindLocale(detail::lcidFromPosixLocaleName(bytes))) std::abort();

  std::wstring text;
  for (unsigned char c : bytes) text.push_back(c >= 0x80 ? static_cast<wchar_t>(0x100 + c) : c);
  KvLocale locale = Locale::getLocaleFromLocaleString(text.c_str());
  int lcid = KvLocaleService::getWinLCIDFromLocaleClass(locale);
  if (lcid != 0 && !detail::nlsFindLocale(static_cast<LCID>(lcid))) std::abort();
  if (locale.isValid() != (lcid != 0 && *locale.iso2LangName() != 0)) std::abort();
  KvLocale copy(locale);
  if (!(copy == locale)) std::abort();
  // With both a language and a country, the folder name is the text as the
  // query saw it (up to its first zero).
  std::wstring seen(text.c_str());
  size_t dash = seen.find(L'-');
  bool bothNames = dash != seen.npos && dash > 0 && dash + 1 < seen.size();
  if (bothNames && Locale::getResourceFolderNameFromLocale(locale) != seen) std::abort();
  Charset charset = Locale::getCharsetFromLocale(locale);
  if ((charset == static_cast<Charset>(-1)) != (lcid == 0)) std::abort();
  return 0;
}
