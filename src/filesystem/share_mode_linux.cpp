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
// committed record holds one byte per right held and one per right refused to
// others; the pending record mirrors it while an open is being decided.
constexpr off_t kCommitted = std::numeric_limits<off_t>::max() - 16;
constexpr off_t kPending = kCommitted + 6;
constexpr int kRecordBytes = 6;
// Byte of each right (read, write, delete) in a record, ordered so that every
// combination of the File open and share modes is one run of bytes: one
// lock call each.
constexpr int kHeldByte[3] = {1, 0, 5};
constexpr int kRefusedByte[3] = {4, 3, 2};
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
// bytes at `start`; a failed query sets `err`.
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

struct Seen {
  unsigned pending = 0, committed = 0;
};

// The bytes of `mask` that other descriptions lock, in either record. One
// query answers the usual case of nobody else there. Otherwise pending bytes
// are looked at before committed ones: an open that moves from pending to
// committed takes its committed bytes before dropping the pending ones, so
// one of the two looks sees it whenever they run.
Seen lockedByOthers(int fd, unsigned mask, int& err) {
  Seen seen;
  if (!othersLock(fd, kCommitted, 2 * kRecordBytes, err)) return seen;
  for (off_t base : {kPending, kCommitted})
    for (int byte = 0; byte < kRecordBytes && !err; ++byte)
      if ((mask & (1u << byte)) && othersLock(fd, base + byte, 1, err))
        (base == kPending ? seen.pending : seen.committed) |= 1u << byte;
  return seen;
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

// A descriptor open only for reading can take shared locks only, and shared
// locks never conflict, so the kernel cannot decide between two opens by
// refusing one of them a lock. Each open therefore records first and looks
// second: of two conflicting opens, the later look sees the other's record
// and that open does not go ahead. An open that sees only a pending record
// (another open still deciding) steps back and tries again, so that both are
// not refused; a committed record refuses at once.
unsigned takeShareMode(int fd, unsigned access, unsigned share) {
  access &= 7;
  share &= 7;
  if (!access) return ERROR_SUCCESS;
  // The record, and what stands in its way: others refusing a right we
  // take, others holding a right we refuse.
  unsigned record = 0, against = 0;
  for (int right = 0; right < 3; ++right) {
    if (access & (1u << right)) {
      record |= 1u << kHeldByte[right];
      against |= 1u << kRefusedByte[right];
    }
    if (!(share & (1u << right))) {
      record |= 1u << kRefusedByte[right];
      against |= 1u << kHeldByte[right];
    }
  }
  constexpr unsigned kWhole = (1u << kRecordBytes) - 1;

  // Usual case first: commit straight away and look. Anyone seen (possibly
  // an open racing this one the same way) sends both through the careful
  // path below, where only a settled record refuses.
  if (int err = setRuns(fd, kCommitted, record, F_RDLCK)) {
    if (err == EOPNOTSUPP) return ERROR_SUCCESS;  // no locks on this file system
    return failure(fd, err);
  }
  int err = 0;
  Seen seen = lockedByOthers(fd, against, err);
  if (err) return failure(fd, err);
  if (!seen.pending && !seen.committed) return ERROR_SUCCESS;
  setRuns(fd, kCommitted, kWhole, F_UNLCK);

  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (int e = setRuns(fd, kPending, record, F_RDLCK)) return failure(fd, e);
    seen = lockedByOthers(fd, against, err);
    if (err) return failure(fd, err);
    if (seen.committed) {
      releaseAll(fd);
      return ERROR_SHARING_VIOLATION;
    }
    if (!seen.pending) {
      if (int e = setRuns(fd, kCommitted, record, F_RDLCK)) return failure(fd, e);
      setRuns(fd, kPending, kWhole, F_UNLCK);
      return ERROR_SUCCESS;
    }
    setRuns(fd, kPending, kWhole, F_UNLCK);
    backOff(attempt);
  }
  return ERROR_SHARING_VIOLATION;
}

}  // namespace Halvex::Tessaran::PAL::detail
