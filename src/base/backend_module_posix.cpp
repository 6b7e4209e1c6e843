// Finding and opening backend modules with the dynamic loader.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "base/backend_module.h"
#include "base/own_module.h"

namespace Halvex::Tessaran::PAL::detail {

void* openModuleBesideLibrary(const char* file, int dlopenFlags) {
  const std::string self = ownModuleFile();
  const auto slash = self.rfind('/');
  if (slash != std::string::npos)
    if (void* handle = dlopen((self.substr(0, slash + 1) + file).c_str(), dlopenFlags)) return handle;
  return dlopen(file, dlopenFlags);
}

const void* loadBackendTable(const char* file, const char* entry, unsigned version) {
  void* handle = openModuleBesideLibrary(file, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "KvPal: the backend module %s could not be loaded: %s\n", file, dlerror());
    return nullptr;
  }
  using Entry = const void* (*)(unsigned);
  const auto get = reinterpret_cast<Entry>(dlsym(handle, entry));
  const void* table = get ? get(version) : nullptr;
  if (!table) std::fprintf(stderr, "KvPal: %s is not the backend module this library was built with\n", file);
  return table;
}

}  // namespace Halvex::Tessaran::PAL::detail
