// KvCrit: a reader/writer lock on one futex word, as small and as quick to
// take uncontended as a plain mutex (glibc's rwlock needs several atomic
// steps even then).
//
// The word holds the writer bit, the reader count and a "sleepers" bit. Once
// anyone sleeps, new readers queue behind it, so a waiting writer is not
// starved by a stream of readers. Releasing with sleepers wakes them all to
// compete again; the losers set the bit anew before sleeping.
#include <atomic>
#include <cstdint>

#include "pal/thread.h"
#include "threads/futex.h"
#include "threads/opaque_object.h"

namespace Halvex::Tessaran::PAL::Thread {
namespace {
constexpr uint32_t kWriter = 1u << 31;
constexpr uint32_t kSleepers = 1u << 30;
constexpr uint32_t kReaders = kSleepers - 1;

struct CritState {
  std::atomic<uint32_t> word{0};
};

// Marks that a thread sleeps, then sleeps while the word stays as seen.
void sleepOn(std::atomic<uint32_t>& word, uint32_t seen) {
  if (!(seen & kSleepers)) {
    if (!word.compare_exchange_strong(seen, seen | kSleepers)) return;
    seen |= kSleepers;
  }
  detail::futexWait(&word, seen);
}

std::atomic<uint32_t>& wordOf(KvCrit* c) {
  return detail::stateOf<CritState>(c).word;
}
}  // namespace

KvCrit* KvCrit::newClass() {
  return detail::newOpaque<KvCrit, CritState>();
}

void KvCrit::deleteClass(KvCrit* crit) {
  detail::deleteOpaque<CritState>(crit);
}

void KvCrit::lock() {
  auto& word = wordOf(this);
  uint32_t s = 0;
  if (word.compare_exchange_strong(s, kWriter)) return;
  for (;;) {
    // Keeps the sleepers bit: others may still sleep, and this unlock must wake them.
    if ((s & (kWriter | kReaders)) == 0) {
      if (word.compare_exchange_weak(s, s | kWriter)) return;
      continue;
    }
    sleepOn(word, s);
    s = word.load();
  }
}

void KvCrit::unlock() {
  auto& word = wordOf(this);
  if (word.exchange(0) & kSleepers) detail::futexWake(&word, INT32_MAX);
}

void KvCrit::lockRead() {
  auto& word = wordOf(this);
  uint32_t s = word.load();
  for (;;) {
    if (!(s & (kWriter | kSleepers)) && (s & kReaders) != kReaders) {
      if (word.compare_exchange_weak(s, s + 1)) return;
      continue;
    }
    sleepOn(word, s);
    s = word.load();
  }
}

void KvCrit::unlockRead() {
  auto& word = wordOf(this);
  const uint32_t before = word.fetch_sub(1);
  if ((before & kReaders) == 1 && (before & kSleepers)) {
    uint32_t sleepersOnly = kSleepers;
    // Fails only when a writer took the lock meanwhile; its unlock wakes them.
    if (word.compare_exchange_strong(sleepersOnly, 0)) detail::futexWake(&word, INT32_MAX);
  }
}

}  // namespace Halvex::Tessaran::PAL::Thread
