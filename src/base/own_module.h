// The file the library's code was loaded from.
#pragma once

#include <string>

namespace Halvex::Tessaran::PAL::detail {

// Absolute; the program's own file when the library's objects are linked
// into it; empty when neither the loader nor the kernel can tell. Right
// whatever the current folder is, also when the library was found through a
// relative search-path entry.
std::string ownModuleFile();

}  // namespace Halvex::Tessaran::PAL::detail
