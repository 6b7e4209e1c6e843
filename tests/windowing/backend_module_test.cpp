// Backends and the heavy system libraries load on first use: libKvPal.so
// needs none of them, a process that links it maps none of them at start
// and maps one when it first calls into it, and a module that cannot give
// the table asked for gives none.
#include "base/backend_module.h"

#include <gtest/gtest.h>

#include <string>

#include "support/child_process.h"
#include "windowing/imaging_backend.h"

namespace {

namespace detail = Halvex::Tessaran::PAL::detail;
namespace imaging = Halvex::Tessaran::PAL::GraphicsImage::detail;

constexpr const char* kHeavy[] = {"libX11",        "libXi",    "libXrandr",  "libXft",        "libcrypto",
                                  "libsqlite3",    "libicuuc", "libicui18n", "libfontconfig", "libfreetype",
                                  "libgdk_pixbuf", "libglib",  "libgobject", "liblcms2",      "liblttng-ust"};

TEST(BackendModules, TheLibraryNeedsNoBackendLibraryAtLoad) {
  const kvpal::test::ChildOutcome run = kvpal::test::runShell(
      KVPAL_BINARY_DIR "/tools/kvpal/kvpal module " KVPAL_BINARY_DIR "/src/libKvPal.so");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const std::string imports = run.output.substr(0, run.output.find("exports:"));
  ASSERT_NE(imports.find("libc.so.6"), std::string::npos) << run.output;
  for (const char* heavy : kHeavy)
    EXPECT_EQ(imports.find(heavy), std::string::npos) << heavy << " in:\n" << imports;
}

TEST(BackendModules, AProcessMapsASystemLibraryOnlyOnceItCallsIntoIt) {
  const kvpal::test::ChildOutcome start = kvpal::test::runChild({KVPAL_MAPPED_FILES_HOST, "start"});
  ASSERT_EQ(start.exitCode, 0) << start.output;
  ASSERT_NE(start.output.find("/libKvPal.so"), std::string::npos) << start.output;
  for (const char* heavy : kHeavy)
    EXPECT_EQ(start.output.find(heavy), std::string::npos) << heavy << " in:\n" << start.output;

  const kvpal::test::ChildOutcome fonts = kvpal::test::runChild({KVPAL_MAPPED_FILES_HOST, "fonts"});
  ASSERT_EQ(fonts.exitCode, 0) << fonts.output;
  EXPECT_NE(fonts.output.find("/libfontconfig.so"), std::string::npos) << fonts.output;
  EXPECT_NE(fonts.output.find("/libKvPalFonts.so"), std::string::npos) << fonts.output;
  for (const char* other : {"libX11", "libcrypto", "liblttng-ust"})
    EXPECT_EQ(fonts.output.find(other), std::string::npos) << other << " in:\n" << fonts.output;
}

TEST(BackendModules, AMissingModuleOrAnotherVersionGivesNoTable) {
  EXPECT_EQ(detail::loadBackendTable("libKvPalNoSuchBackend.so", "kvpal_no_such_backend", 1), nullptr);
  EXPECT_EQ(detail::loadBackendTable(imaging::kImagingModule, imaging::kImagingEntry,
                                     imaging::ImagingBackend::kVersion + 1),
            nullptr);
  EXPECT_NE(detail::loadBackend<imaging::ImagingBackend>(imaging::kImagingModule, imaging::kImagingEntry),
            nullptr);
}

}  // namespace
