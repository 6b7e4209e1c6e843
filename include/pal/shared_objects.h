// Reference-counted handles of loaded code modules, with symbol look-up.
//
// Differences from Windows:
// - Modules are shared objects opened with dlopen (RTLD_NOW | RTLD_LOCAL),
//   found by the library's module-name rule: "X.dll" (or "X") is "libX.so"
//   or "X.so", possibly versioned, "X.exe" is "X", other names stand for
//   themselves. A name with a folder is looked for in that folder only;
//   otherwise the executable's folder comes first, then the loader's own
//   search (LD_LIBRARY_PATH, the cache, the system folders), which knows
//   unversioned names only.
// - Handles are dlopen handles; getFromNative takes one of those.
#pragma once

#include <memory>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL {

class PAL_EXPORT KvRxSharedObjImp {
 public:
  // The module loaded, or an object with a null handle; the caller owns the
  // result. With `unloadOnRelease`, the last copy's release closes it.
  static KvRxSharedObjImp* tryLoad(const wchar_t* name, bool unloadOnRelease);
  static KvRxSharedObjImp* getNullObject();
  // Wraps the handle, never releasing it.
  static KvRxSharedObjImp* getFromNative(void* handle);

  // Null when the handle is null or all bits set, or the symbol is missing.
  void* getSymbol(const char* name) const;
  bool isLoaded() const;

  // Takes over the other's handle and reference, leaving it empty, then
  // drops the reference this object held.
  KvRxSharedObjImp& operator=(KvRxSharedObjImp&& other);
  ~KvRxSharedObjImp();

 private:
  KvRxSharedObjImp(void* handle, std::shared_ptr<void> reference);

  void* handle_ = nullptr;
  std::shared_ptr<void> reference_;  // its deleter releases the module
};

}  // namespace Halvex::Tessaran::PAL
