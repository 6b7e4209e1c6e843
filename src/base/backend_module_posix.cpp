// Finding and opening backend modules with the dynamic loader.
#include <dlfcn.h>
#include <limits.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/backend_module.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// The file holding this code. The loader keeps the name it found the
// library by, relative when a search-path entry was ("LD_LIBRARY_PATH=.")
// and wrong once the process changes folder; the kernel's list of mappings
// has the absolute name.
std::string ownFile() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&openModuleBesideLibrary), &info) || !info.dli_fname) return {};
  if (info.dli_fname[0] == '/') return info.dli_fname;
  const auto here = reinterpret_cast<std::uintptr_t>(&openModuleBesideLibrary);
  std::FILE* maps = std::fopen("/proc/self/maps", "re");
  if (!maps) return {};
  std::string file;
  char line[PATH_MAX + 128];
  while (std::fgets(line, sizeof line, maps)) {
    unsigned long start = 0, end = 0;
    int name = 0;
    if (std::sscanf(line, "%lx-%lx %*s %*s %*s %*s %n", &start, &end, &name) == 2 && here >= start &&
        here < end && name > 0 && line[name] == '/') {
      file.assign(line + name, std::strcspn(line + name, "\n"));
      break;
    }
  }
  std::fclose(maps);
  return file;
}

}  // namespace

void* openModuleBesideLibrary(const char* file, int dlopenFlags) {
  const std::string self = ownFile();
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
