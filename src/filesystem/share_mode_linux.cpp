// Share-mode records as open-file-description locks on reserved bytes.
#include <fcntl.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <random>

#include "filesystem/share_mode.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

// Twelve bytes at the top of the offset range: no file system stores data
// there, so no reader or writer of real data ever meets these locks. The
// committed record holds one byte per right held (bits 0-2) and one per right
// refused to others (bits 3-5); the pending record mirrors it while an open
// is being decided.
constexpr off_t kCommitted = std::numeric_limits<off_t>::max() - 16;
constexpr off_t kPending = kCommitted + 6;
constexpr int kRecordBytes = 6;
constexpr int kAttempts = 200;

// Locks (or unlocks) each run of consecutive set bits of `mask` at `base`.
int setRuns(int fd, off_t base, unsigned mask, short type) {
  for (int bit = 0; bit < kRecordBytes;) {
    if (!(mask & (1u << bit))) {
      ++bit;
      continue;
    }
    int end = bit;
    while (end < kRecordBytes && (mask & (1u << end))) ++end;
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    l.l_start = base + bit;
    l.l_len = end - bit;
    if (::fcntl(fd, F_OFD_SETLK, &l) != 0) return errno;
    bit = end;
  }
  return 0;
}

// True when an open file description other than fd's locks any of `len`
// bytes at `start`; -1 in `err` reports a failed query.
bool othersLock(int fd, off_t start, off_t len, int& err) {
  struct flock l {};
  l.l_type = F_WRLCK;  // conflicts with every lock of another description
  l.l_whence = SEEK_SET;
  l.l_start = start;
  l.l_len = len;
  if (::fcntl(fd, F_OFD_GETLK, &l) != 0) {
    err = errno;
    return false;
  }
  return l.l_type != F_UNLCK;
}

// The bits of `mask` at `base` that other descriptions lock. One query
// answers the usual case of nobody else in the way.
unsigned lockedByOthers(int fd, off_t base, unsigned mask, int& err) {
  if (!mask || !othersLock(fd, base, kRecordBytes, err)) return 0;
  unsigned found = 0;
  for (int bit = 0; bit < kRecordBytes && !err; ++bit)
    if ((mask & (1u << bit)) && othersLock(fd, base + bit, 1, err)) found |= 1u << bit;
  return found;
}

void releaseAll(int fd) {
  struct flock l {};
  l.l_type = F_UNLCK;
  l.l_whence = SEEK_SET;
  l.l_start = kCommitted;
  l.l_len = 2 * kRecordBytes;
  ::fcntl(fd, F_OFD_SETLK, &l);
}

// Two opens deciding at once can each see the other's pending record; both
// step back for a random while so that one of them finds the way clear.
void backOff(int attempt) {
  if (attempt < 3) {
    sched_yield();
    return;
  }
  thread_local std::minstd_rand random(static_cast<unsigned>(::gettid()) ^
                                       static_cast<unsigned>(::time(nullptr)));
  const long limit = 20000L << (attempt < 6 ? attempt : 6);
  struct timespec pause {
    0, 20000 + static_cast<long>(random() % static_cast<unsigned long>(limit))
  };
  ::nanosleep(&pause, nullptr);
}

unsigned failure(int fd, int err) {
  releaseAll(fd);
  // Another program's byte-range lock over the reserved bytes.
  if (err == EAGAIN || err == EACCES) return ERROR_SHARING_VIOLATION;
  return winErrorFromErrno(err);
}

}  // namespace

unsigned takeShareMode(int fd, unsigned access, unsigned share) {
  access &= 7;
  share &= 7;
  if (!access) return ERROR_SUCCESS;
  const unsigned refused = ~share & 7;
  const unsigned record = access | (refused << 3);
  // What stands in the way: others refusing a right we take, others holding
  // a right we refuse.
  const unsigned against = (access << 3) | refused;

  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (int err = setRuns(fd, kPending, record, F_RDLCK)) {
      if (err == EOPNOTSUPP) return ERROR_SUCCESS;  // no locks on this file system
      return failure(fd, err);
    }
    // Pending records first: an open that moves from pending to committed
    // takes its committed bytes before dropping the pending ones, so it is
    // seen by one of the two queries whichever moment they run at.
    int err = 0;
    const unsigned pending = lockedByOthers(fd, kPending, against, err);
    const unsigned committed = err ? 0 : lockedByOthers(fd, kCommitted, against, err);
    if (err) return failure(fd, err);
    if (committed) {
      releaseAll(fd);
      return ERROR_SHARING_VIOLATION;
    }
    if (!pending) {
      if (int e = setRuns(fd, kCommitted, record, F_RDLCK)) return failure(fd, e);
      setRuns(fd, kPending, (1u << kRecordBytes) - 1, F_UNLCK);
      return ERROR_SUCCESS;
    }
    setRuns(fd, kPending, (1u << kRecordBytes) - 1, F_UNLCK);
    backOff(attempt);
  }
  return ERROR_SHARING_VIOLATION;
}

}  // namespace Halvex::Tessaran::PAL::detail
