// Package resource directories: the folder the library was loaded from, the
// JSON resources kept there and the configured fonts folder.
//
// Where Linux differs from what a Windows caller expects:
// - The resource directory is the folder of the loaded libKvPal.so (as the
//   dynamic loader names it, made absolute), followed by one '/'. When the
//   library's code is linked into an executable instead, it is the folder of
//   that executable. Its length is limited by the file system, not by 260
//   characters.
// - The configured fonts folder is joined and normalised with '/'.
#pragma once

#include <boost/filesystem/path.hpp>
#include <boost/property_tree/ptree_fwd.hpp>
#include <vector>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::PackageUtils {

// Computed on first use and kept for the life of the process.
PAL_EXPORT const boost::filesystem::path& resDir();
// The same object as resDir().
PAL_EXPORT const boost::filesystem::path& dataDir();

// At most one folder: the resource directory joined with the "FontsDirectory"
// string of "Settings.Package" under the machine product roots (the last root
// of the list holding it wins), created when missing. Fixed on the first call
// that returns, so call it only once the settings roots are initialised.
PAL_EXPORT const std::vector<boost::filesystem::path>& allFontsDirs();

// The UTF-8 JSON file at resDir() joined with `file` as a new tree owned by
// the caller, or null when it is missing or not valid JSON.
PAL_EXPORT boost::property_tree::wptree* parseJsonResource(const boost::filesystem::path& file);

// Always false. The const return is part of the published signature.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-qualifiers"
PAL_EXPORT const bool localFoldersChangeBetweenRuns();
#pragma GCC diagnostic pop

}  // namespace Halvex::Tessaran::PAL::PackageUtils
