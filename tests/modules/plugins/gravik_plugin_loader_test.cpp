// The graphics-driver loader with real drivers: the retry that opens a
// driver's own libraries from its folder, the declared module type, and the
// driver search along ':'-separated lists.
#include "pal/gravik_plugin_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "base/utf8.h"
#include "support/environment.h"

namespace {

using Halvex::Tessaran::PAL::GravikPluginLoader;
namespace detail = Halvex::Tessaran::PAL::detail;

const std::string kFixtures = KVPAL_PLUGIN_FIXTURES;

std::wstring wide(const std::string& text) {
  return detail::utf8ToWide(text);
}

bool mapped(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

TEST(GravikPluginLoader, LoadsADriverDirectly) {
  GravikPluginLoader& loader = GravikPluginLoader::instance();
  EXPECT_EQ(&loader, &GravikPluginLoader::instance());
  const std::string good = kFixtures + "/libgood.so";
  void* handle = loader.loadPlugin(L"libgood.so", wide(good).c_str(), nullptr);
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(loader.getSymbol(handle, "kvrxEntryPoint"), nullptr);
  EXPECT_EQ(loader.getSymbol(handle, "noSuchSymbol"), nullptr);
  EXPECT_EQ(loader.getSymbol(nullptr, "malloc"), nullptr);
  EXPECT_TRUE(loader.unload(handle));
  EXPECT_FALSE(mapped(good));
  EXPECT_FALSE(loader.unload(nullptr));
}

// libdriver.so needs libgdep.so, which lies only beside it: the first open
// fails, the retry opens the library from the driver's folder first.
TEST(GravikPluginLoader, DriverWhoseLibraryLiesBesideItLoadsThroughTheRetry) {
  const std::string driver = kFixtures + "/drivers/libdriver.so", library = kFixtures + "/drivers/libgdep.so";
  void* direct = dlopen(driver.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_EQ(direct, nullptr) << "the dependency must not be found by the loader's own search";
  const auto path = variable("PATH"), libraryPath = variable("LD_LIBRARY_PATH");

  GravikPluginLoader& loader = GravikPluginLoader::instance();
  void* handle = loader.loadPlugin(L"libdriver.so", wide(driver).c_str(), L"unused");
  ASSERT_NE(handle, nullptr);
  auto value = reinterpret_cast<int (*)()>(loader.getSymbol(handle, "pluginValue"));
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value(), 7) << "the driver calls into its library";
  EXPECT_EQ(variable("PATH"), path);
  EXPECT_EQ(variable("LD_LIBRARY_PATH"), libraryPath);
  EXPECT_TRUE(loader.unload(handle));
  EXPECT_FALSE(mapped(driver));
  EXPECT_FALSE(mapped(library)) << "the retry keeps no reference of its own";

  // Without a folder in the path there is nothing to retry from; a driver
  // whose library is nowhere fails.
  EXPECT_EQ(loader.loadPlugin(L"libdriver.so", L"libdriver.so", nullptr), nullptr);
  EXPECT_EQ(loader.loadPlugin(L"libmissing_dep.so", wide(kFixtures + "/libmissing_dep.so").c_str(), nullptr),
            nullptr);
  EXPECT_FALSE(mapped(kFixtures + "/libmissing_dep.so"));
}

TEST(GravikPluginLoader, ModuleTypeDecidesTheFlag) {
  const std::string f = kFixtures + "/", resourceModule = KVPAL_MODULE_FIXTURES "/resources_pe64.dll";
  struct Case {
    std::string file;
    bool result;
    std::optional<bool> flag;  // nothing: left as it was
  } cases[] = {
      {f + "libdriver_1.so", true, true},
      {f + "libdriver_80000001.so", true, false},
      {f + "libdriver_zz.so", true, std::nullopt},
      {f + "libgood.so", true, std::nullopt},    // a note without a module type
      {f + "libplain.so", false, std::nullopt},  // no note at all
      {f + "nothere.so", false, std::nullopt},
      // Windows drivers: the version resource.
      {f + "driver_version.dll", true, false},
      {resourceModule, true, std::nullopt},              // ModuleType "GraphicsDriver": no number
      {f + "forward_version.dll", false, std::nullopt},  // no version resource
  };
  GravikPluginLoader& loader = GravikPluginLoader::instance();
  for (const Case& c : cases) {
    for (bool before : {false, true}) {
      SCOPED_TRACE(c.file + (before ? " flag set before" : " flag clear before"));
      bool flag = before;
      EXPECT_EQ(loader.isCompatibleGravikVersion(wide(c.file).c_str(), false, flag), c.result);
      EXPECT_EQ(flag, c.flag.value_or(before));
    }
  }
}

TEST(GravikPluginLoader, SearchAlongGivenListsThenPath) {
  const std::string drivers = kFixtures + "/drivers";
  struct Case {
    const char* label;
    std::string file, first, second, path;
    std::string found;  // "" when nothing is found
  } cases[] = {
      {"first list, second entry", "libgdep.so", "/nonexistent:" + drivers, "", "", drivers + "/libgdep.so"},
      {"first list misses, second list", "libgood.so", drivers, "/nonexistent:" + kFixtures, "",
       kFixtures + "/libgood.so"},
      {"no lists: PATH", "libgood.so", "", "", drivers + ":" + kFixtures, kFixtures + "/libgood.so"},
      {"no extension added", "libgood", kFixtures, "", "", ""},
      {"nowhere", "libnothere.so", kFixtures, drivers, kFixtures, ""},
  };
  const auto savedPath = variable("PATH");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    kvpal::test::setVariable("PATH", c.path.c_str());
    std::wstring fullPath = L"stale", filePart = L"stale";
    const std::wstring first = wide(c.first), second = wide(c.second);
    bool found = GravikPluginLoader::searchPathForPlugin(
        wide(c.file).c_str(), first.c_str(), c.second.empty() ? nullptr : second.c_str(), fullPath, filePart);
    EXPECT_EQ(found, !c.found.empty());
    EXPECT_EQ(fullPath, wide(c.found));
    EXPECT_EQ(filePart, c.found.empty() ? L"" : wide(c.file));
  }
  kvpal::test::setVariable("PATH", savedPath ? savedPath->c_str() : nullptr);
}

}  // namespace
