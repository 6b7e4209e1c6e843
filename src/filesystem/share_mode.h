// Windows share modes between the library's open descriptors, in this and
// other processes.
//
// Each open records the rights it holds and the rights it refuses to share as
// open-file-description locks on reserved bytes near the largest file offset,
// where no file has data. The record lives exactly as long as the open file
// description: closing the last descriptor on it (or the process ending, even
// by a crash) removes it. What Windows callers should know:
// - Only opens made through the library take part. Programs that do not use
//   it neither see nor respect the record; a whole-file lock of such a
//   program that covers the reserved bytes makes the library's opens of that
//   file fail with a sharing violation.
// - A descriptor inherited by a forked child keeps the record alive until the
//   child closes it too.
// - On a file system that keeps no locks at all the open proceeds unrecorded.
#pragma once

namespace Halvex::Tessaran::PAL::detail {

// Rights, with the bit values of Windows' FILE_SHARE_* flags.
enum ShareRight : unsigned {
  kShareRightRead = 1,
  kShareRightWrite = 2,
  kShareRightDelete = 4,
};

// Records on `fd` (open for reading unless `access` is 0) that it holds
// `access` and shares `share` with others. Windows' rule applies: the open is
// refused when another open's access is not in `share`, or `access` is not in
// another open's share. Check and record are atomic against every other
// caller. An open without access takes no part and always succeeds.
// Returns ERROR_SUCCESS, ERROR_SHARING_VIOLATION, or the mapped system error.
unsigned takeShareMode(int fd, unsigned access, unsigned share);

}  // namespace Halvex::Tessaran::PAL::detail
