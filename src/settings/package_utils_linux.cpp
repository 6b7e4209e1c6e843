// The library's own module file, from the dynamic loader.
#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>

#include "settings/package_utils.h"

namespace Halvex::Tessaran::PAL::detail {

boost::filesystem::path ownModuleFile() {
  Dl_info info{};
  link_map* map = nullptr;
  // Any function of the library identifies the module holding its code.
  if (!dladdr1(reinterpret_cast<void*>(&ownModuleFile), &info, reinterpret_cast<void**>(&map),
               RTLD_DL_LINKMAP) ||
      !map)
    return {};
  boost::filesystem::path file;
  if (map->l_name && *map->l_name) {
    file = map->l_name;
  } else {
    // The main program has no name in the loader's list.
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return {};
    file = std::string(buf, static_cast<size_t>(n));
  }
  if (file.is_absolute()) return file;
  boost::system::error_code ec;
  const boost::filesystem::path cwd = boost::filesystem::current_path(ec);
  if (ec) return {};
  // The folder as the loader reached it from the current one ("./lib" or
  // "../lib"), without the "." and ".." steps.
  const boost::filesystem::path full = cwd / file;
  const boost::filesystem::path folder = boost::filesystem::canonical(full.parent_path(), ec);
  return ec ? full : folder / full.filename();
}

}  // namespace Halvex::Tessaran::PAL::detail
