// Internals of the package resource directories shared with their tests.
#pragma once

#include <boost/filesystem/path.hpp>
#include <vector>

namespace Halvex::Tessaran::PAL::detail {

// The fonts folder list for `resourceDir` from the current root list,
// creating a configured folder that is missing.
std::vector<boost::filesystem::path> configuredFontsDirs(const boost::filesystem::path& resourceDir);

}  // namespace Halvex::Tessaran::PAL::detail
