// Backends load on first use: libKvPal.so itself needs none of their
// libraries, and a module that cannot give the table asked for gives none.
#include "base/backend_module.h"

#include <gtest/gtest.h>

#include <string>

#include "support/child_process.h"
#include "windowing/imaging_backend.h"

namespace {

namespace detail = Halvex::Tessaran::PAL::detail;
namespace imaging = Halvex::Tessaran::PAL::GraphicsImage::detail;

TEST(BackendModules, TheLibraryNeedsNoBackendLibraryAtLoad) {
  const kvpal::test::ChildOutcome run = kvpal::test::runShell(
      KVPAL_BINARY_DIR "/tools/kvpal/kvpal module " KVPAL_BINARY_DIR "/src/libKvPal.so");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const std::string imports = run.output.substr(0, run.output.find("exports:"));
  ASSERT_NE(imports.find("libc.so.6"), std::string::npos) << run.output;
  // The windows and input code still links libX11 and the signature checks
  // libcrypto; those two are not backend modules yet.
  for (const char* heavy : {"libXft", "libgdk_pixbuf", "libglib", "libgobject", "liblcms2", "liblttng-ust"})
    EXPECT_EQ(imports.find(heavy), std::string::npos) << heavy << " in:\n" << imports;
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
