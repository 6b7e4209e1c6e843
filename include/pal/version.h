// The library's version string ("major.minor.patch").
#pragma once

#include "pal/export.h"

namespace Halvex::Tessaran::PAL {

PAL_EXPORT const char* libraryVersion();

}  // namespace Halvex::Tessaran::PAL
