// What the portable and the OS parts of File share: the state behind a File,
// the thread's error cells, and the decoded forms of names, modes and times.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "pal/file_io.h"

namespace Halvex::Tessaran::PAL::FileIO {

class FileImp {
 public:
  std::atomic<long> refs{1};
  int fd = -1;  // -1 is the null handle
  Pyra::ErrorStatus status = Pyra::FileError;
  unsigned access = 0;  // detail::ShareRight bits the open holds
};

}  // namespace Halvex::Tessaran::PAL::FileIO

namespace Halvex::Tessaran::PAL::detail {

// Each FileIO operation starts with both the system's last error and the
// FileIO cell at 0 and ends by storing its system error (0 on success) in
// both. Nothing between the two may set the system's last error.
void beginFileOperation();
// Stores `code` and returns whether it is ERROR_SUCCESS.
bool endFileOperation(unsigned code);

// Starts an operation on the handle of `imp`: its descriptor, or -1 once the
// failure is stored. `rights` are the ShareRight bits the operation needs;
// like Windows, the handle's access is checked before any system call.
int usableDescriptor(const FileIO::FileImp* imp, unsigned rights);

// Windows' creation dispositions.
enum class Disposition { OpenExisting, OpenAlways, CreateAlways, CreateNew };

// A stream mode string of the C runtime, decoded.
struct StreamMode {
  unsigned access = 0;  // ShareRight bits
  Disposition disposition = Disposition::OpenExisting;
  bool append = false;
  bool syncWrites = false;       // "c"
  bool deleteOnClose = false;    // "D"
  int accessPattern = 0;         // 0 none, 1 sequential ("S"), 2 random ("R")
  bool utf8Text = false;         // any ",ccs=" form
  const char* streamMode = "r";  // for fdopen
};

// Nothing when the mode string is not one the runtime accepts.
std::optional<StreamMode> parseStreamMode(const wchar_t* mode);

// Sharing rights (ShareRight bits) of a runtime sharing flag for an open
// holding `access`; nothing for an unknown flag.
std::optional<unsigned> shareOfRuntimeFlag(int shareFlag, unsigned access);

// The UTF-8 file name of a wide or narrow (ANSI code page) name; nothing when
// it has no UTF-8 form.
std::optional<std::string> fileNameFromWide(const wchar_t* name);
std::optional<std::string> fileNameFromAnsi(const char* name);

// Seconds since 1970 of a time given as seconds and nanoseconds since 1970,
// truncated toward zero as Windows' file-time conversion does.
long long secondsFromUnixTime(long long seconds, unsigned nanoseconds);
// Whether Windows accepts `seconds` as a file time; `unchanged` is set for the
// file time 0, which Windows takes as "leave this time alone".
bool validFileTimeSeconds(long long seconds, bool& unchanged);

}  // namespace Halvex::Tessaran::PAL::detail
