// KvEventObj: an auto-reset event on futexes.
//
// Like a Windows event, a signal releases one thread that is waiting at that
// moment or, with nobody waiting, leaves the event set once (signals do not
// pile up). Each waiter queues a node of its own and sleeps on the node's
// futex word, and a signal hands its release to one queued node: a thread
// that arrives later, even a zero-time wait, cannot take it.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>

#include "pal/thread.h"
#include "threads/futex.h"
#include "threads/opaque_object.h"

namespace Halvex::Tessaran::PAL::Thread {
namespace {
struct Waiter {
  std::atomic<uint32_t> released{0};
  Waiter* prev = nullptr;
  Waiter* next = nullptr;
};

struct EventState {
  std::mutex m;
  bool set = false;
  Waiter* head = nullptr;  // first come, first released
  Waiter* tail = nullptr;
};

void enqueue(EventState& s, Waiter& w) {
  w.prev = s.tail;
  (s.tail ? s.tail->next : s.head) = &w;
  s.tail = &w;
}

void unlink(EventState& s, Waiter& w) {
  (w.prev ? w.prev->next : s.head) = w.next;
  (w.next ? w.next->prev : s.tail) = w.prev;
}

// Takes the set state; false when the event is not set.
bool takeSet(EventState& s) {
  std::lock_guard lock(s.m);
  if (!s.set) return false;
  s.set = false;
  return true;
}

// 0 when released, 1 once the absolute deadline (null: none) passed.
unsigned int wait(EventState& s, const timespec* deadline) {
  Waiter self;
  {
    std::lock_guard lock(s.m);
    if (s.set) {
      s.set = false;
      return 0;
    }
    enqueue(s, self);
  }
  for (;;) {
    const bool inTime = detail::futexWait(&self.released, 0, deadline);
    if (self.released.load()) return 0;
    if (!inTime) break;
  }
  // A release that came with the deadline wins.
  std::lock_guard lock(s.m);
  if (self.released.load()) return 0;
  unlink(s, self);
  return 1;
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
  std::unique_lock lock(s.m);
  Waiter* w = s.head;
  if (!w) {
    s.set = true;
    return;
  }
  unlink(s, *w);
  const void* word = &w->released;
  w->released.store(1);
  lock.unlock();
  // The waiter may have seen the release and gone, its node with it: a wake
  // on a private futex word only names the address and never touches it, and
  // whoever waits there next must allow for spurious wake-ups anyway.
  detail::futexWake(word, 1);
}

void KvEventObj::waitForSignal() {
  wait(detail::stateOf<EventState>(this), nullptr);
}

unsigned int KvEventObj::waitForSignal(unsigned int milliseconds) {
  auto& s = detail::stateOf<EventState>(this);
  if (milliseconds == 0) return takeSet(s) ? 0 : 1;
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
