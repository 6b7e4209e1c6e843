// Code trust: the folders whose modules and Lisp files count as trusted, and
// the expansion of a path reached through a linked folder.
//
// Where Linux differs from what a Windows caller expects:
// - The program-files folder is /opt (where add-on applications install), the
//   32-bit program-files folder is /usr (the system's own programs) and the
//   module folder is the folder of the running executable (/proc/self/exe).
// - Entries keep their case: names are case-sensitive, so an upper-cased
//   entry would name a folder that does not exist.
// - The module folder joins the list unless it lies under the program-files
//   folder, compared by whole path elements: "/home/u/options" is not under
//   "/opt". An unknown executable adds no module folder.
// - A substituted drive's counterpart is a folder reached through symbolic
//   links or a bind mount. `expandSubstitutedDrive` takes an absolute path,
//   resolves the symbolic links of its longest leading part that names an
//   existing folder and, when that part lies under a bind mount of a folder
//   the mount table shows elsewhere, names it by that folder. It answers true
//   with the rewritten path when a link or bind mount was crossed; false with
//   the path untouched for a relative path, a path with no existing linked
//   folder, or a result of 4096 bytes or more.
#pragma once

#include <string>
#include <vector>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::CodeTrust {

// Built once, on the first call (several threads may make it at once), and
// kept until the process ends: later moves of the executable are not seen.
PAL_EXPORT std::vector<std::wstring> getDefaultTrustedPaths();
PAL_EXPORT bool expandSubstitutedDrive(std::wstring& path);

}  // namespace Halvex::Tessaran::PAL::CodeTrust
