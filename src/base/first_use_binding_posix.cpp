// The binder behind the first-use stubs (cmake/first_use_stubs.sh): heavy
// system libraries that only some processes call (X11, OpenSSL, ICU, ...)
// are not dependencies of the library; a link-only module carries them and
// is opened on the first call into any of them.
//
// No lock: dlopen and dlsym are thread-safe and answer the same for every
// racer, and a lock held across dlopen could deadlock against a thread that
// runs a module's initialiser (under the loader's lock) and makes its first
// call here.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/backend_module.h"

namespace {

// Laid out by the generated stubs.
struct FirstUseGroup {
  const char* module;  // the link-only module, beside the library
  const char* names;   // the functions, NUL-separated, in slot order
  void** slots;        // their addresses once bound
  void* handle;        // the module, once open
};

[[noreturn]] void cannotBind(const FirstUseGroup* group, const char* name, const char* why) {
  // A dependency the dynamic loader would have refused at start: nothing to
  // return to the caller, who expects the function to exist.
  std::fprintf(stderr, "KvPal: %s cannot be called: %s: %s\n", name, group->module, why ? why : "not found");
  std::abort();
}

}  // namespace

extern "C" __attribute__((visibility("hidden"))) void* kvpal_bind_first_use(FirstUseGroup* group,
                                                                            unsigned index) {
  const char* name = group->names;
  for (unsigned i = 0; i < index; ++i) name += std::strlen(name) + 1;
  void* handle = __atomic_load_n(&group->handle, __ATOMIC_ACQUIRE);
  if (!handle) {
    handle = Halvex::Tessaran::PAL::detail::openModuleBesideLibrary(group->module, RTLD_NOW | RTLD_LOCAL);
    if (!handle) cannotBind(group, name, dlerror());
    __atomic_store_n(&group->handle, handle, __ATOMIC_RELEASE);
  }
  void* function = dlsym(handle, name);
  if (!function) cannotBind(group, name, dlerror());
  __atomic_store_n(&group->slots[index], function, __ATOMIC_RELEASE);
  return function;
}
