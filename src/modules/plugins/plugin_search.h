// Where plug-in and driver files are looked for: the executable's folder,
// LD_LIBRARY_PATH, the dynamic loader's configured and standard folders,
// or ':'-separated lists the caller gives.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

// The folders of a ':'-separated list; an empty entry is the current
// folder, as the dynamic loader reads LD_LIBRARY_PATH.
std::vector<std::string> searchList(std::string_view list);

// The first folder holding `fileName` as a regular file, joined with it
// (absolute when the folder is); "" when none does. A name with a '/' is
// taken as a path of its own, relative ones against the current folder.
std::string searchFolders(const std::vector<std::string>& folders, std::string_view fileName);

// The folders the dynamic loader searches after LD_LIBRARY_PATH: those of
// /etc/ld.so.conf (with the files it includes), then the standard ones.
std::vector<std::string> loaderFolders();

// A plug-in's file by the loader's rule: a path as it is; a bare name in
// the executable's folder, then along LD_LIBRARY_PATH, then in the
// loader's folders. With `defaultExtension`, a file name without an
// extension gets ".so". The result is absolute; "" when nothing is found.
std::string findPluginFile(std::string_view name, bool defaultExtension);

}  // namespace Halvex::Tessaran::PAL::detail
