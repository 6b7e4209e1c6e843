// Internals of the package resource directories shared with their tests.
#pragma once

#include <boost/filesystem/path.hpp>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

// The file the library's code was loaded from, absolute; empty when the
// loader cannot tell. A relative name in the loader's record is taken from
// the current folder, so this is right only while the library loads.
boost::filesystem::path ownModuleFile();

// The fonts folder list for `resourceDir` from the current root list,
// creating a configured folder that is missing.
std::vector<boost::filesystem::path> configuredFontsDirs(const boost::filesystem::path& resourceDir);

}  // namespace Halvex::Tessaran::PAL::detail
