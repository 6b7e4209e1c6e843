// The graphics-driver loader's facade, its driver search and the check of a
// driver's declared module type.
#include "pal/gravik_plugin_loader.h"

#include <cstdlib>
#include <optional>

#include "base/utf8.h"
#include "modules/module_names.h"
#include "modules/plugin_contract.h"
#include "modules/plugins/plugin_search.h"
#include "modules/resource_directory.h"
#include "pal/module_image.h"

namespace Halvex::Tessaran::PAL {

namespace {

// The version information a driver carries: whether it has any, and its
// ModuleType text when it declares one.
struct DriverVersionInfo {
  bool present = false;
  std::optional<std::string> moduleType;
};

// A Windows driver's version resource: present when it has the fixed root
// block, the value length of its root.
DriverVersionInfo readVersionResource(const std::string& path) {
  DriverVersionInfo info;
  unsigned error = 0;
  auto module = detail::ResourceModule::open(path.c_str(), error);
  if (!module) return info;
  const detail::ResourceDirectory& directory = module->directory();
  auto resource =
      directory.find(detail::ResourceKey::number(detail::kRtVersion), detail::ResourceKey::number(1));
  if (!resource || resource->read<std::uint16_t>(2).value_or(0) == 0) return info;
  info.present = true;
  if (auto text = detail::versionString(directory, L"\\StringFileInfo\\040904b0\\ModuleType"))
    info.moduleType = detail::wideToUtf8(*text);
  return info;
}

// An ELF driver's is the note of the plug-in SDK.
DriverVersionInfo readVersionInfo(const wchar_t* path) {
  const std::string file = detail::wideToUtf8(path ? path : L"");
  DriverVersionInfo info;
  ModuleImage* image = ModuleImage::open(file.c_str());
  const bool valid = image->openError() == 0 && image->parseStatus() == ModuleImage::ValidImage;
  const ModuleImage::Format format = image->format();
  if (valid && format == ModuleImage::ElfModule) {
    if (auto note = detail::findPluginSdkNote(*image)) {
      info.present = true;
      if (!note->moduleType.empty()) info.moduleType = note->moduleType;
    }
  }
  image->close();
  if (valid && format == ModuleImage::WindowsModule) info = readVersionResource(file);
  return info;
}

// The text read as "%x" reads it: blanks, an optional sign and "0x", then
// hexadecimal digits; nothing when there are none.
std::optional<unsigned> parseHex(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  unsigned long long value = std::strtoull(begin, &end, 16);
  if (end == begin) return std::nullopt;
  return static_cast<unsigned>(value);
}

}  // namespace

GravikPluginLoader::GravikPluginLoader(GravikPluginLoaderImp* imp) : imp_(imp) {}

GravikPluginLoader::~GravikPluginLoader() {
  delete imp_;
}

GravikPluginLoader& GravikPluginLoader::instance() {
  static GravikPluginLoader loader(new Win32GravikPluginLoader());
  return loader;
}

void* GravikPluginLoader::loadPlugin(const wchar_t* name, const wchar_t* path, const wchar_t* unused) {
  return imp_->loadPlugin(name, path, unused);
}

bool GravikPluginLoader::unload(void* handle) {
  return imp_->unloadPlugin(handle);
}

void* GravikPluginLoader::getSymbol(void* handle, const char* symbol) const {
  return imp_->getPluginSymbol(handle, symbol);
}

bool GravikPluginLoader::isCompatibleGravikVersion(const wchar_t* path, bool unused, bool& flag) {
  return imp_->isCompatibleGravikVersion(path, unused, flag);
}

bool GravikPluginLoader::searchPathForPlugin(const wchar_t* fileName, const wchar_t* firstPath,
                                             const wchar_t* secondPath, std::wstring& fullPath,
                                             std::wstring& filePart) {
  Win32GravikPluginLoader imp;
  return imp.searchPathForPlugin(fileName, firstPath, secondPath, fullPath, filePart);
}

}  // namespace Halvex::Tessaran::PAL

namespace PAL = Halvex::Tessaran::PAL;

bool Win32GravikPluginLoader::isCompatibleGravikVersion(const wchar_t* path, bool, bool& flag) {
  PAL::DriverVersionInfo info = PAL::readVersionInfo(path);
  if (!info.present) return false;
  if (info.moduleType)
    if (auto value = PAL::parseHex(*info.moduleType)) flag = static_cast<int>(*value) >= 0;
  return true;
}

bool Win32GravikPluginLoader::searchPathForPlugin(const wchar_t* fileName, const wchar_t* firstPath,
                                                  const wchar_t* secondPath, std::wstring& fullPath,
                                                  std::wstring& filePart) {
  namespace detail = PAL::detail;
  const std::string file = detail::wideToUtf8(fileName ? fileName : L"");
  std::string found;
  if (firstPath && *firstPath)
    found = detail::searchFolders(detail::searchList(detail::wideToUtf8(firstPath)), file);
  if (found.empty()) {
    if (secondPath && *secondPath) {
      found = detail::searchFolders(detail::searchList(detail::wideToUtf8(secondPath)), file);
    } else if (const char* path = std::getenv("PATH")) {
      found = detail::searchFolders(detail::searchList(path), file);
    } else {
      std::string exe = detail::executableFile();
      std::size_t slash = exe.rfind('/');
      found = slash == std::string::npos ? detail::findPluginFile(file, false)
                                         : detail::searchFolders({exe.substr(0, slash)}, file);
    }
  }
  fullPath = detail::utf8ToWide(found);
  std::size_t slash = fullPath.rfind(L'/');
  filePart = slash == std::wstring::npos ? fullPath : fullPath.substr(slash + 1);
  return !found.empty();
}
