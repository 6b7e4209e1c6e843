// The graphics system's own plug-in loader, a process-wide singleton: loads
// a driver whose libraries lie beside it, searches for driver files along
// given or default paths, and reads a driver's declared module type.
//
// Differences from Windows:
// - Drivers are ELF shared objects opened with dlopen (RTLD_NOW |
//   RTLD_LOCAL); handles are dlopen handles.
// - The retry of loadPlugin: the dynamic loader reads LD_LIBRARY_PATH once at
//   start-up, so narrowing a search path at run time would change nothing.
//   Instead the libraries the driver names (DT_NEEDED, recursively) that lie
//   in the driver's folder are opened there by full path first, so that the
//   loader finds them already loaded by name, and then the driver `name` is
//   opened from that folder. Those extra references are dropped afterwards:
//   a loaded driver holds its libraries itself. No environment variable is
//   changed, since nothing on Linux reads "Path" to find libraries, and
//   the folder has no length limit.
// - isCompatibleGravikVersion: an ELF driver's version information is the
//   note of pal/plugin_sdk.h, its "ModuleType" the note's module-type text;
//   a driver without the note gives false. A Windows driver's is its
//   version resource (fixed root block, then
//   "\StringFileInfo\040904b0\ModuleType"), read from the file. A
//   ModuleType text that holds no hexadecimal number leaves `flag`
//   unchanged.
// - searchPathForPlugin: paths are ':'-separated lists; the environment's
//   list is PATH; the "system's default search order" is the plug-in
//   loader's (the executable's folder, LD_LIBRARY_PATH, the dynamic
//   loader's folders). The file name gets no extension.
#pragma once

#include <string>

#include "pal/export.h"
#include "pal/plugin_loader.h"

namespace Halvex::Tessaran::PAL {

class PAL_EXPORT GravikPluginLoaderImp : public PluginLoaderImp {
 public:
  using PluginLoaderImp::loadPlugin;
  virtual void* loadPlugin(const wchar_t* name, const wchar_t* path, const wchar_t* unused) = 0;
  virtual bool isCompatibleGravikVersion(const wchar_t* path, bool unused, bool& flag) = 0;
  virtual bool searchPathForPlugin(const wchar_t* fileName, const wchar_t* firstPath,
                                   const wchar_t* secondPath, std::wstring& fullPath,
                                   std::wstring& filePart) = 0;
};

class PAL_EXPORT GravikPluginLoader {
 public:
  static GravikPluginLoader& instance();

  void* loadPlugin(const wchar_t* name, const wchar_t* path, const wchar_t* unused);
  bool unload(void* handle);
  void* getSymbol(void* handle, const char* symbol) const;
  bool isCompatibleGravikVersion(const wchar_t* path, bool unused, bool& flag);
  static bool searchPathForPlugin(const wchar_t* fileName, const wchar_t* firstPath,
                                  const wchar_t* secondPath, std::wstring& fullPath, std::wstring& filePart);
  ~GravikPluginLoader();

  GravikPluginLoader(const GravikPluginLoader&) = delete;
  GravikPluginLoader& operator=(const GravikPluginLoader&) = delete;

 private:
  explicit GravikPluginLoader(GravikPluginLoaderImp* imp);
  GravikPluginLoaderImp* imp_;
};

}  // namespace Halvex::Tessaran::PAL

class PAL_EXPORT Win32GravikPluginLoader : public Halvex::Tessaran::PAL::GravikPluginLoaderImp {
 public:
  using GravikPluginLoaderImp::loadPlugin;
  void* loadPlugin(const wchar_t* name, const wchar_t* path, const wchar_t* unused) override;
  bool isCompatibleGravikVersion(const wchar_t* path, bool unused, bool& flag) override;
  bool searchPathForPlugin(const wchar_t* fileName, const wchar_t* firstPath, const wchar_t* secondPath,
                           std::wstring& fullPath, std::wstring& filePart) override;
  bool unloadPlugin(void* handle) override;
  void* getPluginSymbol(void* handle, const char* symbol) const override;
};
