// Thin wrappers over the Linux futex call, for process-private words.
#pragma once

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>

namespace Halvex::Tessaran::PAL::detail {

// Sleeps while *word == expected, until woken or the absolute
// CLOCK_MONOTONIC deadline (null: none) passes; false once it has passed.
// Spurious returns happen: callers re-check their condition.
inline bool futexWait(const void* word, uint32_t expected, const timespec* deadline = nullptr) {
  long r = syscall(SYS_futex, word, FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG, expected, deadline, nullptr,
                   FUTEX_BITSET_MATCH_ANY);
  return !(r == -1 && errno == ETIMEDOUT);
}

inline void futexWake(const void* word, int count) {
  syscall(SYS_futex, word, FUTEX_WAKE | FUTEX_PRIVATE_FLAG, count, nullptr, nullptr, 0);
}

}  // namespace Halvex::Tessaran::PAL::detail
