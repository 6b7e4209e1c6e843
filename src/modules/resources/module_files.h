// Which file a module handle of the system's loader came from.
#pragma once

#include <string>

namespace Halvex::Tessaran::PAL::detail {

// The file of a module opened with dlopen (of the executable for the main
// program's handle), or "" when the loader does not know the handle.
std::string fileOfLoadedModule(void* handle);

}  // namespace Halvex::Tessaran::PAL::detail
