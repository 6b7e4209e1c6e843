// Backends over heavy system libraries (image decoding, the X11 assertion
// box, ...) are private modules that the library loads on first use, so a
// process maps those libraries only when it needs them.
//
// A backend module (kvpal_add_backend in CMake) exports one C function that
// returns its table of functions, a struct declared in a header both sides
// include; the table's version guards against a module from another build.
#pragma once

namespace Halvex::Tessaran::PAL::detail {

// dlopen of `file` from the folder of the library's own file, else by name
// through the loader's search path (LD_LIBRARY_PATH, the calling program's
// run path, the system folders); null when neither loads.
void* openModuleBesideLibrary(const char* file, int dlopenFlags);

// The table that `entry` of the module `file` returns for `version`, or
// null (reported once on standard error) when the module cannot be loaded
// or answers with no table. The module stays loaded.
const void* loadBackendTable(const char* file, const char* entry, unsigned version);

template <typename Table>
const Table* loadBackend(const char* file, const char* entry) {
  return static_cast<const Table*>(loadBackendTable(file, entry, Table::kVersion));
}

}  // namespace Halvex::Tessaran::PAL::detail
