// The resource directory of library code linked into an executable (the
// kvpal tool's case): the executable's own folder.
#include "pal/package_utils.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/property_tree/ptree.hpp>
#include <climits>
#include <memory>
#include <string>

namespace PackageUtils = Halvex::Tessaran::PAL::PackageUtils;

TEST(PackageUtils, ResourceDirectoryOfAnExecutableIsItsFolder) {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  const std::string file(exe, static_cast<size_t>(n));
  EXPECT_EQ(PackageUtils::resDir().string(), file.substr(0, file.rfind('/') + 1));
  std::unique_ptr<boost::property_tree::wptree> tree(
      PackageUtils::parseJsonResource("no-such-resource.json"));
  EXPECT_EQ(tree, nullptr);
}
