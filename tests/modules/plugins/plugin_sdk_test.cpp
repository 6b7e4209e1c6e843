// What the plug-in SDK macro puts into a module, read back by the module
// reader and shown by `kvpal module`.
#include "pal/plugin_sdk.h"

#include <gtest/gtest.h>

#include <string>

#include "modules/plugin_contract.h"
#include "pal/module_image.h"
#include "support/child_process.h"

namespace {

using namespace Halvex::Tessaran::PAL;

const std::string kFixtures = KVPAL_PLUGIN_FIXTURES;

// The SDK macro gives the marker at the very start of the version function
// and the note the loader and the kvpal tool read.
TEST(PluginSdk, MacroRecordsTheMarkerToolsetAndModuleType) {
  struct Case {
    const char* file;
    const char* moduleType;
    const char* toolLine;
  } cases[] = {
      {"libgood.so", "", "  SDK note: toolset 14, module type (none)\n"},
      {"libdriver_80000001.so", "80000001", "  SDK note: toolset 14, module type 80000001\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = kFixtures + "/" + c.file;
    ModuleImage* image = ModuleImage::open(path.c_str());
    ASSERT_EQ(image->parseStatus(), ModuleImage::ValidImage);
    detail::VersionMarker marker = detail::findVersionMarker(*image);
    EXPECT_EQ(marker.result, detail::VersionMarker::Present);
    EXPECT_EQ(marker.offset, 0);
    auto note = detail::findPluginSdkNote(*image);
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->toolsetMajor, 14u);
    EXPECT_EQ(note->moduleType, c.moduleType);
    EXPECT_EQ(detail::toolsetMajorVersion(*image), 14u);
    image->close();

    kvpal::test::ChildOutcome text = kvpal::test::runChild({KVPAL_TOOL, "module", path});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.output.find(c.toolLine), std::string::npos) << text.output;
    kvpal::test::ChildOutcome json = kvpal::test::runChild({KVPAL_TOOL, "module", "--json", path});
    EXPECT_NE(json.output.find(std::string("\"sdkNote\": {\"toolsetMajor\": 14, \"moduleType\": \"") +
                               c.moduleType + "\"}"),
              std::string::npos)
        << json.output;
  }
  // A module made without the SDK has no note, so the loader asks about its
  // toolset.
  ModuleImage* plain = ModuleImage::open((kFixtures + "/libplain.so").c_str());
  EXPECT_FALSE(detail::findPluginSdkNote(*plain).has_value());
  EXPECT_FALSE(detail::toolsetMajorVersion(*plain).has_value());
  plain->close();
  kvpal::test::ChildOutcome text = kvpal::test::runChild({KVPAL_TOOL, "module", kFixtures + "/libplain.so"});
  EXPECT_NE(text.output.find("  SDK note: (none)\n"), std::string::npos) << text.output;
}

}  // namespace
