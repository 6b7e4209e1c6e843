// How the host's module names, written the Windows way ("KvCore.dll",
// "pyra.exe"), are found on Linux: as files, and among the loaded modules.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

// "X.dll" (extension in any case) and a bare "X" name the shared object
// "libX.so" or "X.so", each with or without a version suffix ("libX.so.1.2");
// "X.exe" names the executable "X"; any other name stands for itself. The
// stem compares case-sensitively, as Linux file names do. A folder in the
// name is ignored here: only file names are compared.
bool moduleFileNameMatches(std::string_view moduleName, std::string_view fileName);

// Whether `fileName` is the executable `name`: "X.exe" (any case) is "X",
// any other name stands for itself.
bool executableFileNameMatches(std::string_view name, std::string_view fileName);

// The file names to try for `moduleName`, without version suffix, in order
// of preference ("libX.so", "X.so"; "X"; the name itself).
std::vector<std::string> moduleFileNames(std::string_view moduleName);

// The path of the first file in `folder` whose name matches `moduleName`
// (unversioned names before versioned ones), or "" when none does.
std::string findModuleInFolder(const std::string& folder, std::string_view moduleName);

// Whether a module of that name is loaded in this process (the executable
// included), as the dynamic loader lists them; with `path`, its file.
bool isModuleLoaded(std::string_view moduleName, std::string* path = nullptr);
// The same for a file name taken as it is (first in the loader's order).
bool isFileLoaded(std::string_view fileName, std::string* path = nullptr);
// Whether a module was loaded under exactly this path (no file is opened).
bool isPathLoaded(std::string_view path);

// Whether a loaded module of that name exports every one of `symbols`
// (looked up, never called).
bool loadedModuleExports(std::string_view moduleName, std::initializer_list<const char*> symbols);

// The running executable's file ("" when the kernel does not say).
std::string executableFile();

}  // namespace Halvex::Tessaran::PAL::detail
