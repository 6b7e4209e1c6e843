// Opening graphics drivers with dlopen, with the retry that first opens the
// libraries the driver needs from its own folder.
#include <dlfcn.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "modules/image_parser.h"
#include "pal/gravik_plugin_loader.h"
#include "pal/module_image.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

std::vector<std::string> neededLibraries(const std::string& file) {
  std::vector<std::string> names;
  ModuleImage* image = ModuleImage::open(file.c_str());
  if (image->openError() == 0 && image->parseStatus() == ModuleImage::ValidImage)
    for (const ImportedModule& module : ModuleImageAccess::parser(*image).imports(0))
      names.push_back(module.name);
  image->close();
  return names;
}

// Dependencies before the libraries that need them, each folder file once.
// The loader matches a later DT_NEEDED name against the SONAME of a library
// it already holds.
void openFolderLibraries(const std::string& file, const std::string& folder, std::set<std::string>& seen,
                         std::vector<void*>& handles) {
  for (const std::string& name : neededLibraries(file)) {
    if (name.find('/') != std::string::npos) continue;
    std::string candidate = folder + "/" + name;
    std::error_code ec;
    if (!seen.insert(candidate).second || !std::filesystem::is_regular_file(candidate, ec)) continue;
    openFolderLibraries(candidate, folder, seen, handles);
    if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) handles.push_back(handle);
  }
}

}  // namespace

void* openDriverFromItsFolder(const std::string& folder, const std::string& fileName) {
  const std::string driver = folder + "/" + fileName;
  std::set<std::string> seen;
  std::vector<void*> libraries;
  openFolderLibraries(driver, folder, seen, libraries);
  void* handle = dlopen(driver.c_str(), RTLD_NOW | RTLD_LOCAL);
  // A loaded driver holds its libraries itself.
  for (auto it = libraries.rbegin(); it != libraries.rend(); ++it) dlclose(*it);
  return handle;
}

}  // namespace Halvex::Tessaran::PAL::detail

namespace PAL = Halvex::Tessaran::PAL;

void* Win32GravikPluginLoader::loadPlugin(const wchar_t* name, const wchar_t* path, const wchar_t*) {
  const std::string file = PAL::detail::wideToUtf8(path ? path : L"");
  if (file.empty()) return nullptr;
  if (void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  std::size_t slash = file.rfind('/');
  if (slash == std::string::npos || slash == 0 || !name || !*name) return nullptr;
  std::string driver = PAL::detail::wideToUtf8(name);
  if (std::size_t nameSlash = driver.rfind('/'); nameSlash != std::string::npos)
    driver.erase(0, nameSlash + 1);
  return PAL::detail::openDriverFromItsFolder(file.substr(0, slash), driver);
}

bool Win32GravikPluginLoader::unloadPlugin(void* handle) {
  return handle && dlclose(handle) == 0;
}

void* Win32GravikPluginLoader::getPluginSymbol(void* handle, const char* symbol) const {
  // A null handle would make dlsym search the whole process.
  return handle && symbol ? dlsym(handle, symbol) : nullptr;
}
