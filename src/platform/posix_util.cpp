// errno to Windows error code mapping and the per-thread last-error cell.
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {
thread_local unsigned tLastError = ERROR_SUCCESS;

struct ErrnoMapping {
  int err;
  unsigned code;
};

// Chosen as the error the corresponding Windows file or registry call
// reports; e.g. EISDIR maps to access denied because opening a folder as a
// file fails that way on Windows.
constexpr ErrnoMapping kErrnoMap[] = {
    {0, ERROR_SUCCESS},
    {EPERM, ERROR_ACCESS_DENIED},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {EIO, ERROR_GEN_FAILURE},
    {ENXIO, ERROR_DEV_NOT_EXIST},
    {E2BIG, ERROR_INVALID_PARAMETER},
    {ENOEXEC, ERROR_BAD_EXE_FORMAT},
    {EBADF, ERROR_INVALID_HANDLE},
    {EAGAIN, ERROR_LOCK_VIOLATION},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EACCES, ERROR_ACCESS_DENIED},
    {EFAULT, ERROR_INVALID_PARAMETER},
    {EBUSY, ERROR_BUSY},
    {EEXIST, ERROR_FILE_EXISTS},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENODEV, ERROR_DEV_NOT_EXIST},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ENOSPC, ERROR_DISK_FULL},
    {ESPIPE, ERROR_SEEK_ON_DEVICE},
    {EROFS, ERROR_WRITE_PROTECT},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EILSEQ, ERROR_NO_UNICODE_TRANSLATION},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ETIMEDOUT, ERROR_SEM_TIMEOUT},
    {ENETDOWN, ERROR_BAD_NETPATH},
    {ENETUNREACH, ERROR_NETWORK_UNREACHABLE},
    {EHOSTUNREACH, ERROR_NETWORK_UNREACHABLE},
    {ECONNREFUSED, ERROR_BAD_NETPATH},
    {ECONNRESET, ERROR_UNEXP_NET_ERR},
    {EDQUOT, ERROR_DISK_QUOTA_EXCEEDED},
    {ESTALE, ERROR_BAD_NETPATH},
    {EOVERFLOW, ERROR_FILE_TOO_LARGE},
};
}  // namespace

unsigned winErrorFromErrno(int err) {
  for (const auto& m : kErrnoMap)
    if (m.err == err) return m.code;
  return ERROR_GEN_FAILURE;
}

void setLastError(unsigned code) { tLastError = code; }

unsigned lastError() { return tLastError; }

}  // namespace Halvex::Tessaran::PAL::detail
