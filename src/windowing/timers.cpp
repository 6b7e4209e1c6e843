// The timer registry: which callback and view each window's timers run.
#include <map>
#include <mutex>

#include "pal/input.h"
#include "pal/windowing.h"
#include "windowing/timer_queue.h"

namespace Halvex::Tessaran::PAL::Timer::detail {
namespace {

struct Entry {
  View* view;
  std::map<unsigned long long, TimerCallback> callbacks;
};

// Each thread has its own timers, so threads may set, kill and dispatch at
// once; callbacks run outside the lock and may set or kill timers.
struct Registry {
  std::mutex mutex;
  std::map<void*, Entry> entries;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

unsigned long long setTimer(void* window, View* view, unsigned long long id, unsigned int elapseMs,
                            TimerCallback callback) {
  Registry& r = registry();
  {
    std::lock_guard lock(r.mutex);
    r.entries.try_emplace(window, Entry{view, {}});
  }
  unsigned long long result = startTimer(window, id, elapseMs, callback ? dispatchToRegistry : nullptr);
  if (result == 0) return 0;
  std::lock_guard lock(r.mutex);
  r.entries[window].callbacks[view ? id : result] = callback;
  return result;
}

void killTimer(void* window, unsigned long long id) {
  if (!stopTimer(window, id)) return;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto entry = r.entries.find(window);
  if (entry == r.entries.end()) return;
  entry->second.callbacks.erase(id);
  if (entry->second.callbacks.empty()) r.entries.erase(entry);
}

void dispatchToRegistry(void* window, unsigned int message, unsigned long long id, unsigned int timeMs) {
  View* view = nullptr;
  TimerCallback callback = nullptr;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto entry = r.entries.find(window);
    if (entry == r.entries.end()) return;
    auto timer = entry->second.callbacks.find(id);
    if (timer == entry->second.callbacks.end()) return;
    view = entry->second.view;
    callback = timer->second;
  }
  if (callback) callback(view, message, id, timeMs);
}

}  // namespace Halvex::Tessaran::PAL::Timer::detail

namespace Halvex::Tessaran::PAL::Timer {
namespace {

void* windowOf(View* view) {
  return view ? view->windowHandle().rawNativePtr() : nullptr;
}

}  // namespace

unsigned long long SetTimer(View* view, unsigned long long id, unsigned int elapseMs,
                            TimerCallback callback) {
  return detail::setTimer(windowOf(view), view, id, elapseMs, callback);
}

void KillTimer(View* view, unsigned long long id) {
  detail::killTimer(windowOf(view), id);
}

int getTimerDescriptor() {
  return detail::threadDescriptor();
}

int dispatchTimers() {
  return detail::dispatchDue();
}

}  // namespace Halvex::Tessaran::PAL::Timer
