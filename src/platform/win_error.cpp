// Message texts of the Windows error codes the library produces.
#include "platform/win_error.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

struct ErrorText {
  unsigned code;
  const char* text;
};

constexpr ErrorText kTexts[] = {
#define KVPAL_WIN_ERROR_TEXT(name, value, text) {value, text},
    KVPAL_WIN_ERRORS(KVPAL_WIN_ERROR_TEXT)
#undef KVPAL_WIN_ERROR_TEXT
};

}  // namespace

const char* winErrorText(unsigned code) {
  for (const auto& e : kTexts)
    if (e.code == code) return e.text;
  return nullptr;
}

}  // namespace Halvex::Tessaran::PAL::detail
