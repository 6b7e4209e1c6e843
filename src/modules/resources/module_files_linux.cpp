// Module files from the loader's link map.
#include <dlfcn.h>
#include <link.h>

#include "modules/module_names.h"
#include "modules/resources/module_files.h"

namespace Halvex::Tessaran::PAL::detail {

std::string fileOfLoadedModule(void* handle) {
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return {};
  // The main program's entry has an empty name.
  if (!map->l_name || !*map->l_name) return executableFile();
  return map->l_name;
}

}  // namespace Halvex::Tessaran::PAL::detail
