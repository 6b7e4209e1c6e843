// The process environment as a settings container, %NAME% expansion,
// putting a folder in front of PATH, and the user's names.
//
// Differences from Windows:
// - Names and values are UTF-8 in the environment; the wide text is
//   converted both ways. Names compare case-sensitively, as the Linux
//   environment does ("Path" and "PATH" are two variables). A name that is
//   empty or holds '=' names no variable.
// - The first envVars() call sets TEMP, when unset or empty, to the system
//   temporary folder: the first of $TMPDIR, $TMP and $TEMPDIR that is set,
//   else /tmp, when that is a directory. An empty TEMP is removed first, and
//   stays removed when the temporary folder is not a directory.
// - expandEnvVars has no length limit.
// - getUserDisplayName is the account name of the effective user from the
//   password database. getUserLoginName is the full name from that entry's
//   GECOS field (its first comma-separated item); when that is empty, no
//   directory service gave a display name: `domainMissing` becomes true and
//   the account name is returned. When the effective user has no entry,
//   both names are empty and `domainMissing` stays false.
// - AppendEnvironmentPath separates with ':'. It adds no empty entry (which
//   Linux would read as the current folder): an empty PATH becomes the
//   folder alone, and a null or empty folder leaves PATH unchanged.
#pragma once

#include <string>

#include "pal/export.h"
#include "pal/settings.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::Settings {

// The environment: exists, getString and setString (an empty value removes
// the variable; a null value is refused: false, nothing changes, as the
// Windows runtime rejects it) work on the process environment; the typed reads return
// their defaults, getAllStringValues an empty map, enumerate visits nothing,
// name() is "Environment", and setUInt32, setDouble and remove return false.
PAL_EXPORT Container& envVars();

// Replaces each %NAME% of a set variable by its value; references to unset
// variables, names holding '=', "%%" and a lone '%' stay as written. Null
// gives "".
PAL_EXPORT std::wstring expandEnvVars(const wchar_t* text);

PAL_EXPORT std::wstring getUserDisplayName();
PAL_EXPORT std::wstring getUserLoginName(bool& domainMissing);

}  // namespace Halvex::Tessaran::PAL::Settings

// Puts `folder` in front of PATH; non-zero on success. PATH unset: fails and
// changes nothing.
extern "C" PAL_EXPORT BOOL AppendEnvironmentPath(const wchar_t* folder);
