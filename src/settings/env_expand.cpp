// %NAME% expansion over the process environment (names and values UTF-8).
#include "settings/env_expand.h"

#include <cstdlib>

#include "base/utf8.h"

namespace Halvex::Tessaran::PAL::detail {

std::wstring expandEnvironmentReferences(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find(L'%', i);
    if (open == std::wstring_view::npos) break;
    out.append(text.substr(i, open - i));
    size_t close = text.find(L'%', open + 1);
    if (close == std::wstring_view::npos) {
      i = open;
      break;
    }
    std::wstring_view name = text.substr(open + 1, close - open - 1);
    // getenv would match "A=B" against a variable A holding "B=...".
    const bool names = !name.empty() && name.find(L'=') == std::wstring_view::npos;
    const char* value = names ? std::getenv(wideToUtf8(name).c_str()) : nullptr;
    if (value) {
      out += utf8ToWide(value);
      i = close + 1;
    } else {
      out.append(text.substr(open, close - open));
      i = close;
    }
  }
  out.append(text.substr(i));
  return out;
}

}  // namespace Halvex::Tessaran::PAL::detail
