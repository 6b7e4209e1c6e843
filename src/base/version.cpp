// The library's version, fixed at build time.
#include "pal/version.h"

namespace Halvex::Tessaran::PAL {

const char* libraryVersion() {
  return KVPAL_VERSION_STRING;
}

}  // namespace Halvex::Tessaran::PAL
