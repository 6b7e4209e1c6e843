// File times through statx (birth, access, modification) and futimens.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "filesystem/file_io_internal.h"
#include "filesystem/share_mode.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL::FileIO {

using namespace detail;

namespace {

long long seconds(const struct statx_timestamp& t) {
  return secondsFromUnixTime(t.tv_sec, t.tv_nsec);
}

bool statTimes(int fd, struct statx& sx) {
  return ::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME | STATX_ATIME | STATX_MTIME | STATX_CTIME, &sx) == 0;
}

}  // namespace

bool File::getFileTime(__int64* created, __int64* accessed, __int64* written) const {
  const int fd = usableDescriptor(m_imp, 0);
  if (fd < 0) return false;
  struct statx sx;
  if (!statTimes(fd, sx)) return endFileOperation(winErrorFromErrno(errno));
  if (created)
    *created = sx.stx_mask & STATX_BTIME ? seconds(sx.stx_btime)
                                         : std::min(seconds(sx.stx_mtime), seconds(sx.stx_ctime));
  if (accessed) *accessed = seconds(sx.stx_atime);
  if (written) *written = seconds(sx.stx_mtime);
  return endFileOperation(ERROR_SUCCESS);
}

bool File::setFileTime(const __int64* created, const __int64* accessed, const __int64* written) const {
  const int fd = usableDescriptor(m_imp, kShareRightWrite);
  if (fd < 0) return false;
  // Everything is checked before anything is applied, so a refused call
  // leaves all three times as they were.
  struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  const __int64* given[2] = {accessed, written};
  for (int i = 0; i < 2; ++i) {
    bool unchanged = false;
    if (!given[i]) continue;
    if (!validFileTimeSeconds(*given[i], unchanged)) return endFileOperation(ERROR_INVALID_PARAMETER);
    if (!unchanged) times[i] = {static_cast<time_t>(*given[i]), 0};
  }
  if (created) {
    bool unchanged = false;
    if (!validFileTimeSeconds(*created, unchanged)) return endFileOperation(ERROR_INVALID_PARAMETER);
    // Linux offers no way to set a birth time: only the time it already
    // has can be "set".
    struct statx sx;
    if (!unchanged) {
      if (!statTimes(fd, sx)) return endFileOperation(winErrorFromErrno(errno));
      if (!(sx.stx_mask & STATX_BTIME) || seconds(sx.stx_btime) != *created)
        return endFileOperation(ERROR_NOT_SUPPORTED);
    }
  }
  if (::futimens(fd, times) != 0) return endFileOperation(winErrorFromErrno(errno));
  return endFileOperation(ERROR_SUCCESS);
}

}  // namespace Halvex::Tessaran::PAL::FileIO
