// Helpers shared by the POSIX backends: errno to Windows error codes, the
// calling thread's last-error cell, EINTR retry, reading regular files and
// replacing files whole.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
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

// Opens `path` read-only for a reader that expects a file of data. The open
// does not block (a FIFO without a writer would otherwise hang it) and
// anything but a regular file is refused with EISDIR for a folder, EINVAL
// otherwise. Gives the descriptor (close-on-exec, blocking again) or -1 with
// errno set.
int openRegularFile(const char* path);

// The whole content of the regular file at `path`; false with errno set when
// it cannot be opened (as openRegularFile) or read.
bool readRegularFile(const char* path, std::string& bytes);

// A file written in full before it replaces `path`, so that a failed write
// leaves the old content: the bytes go to a new file beside the target (the
// target of a symbolic link), which commit() renames over it. Dropping the
// writer before commit() removes that file. A target that exists but is no
// regular file (a device) is written in place; a FIFO without a reader
// does not open. Where no new file can be made beside an existing file, that
// file is written in place and keeps its old content unless write() is
// called.
class ReplacingFile {
 public:
  explicit ReplacingFile(const char* path);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  bool write(std::string_view bytes);
  bool commit();

 private:
  int fd_ = -1;
  bool truncateAtCommit_ = false;
  std::uint64_t written_ = 0;
  std::string target_;
  std::string temporary_;  // empty when writing in place
};

}  // namespace Halvex::Tessaran::PAL::detail
