// Finding modules named the Windows way in folders and among the modules the
// dynamic loader has mapped.
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "modules/module_names.h"

namespace Halvex::Tessaran::PAL::detail {

std::string findModuleInFolder(const std::string& folder, std::string_view moduleName) {
  std::string dir = folder.empty() ? "." : folder;
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  for (const std::string& name : moduleFileNames(moduleName)) {
    std::error_code ec;
    std::string candidate = dir + "/" + name;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  std::vector<std::string> versioned;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (moduleFileNameMatches(moduleName, e->d_name)) versioned.emplace_back(e->d_name);
    closedir(d);
  }
  // Directory order is arbitrary; sorting keeps the choice stable.
  std::sort(versioned.begin(), versioned.end());
  for (const std::string& name : versioned) {
    std::error_code ec;
    std::string candidate = dir + "/" + name;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

namespace {

// Matches a loaded object by its file name and its full path.
using LoadedMatch = std::function<bool(std::string_view fileName, std::string_view path)>;

struct LoadedSearch {
  LoadedMatch matches;
  std::string* path;
  bool found = false;
};

int visitLoaded(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<LoadedSearch*>(data);
  std::string_view file = info->dlpi_name ? info->dlpi_name : "";
  // The executable is listed without a name. Its file is asked for once:
  // loads look it up every time.
  if (file.empty()) {
    static const std::string executable = executableFile();
    file = executable;
    if (file.empty()) return 0;
  }
  std::string_view base(file);
  if (size_t slash = base.rfind('/'); slash != std::string_view::npos) base.remove_prefix(slash + 1);
  if (!search->matches(base, file)) return 0;
  search->found = true;
  if (search->path) *search->path = file;
  return 1;
}

bool findLoaded(LoadedMatch matches, std::string* path) {
  LoadedSearch search{std::move(matches), path};
  dl_iterate_phdr(visitLoaded, &search);
  return search.found;
}

}  // namespace

bool isModuleLoaded(std::string_view moduleName, std::string* path) {
  return findLoaded([moduleName](std::string_view file,
                                 std::string_view) { return moduleFileNameMatches(moduleName, file); },
                    path);
}

bool isFileLoaded(std::string_view fileName, std::string* path) {
  return findLoaded([fileName](std::string_view file, std::string_view) { return file == fileName; }, path);
}

bool isPathLoaded(std::string_view path) {
  return findLoaded([path](std::string_view, std::string_view loaded) { return loaded == path; }, nullptr);
}

bool loadedModuleExports(std::string_view moduleName, std::initializer_list<const char*> symbols) {
  std::string path;
  if (!isModuleLoaded(moduleName, &path)) return false;
  // RTLD_NOLOAD only takes another reference on the mapped module.
  void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!handle) return false;
  bool all = true;
  for (const char* symbol : symbols) all = all && dlsym(handle, symbol) != nullptr;
  dlclose(handle);
  return all;
}

std::string executableFile() {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

}  // namespace Halvex::Tessaran::PAL::detail
