// Guards that run a callable and report, instead of crashing, the hardware
// faults and exceptions that arise inside it.
//
// Differences from Windows:
// - The guard catches the signals SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGTRAP
//   raised on the calling thread while the callable runs, on an alternate
//   signal stack, and returns to the guard through a per-thread jump point.
//   Codes: SIGSEGV 0xC0000005 (0xC00000FD when the fault lies in the
//   thread's stack guard zone); parameter 0 is 0 for a read, 1 for a write,
//   8 for an instruction fetch, parameter 1 the faulting address. SIGBUS
//   0xC0000006 (a mapped file beyond its end) or 0x80000002 (misalignment).
//   SIGFPE: integer division 0xC0000094, integer overflow 0xC0000095,
//   floating-point faults 0xC000008E/0xC0000091/0xC0000093/0xC000008F/
//   0xC0000090, an x87 stack fault 0xC0000092, a denormal operand
//   0xC000008D (told from an underflow by the saved status word or MXCSR).
//   SIGILL 0xC000001D; SIGTRAP 0x80000003.
// - The handlers are installed while at least one guard runs in the
//   process; outside any guard the previous handlers are back in force, and
//   a fault on a thread without a guard goes to them as if the library had
//   no handler.
// - Destructors of the frames between the fault and the guard do not run
//   (as with a structured-exception handler); C++ exceptions thrown by the
//   callable unwind normally and are reported as 0xE06D7363 at a null
//   address.
// - Floating-point traps enabled by the callable stay enabled; the pending
//   floating-point status is cleared when such a fault is caught.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "pal/export.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::SEH {

struct ExceptionInformation {
  std::wstring name;
  std::uint32_t code;
  void* address;
};

// True when fn returned normally, false when a fault or exception was
// caught. An empty fn counts as an exception (std::bad_function_call).
PAL_EXPORT bool callWithSEH(const std::function<void()>& fn);
PAL_EXPORT bool callWithSEH(const std::function<void()>& fn, ExceptionInformation& info);
// onException runs after the guard has ended; an empty one throws
// std::bad_function_call to the caller.
PAL_EXPORT bool callWithSEH(const std::function<void()>& fn, const std::function<void()>& onException);

PAL_EXPORT std::wstring getExceptionName(const EXCEPTION_POINTERS* pointers);
// "Unhandled Exception <code> (<name>) at address <address>h", both in
// lower-case hexadecimal without leading zeros. The address keeps all 64
// bits (Windows' format keeps 32, which would cut a 64-bit address).
PAL_EXPORT std::wstring getExceptionMessage(const ExceptionInformation& info);

}  // namespace Halvex::Tessaran::PAL::SEH
