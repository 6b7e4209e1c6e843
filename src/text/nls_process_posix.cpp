// Process default locales from the POSIX locale environment.
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "text/nls_process.h"
#include "text/nls_table.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr LCID kEnUs = 0x0409;

LCID lookup(const std::string& name) {
  return nlsLcidFromName(std::wstring(name.begin(), name.end()));
}

// glibc's default script where Windows has a locale per script and the
// lowest LCID is not the one glibc means.
std::string_view defaultScript(std::string_view language) {
  return language == "sr" ? "Cyrl" : "";
}

std::string_view scriptOfModifier(std::string_view modifier) {
  if (modifier == "latin") return "Latn";
  if (modifier == "cyrillic") return "Cyrl";
  if (modifier == "devanagari") return "Deva";
  return "";
}

// The locale of the language and country under any script, lowest LCID first.
LCID lookupIsoPair(const std::string& language, const std::string& country) {
  for (const NlsLocale& l : nlsLocales())
    if (language == l.language && country == l.country && (l.lcid >> 16) == 0) return l.lcid;
  return 0;
}

LCID fromEnvironment(std::initializer_list<const char*> variables) {
  for (const char* v : variables) {
    const char* value = std::getenv(v);
    if (value && *value) return lcidFromPosixLocaleName(value);
  }
  return kEnUs;
}

}  // namespace

LCID lcidFromPosixLocaleName(std::string_view name) {
  std::string_view modifier;
  if (size_t at = name.find('@'); at != name.npos) {
    modifier = name.substr(at + 1);
    name = name.substr(0, at);
  }
  name = name.substr(0, name.find('.'));
  std::string language(name.substr(0, name.find('_')));
  std::string country(name.find('_') == name.npos ? "" : name.substr(name.find('_') + 1));
  // An underscore in the territory would reach Windows' alternate sorts.
  if (language.empty() || language == "C" || language == "POSIX" || country.find('_') != country.npos)
    return kEnUs;

  if (!country.empty()) {
    std::vector<std::string> candidates;
    if (std::string_view script = scriptOfModifier(modifier); !script.empty())
      candidates.push_back(language + "-" + std::string(script) + "-" + country);
    else if (!modifier.empty())
      candidates.push_back(language + "-" + country + "-" + std::string(modifier));
    candidates.push_back(language + "-" + country);
    if (std::string_view script = defaultScript(language); !script.empty())
      candidates.push_back(language + "-" + std::string(script) + "-" + country);
    for (const std::string& c : candidates)
      if (LCID lcid = lookup(c)) return lcid;
    if (LCID lcid = lookupIsoPair(language, country)) return lcid;
  }
  if (LCID lcid = lookup(language)) return lcid;
  return kEnUs;
}

LCID systemDefaultLcid() {
  static const LCID lcid = fromEnvironment({"LC_ALL", "LC_CTYPE", "LANG"});
  return lcid;
}

LCID userDefaultLcid() {
  static const LCID lcid = fromEnvironment({"LC_ALL", "LC_NUMERIC", "LANG"});
  return lcid;
}

}  // namespace Halvex::Tessaran::PAL::detail
