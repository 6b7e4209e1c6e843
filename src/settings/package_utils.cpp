// The package resource directories.
#include "pal/package_utils.h"

#include <boost/filesystem/operations.hpp>
#include <mutex>

#include "base/own_module.h"
#include "pal/file_system.h"
#include "pal/property_tree.h"
#include "pal/settings_roots.h"
#include "settings/package_utils.h"

namespace fs = boost::filesystem;

namespace Halvex::Tessaran::PAL {

namespace detail {

std::vector<fs::path> configuredFontsDirs(const fs::path& resourceDir) {
  std::wstring configured;
  Settings::read().getProductSettings(
      L"Settings.Package",
      [&](const Settings::Container& c) {
        configured = c.getString(L"FontsDirectory", configured);
        return true;
      },
      false);
  std::vector<fs::path> dirs;
  if (!configured.empty()) {
    // Normalised before it is made: the system would take a ".." after a
    // symbolic link from the link's target and make a folder the list does
    // not name.
    const fs::path dir = FileSystem::normalized(resourceDir / fs::path(configured));
    dirs.push_back(dir);
    // Creation errors are ignored: the entry stays either way.
    boost::system::error_code ec;
    if (!fs::is_directory(dir, ec)) fs::create_directories(dir, ec);
  }
  return dirs;
}

}  // namespace detail

namespace PackageUtils {

const fs::path& resDir() {
  static const fs::path dir = [] {
    const fs::path file = detail::ownModuleFile();
    return file.empty() ? fs::path() : fs::path(file.parent_path().native() + "/");
  }();
  return dir;
}

const fs::path& dataDir() {
  return resDir();
}

const std::vector<fs::path>& allFontsDirs() {
  static std::once_flag once;
  static std::vector<fs::path> dirs;
  // call_once leaves the flag unset when the computation throws, so a later
  // call tries again.
  std::call_once(once, [] { dirs = detail::configuredFontsDirs(resDir()); });
  return dirs;
}

boost::property_tree::wptree* parseJsonResource(const fs::path& file) {
  return PropertyTree::fromJsonFileWithUtf8Encoding(resDir() / file);
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-qualifiers"
const bool localFoldersChangeBetweenRuns() {
  return false;
}
#pragma GCC diagnostic pop

}  // namespace PackageUtils

}  // namespace Halvex::Tessaran::PAL
