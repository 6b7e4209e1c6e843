// System ANSI code page from LC_ALL / LC_CTYPE / LANG.
#include "text/system_code_page.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace Halvex::Tessaran::PAL::detail {

namespace {

struct LanguageCodePage {
  const char* prefix;  // language, or language_TERRITORY where that decides
  unsigned codePage;
};

// Windows' default ANSI code pages by language; the territory matters only
// for Chinese. Languages Windows serves only through Unicode, and every
// language not listed, fall back to 1252 like the C locale.
constexpr LanguageCodePage kLanguages[] = {
    {"zh_TW", 950}, {"zh_HK", 950}, {"zh_MO", 950}, {"zh", 936},
    {"ja", 932},    {"ko", 949},    {"th", 874},    {"vi", 1258},
    {"cs", 1250},   {"hu", 1250},   {"pl", 1250},   {"ro", 1250},   {"sk", 1250},
    {"sl", 1250},   {"hr", 1250},   {"bs", 1250},   {"sq", 1250},
    {"ru", 1251},   {"uk", 1251},   {"be", 1251},   {"bg", 1251},   {"mk", 1251},
    {"sr", 1251},   {"kk", 1251},   {"ky", 1251},   {"tt", 1251},   {"mn", 1251},
    {"ba", 1251},   {"sah", 1251},  {"tg", 1251},
    {"el", 1253},   {"tr", 1254},   {"az", 1254},   {"uz", 1254},
    {"he", 1255},   {"yi", 1255},
    {"ar", 1256},   {"fa", 1256},   {"ur", 1256},   {"ps", 1256},
    {"et", 1257},   {"lv", 1257},   {"lt", 1257},
};

// The first matching entry wins, so territories precede their language.
bool matches(std::string_view locale, std::string_view prefix) {
  if (locale.substr(0, prefix.size()) != prefix) return false;
  return locale.size() == prefix.size() || std::strchr("_.@", locale[prefix.size()]) != nullptr;
}

}  // namespace

unsigned ansiCodePageForLocaleName(const char* name) {
  if (name == nullptr) return 1252;
  std::string_view locale(name);
  for (const auto& entry : kLanguages)
    if (matches(locale, entry.prefix)) return entry.codePage;
  return 1252;
}

unsigned systemAnsiCodePage() {
  static const unsigned codePage = [] {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
      const char* value = std::getenv(var);
      if (value != nullptr && *value != '\0') return ansiCodePageForLocaleName(value);
    }
    return 1252u;
  }();
  return codePage;
}

}  // namespace Halvex::Tessaran::PAL::detail
