// The process's default locales as Windows reports them (GetSystemDefaultLCID,
// GetUserDefaultLCID, GetACP), taken on Linux from the POSIX locale
// environment. Each is read once, on first use.
#pragma once

#include <string_view>

#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::detail {

// LC_ALL, else LC_CTYPE, else LANG.
LCID systemDefaultLcid();
// LC_ALL, else LC_NUMERIC, else LANG.
LCID userDefaultLcid();

// The LCID of a POSIX locale name (language[_territory][.codeset][@modifier]);
// C, POSIX, empty and unknown names give en-US.
LCID lcidFromPosixLocaleName(std::string_view name);

}  // namespace Halvex::Tessaran::PAL::detail
