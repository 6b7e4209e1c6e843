// The product identity chosen at start-up: which installed product and UI
// language this process runs, its identity file and vertical folders.
//
// Where Linux differs from what a Windows caller expects:
// - "identityver.ini" and "identity.ini" are read by the library's own reader
//   with the Windows profile-string rules; they may be UTF-8 (with or without
//   a byte-order mark) or UTF-16 with a byte-order mark.
// - Folders are joined with '/' and the identity file path has no doubled
//   separator ("<resource dir>/identity.ini").
// - The folders put in front of PATH are separated by ':' and empty items of
//   the "VerticalEnvPath" list are left out (an empty PATH entry would name
//   the current folder); KVVERTICALPATH and getVerticalPath() keep the list
//   as stored, ';'-separated.
// - With no languages listed for the chosen product, the language argument is
//   kept when it is not empty.
// - The last-launched values are written only when the installation names a
//   version key.
#pragma once

#include "pal/export.h"
#include "pal/settings_roots.h"

namespace Halvex::Tessaran::PAL::Settings {

// Set by Roots::initializeByConvention before anything else; false before.
PAL_EXPORT bool isOem();

// These run the start-up with an empty product and language (and the OEM
// flag as it is) when it has not been attempted yet, which fixes its outcome
// for the process. The pointers stay valid for the life of the process.
PAL_EXPORT const wchar_t* getCurrentProduct();
PAL_EXPORT const wchar_t* getCurrentProductIdentityIniPath();
// The raw "VerticalEnvPath" list of a vertical product.
PAL_EXPORT const wchar_t* getVerticalPath();

}  // namespace Halvex::Tessaran::PAL::Settings
