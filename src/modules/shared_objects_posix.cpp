// Code modules opened with dlopen, found by the module-name rule.
#include <dlfcn.h>

#include <cstdint>
#include <string>

#include "base/utf8.h"
#include "modules/module_names.h"
#include "pal/shared_objects.h"

namespace Halvex::Tessaran::PAL {

namespace {

void* openModule(const std::string& name) {
  constexpr int flags = RTLD_NOW | RTLD_LOCAL;
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) {
    std::string file = detail::findModuleInFolder(name.substr(0, slash + 1), name.substr(slash + 1));
    return file.empty() ? nullptr : dlopen(file.c_str(), flags);
  }
  // As on Windows, the executable's own folder comes before the system's.
  // Unknown, the executable's folder must not become the current one.
  std::string exe = detail::executableFile();
  if (size_t end = exe.rfind('/'); end != std::string::npos) {
    std::string file = detail::findModuleInFolder(exe.substr(0, end + 1), name);
    if (!file.empty())
      if (void* handle = dlopen(file.c_str(), flags)) return handle;
  }
  for (const std::string& candidate : detail::moduleFileNames(name))
    if (void* handle = dlopen(candidate.c_str(), flags)) return handle;
  return nullptr;
}

bool isAbsent(void* handle) {
  return handle == nullptr || reinterpret_cast<std::uintptr_t>(handle) == ~std::uintptr_t{0};
}

}  // namespace

KvRxSharedObjImp::KvRxSharedObjImp(void* handle, std::shared_ptr<void> reference)
    : handle_(handle), reference_(std::move(reference)) {}

KvRxSharedObjImp::~KvRxSharedObjImp() = default;

KvRxSharedObjImp* KvRxSharedObjImp::tryLoad(const wchar_t* name, bool unloadOnRelease) {
  void* handle = name && *name ? openModule(detail::wideToUtf8(name)) : nullptr;
  if (!handle) return getNullObject();
  if (!unloadOnRelease) return new KvRxSharedObjImp(handle, nullptr);
  return new KvRxSharedObjImp(handle, std::shared_ptr<void>(handle, [](void* h) { dlclose(h); }));
}

KvRxSharedObjImp* KvRxSharedObjImp::getNullObject() {
  return new KvRxSharedObjImp(nullptr, nullptr);
}

KvRxSharedObjImp* KvRxSharedObjImp::getFromNative(void* handle) {
  return new KvRxSharedObjImp(handle, nullptr);
}

void* KvRxSharedObjImp::getSymbol(const char* name) const {
  // dlsym reads null and all-bits-set as "search the global scope" and
  // "search after the caller", which would find symbols of other modules.
  if (isAbsent(handle_) || !name) return nullptr;
  return dlsym(handle_, name);
}

bool KvRxSharedObjImp::isLoaded() const {
  return handle_ != nullptr;
}

KvRxSharedObjImp& KvRxSharedObjImp::operator=(KvRxSharedObjImp&& other) {
  if (this == &other) return *this;
  std::shared_ptr<void> former = std::move(reference_);
  handle_ = other.handle_;
  reference_ = std::move(other.reference_);
  other.handle_ = nullptr;
  return *this;
}

}  // namespace Halvex::Tessaran::PAL
