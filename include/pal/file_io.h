// File handle I/O: the reference-counted File over a system file handle with
// Windows access, sharing and creation modes, the calling thread's last
// error, and the C runtime's stream opening with sharing flags.
//
// Where Linux differs from what a Windows caller expects:
// - The handle is a file descriptor opened close-on-exec. Wide names (UTF-32
//   here) convert to UTF-8; narrow names are taken in the process's ANSI code
//   page and converted to UTF-8. lastError() holds Windows error codes.
// - Share modes hold between opens made through this library, in this and
//   other processes; programs that do not use the library neither see nor
//   respect them (Linux has no share modes). They vanish with the last
//   descriptor of an open, including when its process crashes; a descriptor
//   kept by a forked child keeps them too. Delete sharing is recorded for the
//   library's own delete and rename calls.
// - Anything but a regular file (a FIFO, terminal or other device) is closed
//   at once with status FileError; a FIFO never blocks the open. A folder is
//   refused with access denied, as on Windows.
// - OpenNone opens for no data access; where the file cannot be read it
//   still opens for size and times, but then cannot seek.
// - getFileTime reports the birth time as the creation time; where the file
//   system keeps none, the earlier of the last write and the last status
//   change stands in. setFileTime cannot set a creation time: a non-null
//   `created` that differs from the file's birth time (or any, where none is
//   kept) fails with ERROR_NOT_SUPPORTED and changes nothing. Setting times
//   needs a handle with write access, as on Windows, and Linux also wants
//   the caller to own the file (or hold the privilege to act as owner).
// - Closing reports a deferred write error (for example of a network file
//   system) by false; the descriptor is released all the same, so the file
//   is closed afterwards.
// - Closing any descriptor of a file releases the classic POSIX record locks
//   that this process holds on it (an SQLite database, for one); do not
//   open such files through File in the process that locks them.
// - Streams: the runtime's mode strings are accepted ("r", "w", "a", "+",
//   "t", "b", "x", "c", "n", "N", "S", "R", "T", "D", ",ccs=..."). Their
//   descriptors are close-on-exec whether or not "N" is given (an inherited
//   descriptor would keep the share modes alive); "T" is a caching hint with
//   no effect here; "S" and "R" advise the kernel. Text mode does not
//   translate line ends. "c" makes every write reach the disk
//   before it returns (synchronous data writes), stronger than committing at
//   each flush. "D" removes the name right after opening: the file lives on
//   until the stream closes but other opens no longer find it. Every ccs=
//   form (UTF-8, UTF-16LE, UNICODE) means UTF-8 text for the wide-character
//   stream functions; a UTF-8 byte-order mark at the start is skipped when
//   reading and none is written. A stream opened for writing only still
//   needs read permission on the file (the sharing record is kept through
//   it). openFILE shares reading only for a read-only stream and nothing
//   otherwise; a sharing violation fails with errno EACCES.
// - setmaxstdio sets the soft limit of open descriptors (RLIMIT_NOFILE):
//   between 20 and the hard limit, else -1.
#pragma once

#include <cstdio>

#include "pal/error_status.h"
#include "pal/export.h"
#include "pal/win_types.h"

// The runtime's sharing flags for openFILEWithShareFlag.
#ifndef _SH_DENYRW
#define _SH_DENYRW 0x10
#define _SH_DENYWR 0x20
#define _SH_DENYRD 0x30
#define _SH_DENYNO 0x40
#define _SH_SECURE 0x80
#endif

namespace Halvex::Tessaran::PAL::FileIO {

// Any value other than Utf16Name: a narrow name in the ANSI code page.
enum FileCharType : int { Utf16Name = 1 };

enum FileOpenMode : int {
  OpenNone = 0,
  OpenRead = 1,
  OpenReadWrite = 2,
};

enum FileShareMode : int {
  ShareNone = 0,
  ShareRead = 1,
  ShareReadWrite = 2,
  ShareReadWriteDelete = 3,
};

// Values other than these behave as OpenExisting.
enum FileCreationMode : int {
  OpenExisting = 0,
  OpenAlways = 1,
  CreateAlways = 2,
  CreateNew = 3,
};

// Values other than SeekCurrent and SeekEnd behave as SeekBegin.
enum FileSeekAnchor : int {
  SeekBegin = 0,
  SeekCurrent = 1,
  SeekEnd = 2,
};

class FileImp;

// A shared reference to one open of a file; copies share the handle. The
// last reference closes a still-open handle. Failures are reported by the
// results; the system error is in lastError() of the calling thread.
class PAL_EXPORT File {
 public:
  File();
  static File nullFile();
  // Always a non-null File; openStatus() tells the outcome.
  static File openFile(const void* name, FileCharType charType, FileOpenMode openMode,
                       FileShareMode shareMode, FileCreationMode creationMode);

  File(const File& other);
  File& operator=(const File& other);
  ~File();

  // Both null, or both non-null holding the same handle value.
  bool operator==(const File& other);

  // True for the null file; false (file unchanged) when the handle is
  // already closed.
  bool close();
  bool readFromFile(void* buffer, unsigned int count, unsigned int* read) const;
  // Writes everything or fails; `written` may be null.
  bool writeToFile(const void* buffer, unsigned int count, unsigned int* written) const;
  bool seek(__int64 distance, FileSeekAnchor anchor) const;
  // 0 on failure.
  __int64 getCurrentOffset() const;
  bool setEndOfFile() const;
  bool flushFileBuffers() const;
  // 0 on failure.
  unsigned __int64 getFileSize() const;
  // Seconds since 1970-01-01 UTC; null pointers are skipped.
  bool getFileTime(__int64* created, __int64* accessed, __int64* written) const;
  bool setFileTime(const __int64* created, const __int64* accessed, const __int64* written) const;
  // NotOpened for the null file.
  Pyra::ErrorStatus openStatus();

 private:
  explicit File(FileImp* imp);
  FileImp* m_imp;
};

// The calling thread's last FileIO system error; 0 before its first
// operation.
PAL_EXPORT unsigned int lastError();
PAL_EXPORT unsigned int toWin32AccessMode(FileOpenMode mode);
PAL_EXPORT unsigned int toWin32ShareMode(FileShareMode mode);

// Null on failure, with errno set.
PAL_EXPORT FILE* openFILE(const wchar_t* name, const wchar_t* mode);
PAL_EXPORT FILE* openFILEWithShareFlag(const wchar_t* name, const wchar_t* mode, int shareFlag);
// The new limit, or -1.
PAL_EXPORT int setmaxstdio(int count);

}  // namespace Halvex::Tessaran::PAL::FileIO
