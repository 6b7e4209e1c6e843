// The plug-in loader: finds a plug-in module by name, vets its file before it
// is mapped (module type, runtime library, entry points, version marker,
// toolset, the host's consent), loads it, checks its version function, and
// reports every refusal to the host through numbered messages. Plug-ins may
// also be registered in-process with a table of named symbols.
//
// Differences from Windows:
// - Plug-ins are ELF shared objects opened with dlopen (RTLD_NOW |
//   RTLD_LOCAL); handles are dlopen handles and mainModuleId is the
//   executable's dlopen handle.
// - Search: a name with a '/' is a path, relative ones against the current
//   folder; any other name is looked for in the executable's folder, then
//   along LD_LIBRARY_PATH, then in the loader's configured folders
//   (/etc/ld.so.conf and the files it includes) and the standard folders
//   (/lib/x86_64-linux-gnu, /usr/lib/x86_64-linux-gnu, /lib64, /usr/lib64,
//   /lib, /usr/lib). A file name without an extension gets ".so"; one with
//   an extension keeps it (".zvx" database modules load as they are). A
//   name that is not found is reported as ERROR_FILE_NOT_FOUND with the
//   text of ENOENT. Found paths longer than 260 characters are still
//   refused (ERROR_BAD_PATHNAME, 161).
// - The already-loaded module of a path is the one dlopen(RTLD_NOLOAD)
//   finds; one of the same file name is looked for among the loaded
//   objects, file names compared exactly.
// - The runtime-library test looks for the import of "MSVCR140.DLL" and
//   "MSVCR140D.DLL" as written; ELF modules import no such library, so it
//   only fires for Windows modules (which then fail to load).
// - The toolset of an ELF module is the major version in the note that
//   pal/plugin_sdk.h puts into it; a module without that note makes the
//   loader ask approveToolset, as a Windows module linked by another linker
//   version does.
// - An ELF module "imports pyra.exe" when a DT_NEEDED entry names the
//   executable "pyra" (likewise "moxa.exe").
// - A failed load gives the status 126 (ERROR_MOD_NOT_FOUND) when the file
//   or one of its libraries cannot be opened, 127 (ERROR_PROC_NOT_FOUND)
//   for an unresolved symbol, else ERROR_BAD_EXE_FORMAT; message 7635
//   carries dlerror()'s text. The load without resolving references is
//   dlopen(RTLD_LAZY): functions are bound at their first call, so the
//   version function of a module with an unresolved function still runs.
// - There are no short (8.3) names, so that test is skipped.
// - TerminateRequested ends the process with _exit(1) after message 7647.
// - Without a host (setHost not called) a file load returns null with kind 0
//   and the SDK-version query reports nothing.
// - With DifferentModuleLoaded, the reference taken on the other module is
//   released after its version function answered, not before: the version
//   check must not call into a module that may be gone.
// - The version check keeps TerminateRequested even when the module
//   already loaded under the path has a version function.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "pal/export.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL {

class ModuleImage;
class KvRxSharedObjImp;

// Load statuses besides 0 (success) and system error codes.
enum PluginLoadStatus {
  DifferentModuleLoaded = 0x20000000,
  HostRefused = 0x20000001,
  TerminateRequested = 0x20000002,
  LoadRefused = 0x20000003,
  HostReported = 0x20000005,
  EntryPointMissing = 0x20000006,
  VersionFunctionMissing = 0x20000007,
  WrongModuleType = 0x20000008,
  HostDeclinedDatabaseModule = 0x2000000A,
  IncompatibleVersion = 0x2000000B,
};

// Implemented by the host. Not owned by the library, never deleted through
// this interface.
class IPluginLoaderHost {
 public:
  // The arguments follow the message number as the message's table gives
  // them: numbers as DWORD (21 as int), texts as const wchar_t*, the entry
  // point's name as const char*.
  virtual void reportMessage(int messageId, ...) = 0;
  // Kept for the host's own use; the library does not call it.
  virtual void reservedOperation1() {}
  virtual bool allowLoad(const wchar_t* path) = 0;
  virtual bool approveToolset(const wchar_t* path) = 0;
  virtual void beforeLoadLibrary() = 0;
  virtual bool preLoadCheck(const ModuleImage* image, const wchar_t* path, void* presentModule,
                            bool isDatabaseModule, const wchar_t* hostVersionText, bool hostKindIs3,
                            bool alwaysFalse, DWORD* status, DWORD declinedStatus, DWORD terminateStatus) = 0;
  // 0 refuses; 2 loads without beforeLoadLibrary; other values load.
  virtual int confirmLoad(const wchar_t* path, int kind, const ModuleImage* image, void* presentModule) = 0;
  virtual int hostKind() = 0;
  // Kept for the host's own use; the library does not call it.
  virtual void reservedOperation2() {}
  // At most the first 20 characters are used.
  virtual const wchar_t* hostVersionText() = 0;

 protected:
  ~IPluginLoaderHost() = default;
};

// The base keeps the registration tables; its loads serve registered
// plug-ins only.
class PAL_EXPORT PluginLoaderImp {
 public:
  PluginLoaderImp();
  virtual ~PluginLoaderImp();
  virtual void registerPlugin(const wchar_t* name, void* entryPoint);
  virtual void unregisterPlugin(const wchar_t* name);
  virtual void* loadPlugin(const wchar_t* name, bool report, char* kind);
  // The name must be registered; for an unregistered one the call does
  // nothing.
  virtual void registerPluginSymbol(const wchar_t* name, const char* symbol, void* address);
  virtual bool unloadPlugin(void* handle);
  virtual void* getPluginSymbol(void* handle, const char* symbol) const;
  virtual bool isPluginLoaded(const wchar_t* name) const;
  virtual bool isBuiltWithCompatibleSDKVersion(const wchar_t* path) const;
  virtual void* mainModuleId() const;

  // A TrellisPluginLoader in the alternate host environment, else a
  // Win32PluginLoader; the caller owns it.
  static PluginLoaderImp* create();
  static const char* entryPointSymbolName();

  PluginLoaderImp(const PluginLoaderImp&) = delete;
  PluginLoaderImp& operator=(const PluginLoaderImp&) = delete;

 private:
  using SymbolTable = std::map<std::string, void*>;
  // Keys: names with A to Z lower-cased, compared unit by unit.
  std::map<std::wstring, std::shared_ptr<SymbolTable>> registered_;
  std::map<std::wstring, std::shared_ptr<SymbolTable>> loaded_;
};

// The exported facade: owns one implementation.
class PAL_EXPORT PluginLoader {
 public:
  // Must be called before the first load or SDK-version query.
  static void setHost(IPluginLoaderHost* host);

  PluginLoader();
  ~PluginLoader();
  // `kind` (may be null): 2 while loading and when allowLoad refuses; 0 when
  // the name is not found and for registered plug-ins; else 1 for a
  // database module, 0 for others.
  void* load(const wchar_t* name, bool report, char* kind);
  bool unload(void* handle);
  void* getSymbol(void* handle, const char* symbol) const;
  void registerPlugin(const wchar_t* name, void* entryPoint);
  void unregisterPlugin(const wchar_t* name);
  static bool isBuiltWithCompatibleSDKVersion(const wchar_t* path);
  static void* mainModuleId();

  PluginLoader(const PluginLoader&) = delete;
  PluginLoader& operator=(const PluginLoader&) = delete;

 private:
  PluginLoaderImp* imp_;
};

}  // namespace Halvex::Tessaran::PAL

// Loads plug-ins from files (on Linux with dlopen; the name is the one the
// host's modules know). Registrations are kept but never consulted by its
// loads.
class PAL_EXPORT Win32PluginLoader : public Halvex::Tessaran::PAL::PluginLoaderImp {
 public:
  void* loadPlugin(const wchar_t* name, bool report, char* kind) override;
  bool unloadPlugin(void* handle) override;
  void* getPluginSymbol(void* handle, const char* symbol) const override;
  bool isBuiltWithCompatibleSDKVersion(const wchar_t* path) const override;
  void* mainModuleId() const override;
};

// The alternate host environment: registered plug-ins first, else shared
// objects loaded by name (KvRxSharedObjImp), handles being those objects.
class PAL_EXPORT TrellisPluginLoader : public Halvex::Tessaran::PAL::PluginLoaderImp {
 public:
  TrellisPluginLoader();
  ~TrellisPluginLoader() override;
  void registerPlugin(const wchar_t* name, void* entryPoint) override;
  void unregisterPlugin(const wchar_t* name) override;
  void* loadPlugin(const wchar_t* name, bool report, char* kind) override;
  void registerPluginSymbol(const wchar_t* name, const char* symbol, void* address) override;
  bool unloadPlugin(void* handle) override;
  void* getPluginSymbol(void* handle, const char* symbol) const override;
  bool isPluginLoaded(const wchar_t* name) const override;

 private:
  using SharedObject = Halvex::Tessaran::PAL::KvRxSharedObjImp;
  struct Loaded {
    std::shared_ptr<SharedObject> object;
    bool fromFile;
  };
  Halvex::Tessaran::PAL::PluginLoaderImp inner_;
  std::map<std::wstring, Loaded> byName_;
  std::map<const SharedObject*, std::wstring> names_;
};
