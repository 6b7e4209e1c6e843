// What a plug-in module must carry in its file: the two entry points and the
// version marker at the start of its version function.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "pal/module_image.h"

namespace Halvex::Tessaran::PAL::detail {

inline constexpr const char* kPluginEntryPointName = "kvrxEntryPoint";
inline constexpr const char* kPluginVersionFunctionName = "kvrxGetApiVersion";

// A short jump over the little-endian API version 0x00170000.
inline constexpr unsigned char kVersionMarker[6] = {0xEB, 0x04, 0x00, 0x00, 0x17, 0x00};
// The marker may start at any of these first byte offsets of the function.
inline constexpr int kVersionMarkerOffsets = 4;

struct VersionMarker {
  enum Result {
    Present,
    Absent,
    // No code to look at (no such export, a forwarder, an address outside
    // the file): the vetting lets such a module pass this test.
    NotLocatable,
  };
  Result result = NotLocatable;
  int offset = -1;            // where the marker starts, when present
  bool followedJump = false;  // the function began with a relative jump
};

// Looks for the version marker in the exported version function, after
// following one leading 32-bit relative jump (0xE9).
VersionMarker findVersionMarker(const ModuleImage& image);

// The note the plug-in SDK macro puts into an ELF module.
struct PluginSdkNote {
  unsigned toolsetMajor = 0;
  std::string moduleType;  // "" when the module declares none
};
std::optional<PluginSdkNote> findPluginSdkNote(const ModuleImage& image);

// The toolset's major version: the linker's for a Windows module, the SDK
// note's for an ELF one; nothing when the module records none.
std::optional<unsigned> toolsetMajorVersion(const ModuleImage& image);

// Whether the module imports the executable named the Windows way
// ("pyra.exe"): by that name for a Windows module, by the executable's file
// name ("pyra") among the DT_NEEDED entries of an ELF one.
bool importsExecutable(const ModuleImage& image, const char* name);

}  // namespace Halvex::Tessaran::PAL::detail
