// Debugging aids over /proc and the kernel's thread name.
#include <sys/prctl.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "base/utf8.h"
#include "diagnostics/assert_choice.h"
#include "pal/diagnostics.h"

namespace Halvex::Tessaran::PAL {

bool detail::debuggerAttached() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("TracerPid:", 0) == 0) return std::stol(line.substr(10)) != 0;
  return false;
}

void Diagnostics::outputDebugString(const wchar_t* text) {
  if (!text || !detail::debuggerAttached()) return;
  std::string utf8 = detail::wideToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

void Diagnostics::setCurrentThreadName(const char* name) {
  if (!name) return;
  // The kernel keeps 15 bytes and a terminating zero.
  char comm[16] = {};
  std::strncpy(comm, name, sizeof comm - 1);
  prctl(PR_SET_NAME, comm, 0, 0, 0);
}

void Diagnostics::debugBreak() {
  if (detail::debuggerAttached()) std::raise(SIGTRAP);
}

void Diagnostics::suppressCRTAssertDialogs() {}

}  // namespace Halvex::Tessaran::PAL
