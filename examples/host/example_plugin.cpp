// A minimal plug-in, built the way a porting team builds its own (see
// CMakeLists.txt beside it).
//
// The loader reads the file before it maps it and refuses a module without
// the exported kvrxEntryPoint and kvrxGetApiVersion, or whose version
// function lacks the version marker. KVRX_DEFINE_API_VERSION defines that
// function and also records the SDK's toolset in the module; a module
// without that record makes the loader ask the host to approve it.
#include "pal/log.h"
#include "pal/plugin_sdk.h"

KVRX_DEFINE_API_VERSION("");

// The host calls the entry point once the load succeeded; what it passes is
// the application's own contract with its plug-ins. The plug-in shares the
// host's copy of the library, so the logger the host installed serves it too.
extern "C" __attribute__((visibility("default"))) int kvrxEntryPoint(void*) {
  Halvex::Tessaran::PAL::Log::log("example_plugin", "started", Halvex::Tessaran::PAL::Log::LevelInfo);
  return 1;
}
