// The library's own file, from the dynamic loader, else from the kernel.
#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/own_module.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// The kernel's list of mappings names every mapped file absolutely.
std::string mappedFileAt(std::uintptr_t address) {
  std::FILE* maps = std::fopen("/proc/self/maps", "re");
  if (!maps) return {};
  std::string file;
  char line[PATH_MAX + 128];
  while (std::fgets(line, sizeof line, maps)) {
    unsigned long start = 0, end = 0;
    int name = 0;
    if (std::sscanf(line, "%lx-%lx %*s %*s %*s %*s %n", &start, &end, &name) == 2 && address >= start &&
        address < end) {
      if (name > 0 && line[name] == '/') file.assign(line + name, std::strcspn(line + name, "\n"));
      break;
    }
  }
  std::fclose(maps);
  return file;
}

}  // namespace

std::string ownModuleFile() {
  Dl_info info{};
  link_map* map = nullptr;
  // Any function of the library identifies the module holding its code.
  void* const self = reinterpret_cast<void*>(&ownModuleFile);
  if (dladdr1(self, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) && map && map->l_name &&
      map->l_name[0] == '/')
    return map->l_name;
  // The main program has no name in the loader's list, and a library found
  // through a relative search-path entry has a relative one, which the
  // current folder may no longer resolve.
  return mappedFileAt(reinterpret_cast<std::uintptr_t>(self));
}

}  // namespace Halvex::Tessaran::PAL::detail
