// Reference-counted handles of resource modules (strings, raw data blocks and
// bitmaps), localised resource modules in one folder per locale, and
// LoadResource for a named resource of any module.
//
// Differences from Windows:
// - A resource module is a Windows resource-only module (built from the
//   product's .rc files with mingw-w64's windres and linker), or any ELF
//   module whose .rsrc section kvpal_add_resources filled from the same .rc
//   file. Either is read from a read-only mapping of its file, never loaded;
//   its handle is the library's own and means nothing to dlsym. Relative
//   names are looked for in the executable's folder, then the current one.
// - Handles from dlopen are accepted too (the executable's own when null in
//   LoadResource): the resources are read from the .rsrc section of that
//   module's file, mapped on first use and kept until the process ends.
// - The localised path is "language-country/fileName", joined with '/';
//   backslashes a Windows caller writes in fileName become '/'.
// - A resource present in several languages is taken in the
//   language-neutral one, then US English, then the first listed.
// - Strings are stored as UTF-16 in the module: tryLoadString points at a
//   wide copy that the library keeps as long as the module is mapped.
// - The bitmap of loadBitmap is the same native image as GraphicsImage's
//   handle(), a GdkPixbuf* (RGB or RGBA); freeBitmap releases it.
// - The "current resource module" of globalResource and setAsGlobalResource
//   is a process-wide setting of this library.
#pragma once

#include <memory>
#include <string>

#include "pal/export.h"
#include "pal/locale.h"

namespace Halvex::Tessaran::PAL {

class PAL_EXPORT KvRxResourceInstanceImp {
 public:
  // A failed load leaves a null handle.
  explicit KvRxResourceInstanceImp(const wchar_t* fileName);
  // No fallback: a module missing for this locale leaves a null handle.
  KvRxResourceInstanceImp(const KvLocale& locale, const wchar_t* fileName);
  // Wraps the handle, never releasing it.
  explicit KvRxResourceInstanceImp(void* handle);

  static KvRxResourceInstanceImp globalResource();
  // True when this already is the current resource module; otherwise makes
  // a non-null handle the current one and returns false.
  bool setAsGlobalResource() const;

  bool isLoaded() const;
  // Length of string `id`, with `text` at its characters (not
  // zero-terminated); 0 when missing or for the handles 0 and -1. `str` is
  // not written.
  int tryLoadString(int id, const wchar_t*& text, std::wstring& str) const;
  // The RT_RCDATA resource numbered by the low 16 bits of `id`; false, with
  // both outputs cleared, when missing or empty.
  bool loadDataResource(int id, unsigned long& size, const void*& data) const;
  void freeDataResource(const void*& data) const;
  // The RT_BITMAP resource numbered by the low 16 bits of `id`, decoded; null
  // when missing or undecodable.
  void* loadBitmap(int id) const;
  void freeBitmap(void* bitmap) const;

  KvRxResourceInstanceImp(const KvRxResourceInstanceImp& other);
  KvRxResourceInstanceImp& operator=(const KvRxResourceInstanceImp& other);
  ~KvRxResourceInstanceImp();

 private:
  KvRxResourceInstanceImp(void* handle, std::shared_ptr<void> reference);

  void* handle_ = nullptr;
  std::shared_ptr<void> reference_;  // its deleter releases the module
};

// The resource `name` followed by `suffix`, of type `type` (a name, "#N" or
// an identifier), in `module`; null after the assertion dialog when missing.
// `size` receives its size in bytes; the data stays valid while the module
// is mapped. The last argument is not used.
PAL_EXPORT const char* LoadResource(const wchar_t* name, const wchar_t* type, const wchar_t* suffix,
                                    unsigned int& size, void* module, bool);

}  // namespace Halvex::Tessaran::PAL
