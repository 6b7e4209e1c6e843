// The assertion log's file name.
#include "diagnostics/assert_log.h"

namespace Halvex::Tessaran::PAL::detail {

std::wstring assertLogFileName(const std::wstring& executable) {
  constexpr size_t kBuffer = 260;
  std::wstring name = executable.empty() ? L"assert.xxx" : executable.substr(0, kBuffer - 1);
  size_t cut = name.size();
  // Backwards from the end down to the third character, stopping at the
  // last folder separator.
  for (size_t i = name.size(); i-- > 2;) {
    if (name[i] == L'/') break;
    if (name[i] == L'.') {
      cut = i;
      break;
    }
  }
  if (cut + 5 > kBuffer) cut = kBuffer - 5;
  return name.substr(0, cut) + L".err";
}

}  // namespace Halvex::Tessaran::PAL::detail
