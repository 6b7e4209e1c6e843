// Module files from the loader's link map.
#include <dlfcn.h>
#include <link.h>

#include "modules/module_names.h"
#include "modules/resources/module_files.h"

namespace Halvex::Tessaran::PAL::detail {

std::string fileOfLoadedModule(void* handle) {
  // glibc's handles are the modules' link map entries. The handle is looked
  // for in the list before it is read: dlinfo would read whatever a stale or
  // foreign pointer points at.
  void* self = dlopen(nullptr, RTLD_NOW);
  link_map* map = nullptr;
  if (!self || dlinfo(self, RTLD_DI_LINKMAP, &map) != 0) map = nullptr;
  dlclose(self);
  while (map && map->l_prev) map = map->l_prev;
  for (; map; map = map->l_next) {
    if (map != handle) continue;
    // The main program's entry has an empty name.
    if (!map->l_name || !*map->l_name) return executableFile();
    return map->l_name;
  }
  return {};
}

}  // namespace Halvex::Tessaran::PAL::detail
