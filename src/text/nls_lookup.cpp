// Lookups in the generated national-language table.
#include <algorithm>
#include <cstring>

#include "text/nls_table.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

wchar_t asciiLower(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c;
}

// Orders a wide name against a lower-case table name, ignoring ASCII case.
int compareName(std::wstring_view name, const char* tableName) {
  size_t len = std::strlen(tableName);
  for (size_t i = 0; i < name.size() && i < len; ++i) {
    wchar_t a = asciiLower(name[i]);
    wchar_t b = static_cast<unsigned char>(tableName[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  if (name.size() == len) return 0;
  return name.size() < len ? -1 : 1;
}

}  // namespace

const NlsLocale* nlsFindLocale(LCID lcid) {
  auto table = nlsLocales();
  auto it = std::lower_bound(table.begin(), table.end(), lcid,
                             [](const NlsLocale& l, LCID v) { return l.lcid < v; });
  return (it != table.end() && it->lcid == lcid) ? &*it : nullptr;
}

LCID nlsLcidFromName(std::wstring_view name) {
  auto table = nlsNames();
  auto it = std::lower_bound(table.begin(), table.end(), name, [](const NlsName& n, std::wstring_view v) {
    return compareName(v, n.name) > 0;
  });
  return (it != table.end() && compareName(name, it->name) == 0) ? it->lcid : 0;
}

}  // namespace Halvex::Tessaran::PAL::detail
