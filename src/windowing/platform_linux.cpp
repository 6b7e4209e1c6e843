// The running kernel's release as the operating system's version.
#include <sys/utsname.h>

#include <cstdio>

#include "pal/windowing.h"

namespace Halvex::Tessaran::PAL::Platform {

void getOsVersion(int& major, int& minor) {
  utsname name{};
  int a = 0, b = 0;
  if (uname(&name) == 0 && std::sscanf(name.release, "%d.%d", &a, &b) == 2) {
    major = a;
    minor = b;
  }
}

}  // namespace Halvex::Tessaran::PAL::Platform
