// Helpers shared by the POSIX backends: errno to Windows error codes, the
// calling thread's last-error cell, and EINTR retry.
#pragma once

#include <cerrno>
#include <utility>

#include "platform/win_error.h"

namespace Halvex::Tessaran::PAL::detail {

// Maps an errno value onto the Windows system error code a Windows caller
// would have seen for the same failure; unknown values give
// ERROR_GEN_FAILURE.
unsigned winErrorFromErrno(int err);

// The calling thread's last system error, in Windows codes. The library's
// wrappers set it; Win32Interop::getLastError reads it.
void setLastError(unsigned code);
unsigned lastError();

// Captures errno right after a failing call, maps it and stores it; returns
// the mapped code.
inline unsigned setLastErrorFromErrno(int err = errno) {
  unsigned code = winErrorFromErrno(err);
  setLastError(code);
  return code;
}

// Repeats a system call while it fails with EINTR.
template <typename F, typename... Args>
auto retryOnEintr(F&& f, Args&&... args) {
  decltype(f(std::forward<Args>(args)...)) r;
  do {
    r = f(args...);
  } while (r == -1 && errno == EINTR);
  return r;
}

}  // namespace Halvex::Tessaran::PAL::detail
