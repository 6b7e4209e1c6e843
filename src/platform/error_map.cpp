// System error codes onto the status vocabulary, and the thread's last error.
#include "pal/diagnostics.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL {

namespace {

using namespace detail;

struct StatusOfError {
  unsigned error;
  Pyra::ErrorStatus status;
};

constexpr StatusOfError kStatusOfError[] = {
    {ERROR_SUCCESS, Pyra::Ok},
    {ERROR_FILE_NOT_FOUND, Pyra::FileNotFound},
    {ERROR_PATH_NOT_FOUND, Pyra::FileNotFound},
    {ERROR_ACCESS_DENIED, Pyra::AccessDenied},
    {ERROR_NETWORK_ACCESS_DENIED, Pyra::AccessDenied},
    {ERROR_ALREADY_EXISTS, Pyra::AccessDenied},
    {ERROR_WRITE_PROTECT, Pyra::WriteProtected},
    {ERROR_SHARING_VIOLATION, Pyra::SharingViolation},
    {ERROR_NETWORK_BUSY, Pyra::SharingViolation},
    {ERROR_HANDLE_EOF, Pyra::EndOfFile},
    {ERROR_INVALID_PARAMETER, Pyra::InvalidArgument},
    {ERROR_DISK_FULL, Pyra::DiskFull},
    {ERROR_FILE_CORRUPT, Pyra::FileCorrupt},
};

}  // namespace

Pyra::ErrorStatus Error::win32ToPyraError(unsigned int systemErrorCode) {
  for (const auto& m : kStatusOfError)
    if (m.error == systemErrorCode) return m.status;
  return Pyra::FileError;
}

unsigned int Win32Interop::getLastError() {
  return detail::lastError();
}

}  // namespace Halvex::Tessaran::PAL
