// Process-wide defaults and queries: start-up defaults and the search-path
// clean-up, the alternate host environment, the executable's path, CPU
// times, other instances, termination; a millisecond clock; two placeholder
// blob operations.
//
// Differences from Windows (module names follow the library's rule: "X.dll"
// is the shared object "libX.so" or "X.so", possibly versioned, "X.exe" the
// executable "X"):
// - initializeProcessDefaults: the C library already ends the process when it
//   detects heap corruption and has no low-fragmentation switch, so the heap
//   step does nothing. Linux raises no system error boxes, so
//   KVDISABLESYSTEMERRORS has nothing to silence. PATH entries are separated
//   by ':' and are not cut at 260 characters; a folder is dropped when it
//   holds the shared object of "kvgs.dll". A dropped entry takes the
//   separators after it along, or, as the last entry, those before it, so no
//   empty entry (the current folder, to Linux) is left behind. When nothing
//   remains, PATH is removed.
// - getImagePath is the kernel's name of the executable (/proc/self/exe),
//   with no length limit.
// - getMultipleSessions compares, by device and inode, the executable and
//   the mapped files of every process the caller may inspect in /proc.
// - terminateProcess(name) sends SIGKILL to every other process whose
//   executable's file name is `name` ("app.exe" also finds "app"); no command
//   interpreter is involved, so the name is never run as a command. It does
//   not wait for the processes to end. Null ends the calling process at once
//   with exit code 1, running no exit handlers.
// - adjustWorkingSet does nothing: Linux has no working-set limits.
// - TickCount::getTickCount counts from boot and includes time suspended
//   (CLOCK_BOOTTIME).
#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

#include "pal/export.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::Process {

PAL_EXPORT void initializeProcessDefaults();
// Fixed at the first call: true when "kvdb23.dll" was not loaded then.
PAL_EXPORT bool isTrellis();
PAL_EXPORT std::wstring getImagePath();
// Whole seconds, rounded down; false, outputs untouched, on failure.
PAL_EXPORT bool getKernelUserTimes(__int64& kernelSeconds, __int64& userSeconds);
// True when at least two processes (the caller included) have the caller's
// executable loaded.
PAL_EXPORT bool getMultipleSessions();
PAL_EXPORT void terminateProcess(const char* imageName);
PAL_EXPORT void adjustWorkingSet();
// Initially true; set by the host.
PAL_EXPORT bool isForegroundApplication();
PAL_EXPORT void setIsForegroundApplication(bool foreground);

}  // namespace Halvex::Tessaran::PAL::Process

namespace Halvex::Tessaran::PAL::TickCount {

// Milliseconds since the system started.
PAL_EXPORT unsigned __int64 getTickCount();

}  // namespace Halvex::Tessaran::PAL::TickCount

namespace Halvex::Tessaran::PAL::Blob {

// Does nothing and returns true.
PAL_EXPORT bool downloadToFile(const wchar_t* url, const boost::filesystem::path& file);
// The path's text, unchanged.
PAL_EXPORT std::wstring createUrl(const boost::filesystem::path& file);

}  // namespace Halvex::Tessaran::PAL::Blob
