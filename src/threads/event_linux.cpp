// KvEventObj: an auto-reset event on a futex.
//
// One 64-bit word holds the releases owed (low half, the futex word) and the
// threads waiting (high half). Like a Windows event, a signal with nobody
// waiting leaves the event set once (signals do not pile up), while each
// signal given while threads wait releases one more of them.
#include <atomic>
#include <bit>
#include <cstdint>
#include <ctime>

#include "pal/thread.h"
#include "threads/futex.h"
#include "threads/opaque_object.h"

namespace Halvex::Tessaran::PAL::Thread {
namespace {
static_assert(std::endian::native == std::endian::little, "the futex word is the low half");
static_assert(std::atomic<uint64_t>::is_always_lock_free);

constexpr uint64_t kWaiter = uint64_t{1} << 32;

struct EventState {
  std::atomic<uint64_t> word{0};
};

uint32_t owed(uint64_t w) {
  return static_cast<uint32_t>(w);
}
uint32_t waiting(uint64_t w) {
  return static_cast<uint32_t>(w >> 32);
}

// Sleeps while no release is owed; false once the absolute deadline passed.
bool sleepWhileNothingOwed(EventState& s, const timespec* deadline) {
  return detail::futexWait(&s.word, 0, deadline);
}

// Takes one owed release; `asWaiter` also gives up the waiter's place.
bool tryTake(EventState& s, bool asWaiter) {
  uint64_t w = s.word.load();
  while (owed(w) > 0)
    if (s.word.compare_exchange_weak(w, w - 1 - (asWaiter ? kWaiter : 0))) return true;
  return false;
}

unsigned int wait(EventState& s, const timespec* deadline) {
  uint64_t w = s.word.load();
  for (;;) {
    uint64_t next = owed(w) > 0 ? w - 1 : w + kWaiter;
    if (s.word.compare_exchange_weak(w, next)) break;
  }
  if (owed(w) > 0) return 0;
  for (;;) {
    const bool inTime = sleepWhileNothingOwed(s, deadline);
    if (tryTake(s, true)) return 0;
    if (!inTime) {
      // Leave, unless a release arrived meanwhile: then it is ours.
      w = s.word.load();
      for (;;) {
        if (owed(w) > 0) {
          if (s.word.compare_exchange_weak(w, w - 1 - kWaiter)) return 0;
        } else if (s.word.compare_exchange_weak(w, w - kWaiter)) {
          return 1;
        }
      }
    }
  }
}
}  // namespace

KvEventObj* KvEventObj::newClass() {
  return detail::newOpaque<KvEventObj, EventState>();
}

void KvEventObj::deleteClass(KvEventObj* event) {
  detail::deleteOpaque<EventState>(event);
}

void KvEventObj::signal() {
  auto& s = detail::stateOf<EventState>(this);
  uint64_t w = s.word.load();
  for (;;) {
    const uint32_t limit = waiting(w) > 0 ? waiting(w) : 1;
    if (owed(w) >= limit) return;
    if (s.word.compare_exchange_weak(w, w + 1)) break;
  }
  if (waiting(w) > 0) detail::futexWake(&s.word, 1);
}

void KvEventObj::waitForSignal() {
  wait(detail::stateOf<EventState>(this), nullptr);
}

unsigned int KvEventObj::waitForSignal(unsigned int milliseconds) {
  auto& s = detail::stateOf<EventState>(this);
  if (tryTake(s, false)) return 0;
  if (milliseconds == 0) return 1;
  if (milliseconds == 0xFFFFFFFFu) return wait(s, nullptr);  // INFINITE
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
  if (deadline.tv_nsec >= 1000000000) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000;
  }
  return wait(s, &deadline);
}

}  // namespace Halvex::Tessaran::PAL::Thread
