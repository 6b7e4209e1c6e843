// Per-thread timers on one timerfd each, armed for the earliest deadline.
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "windowing/timer_queue.h"

namespace Halvex::Tessaran::PAL::Timer::detail {
namespace {

// USER_TIMER_MINIMUM and USER_TIMER_MAXIMUM.
constexpr unsigned int kMinimumMs = 10;
constexpr unsigned int kMaximumMs = 0x7FFFFFFF;
constexpr std::uint64_t kNsPerMs = 1000000;

// The boot clock, so that the time given to callbacks is the tick count.
std::uint64_t nowNs() {
  timespec t{};
  clock_gettime(CLOCK_BOOTTIME, &t);
  return static_cast<std::uint64_t>(t.tv_sec) * 1000000000u + static_cast<std::uint64_t>(t.tv_nsec);
}

// Identifiers of timers without a window are process-wide, as their
// registry entry is.
std::atomic<unsigned long long> nextWindowlessId{1};

struct ThreadTimer {
  void* window;
  unsigned long long id;
  std::uint64_t intervalNs;
  std::uint64_t dueNs;
  SystemCallback callback;
};

class ThreadQueue {
 public:
  ThreadQueue() : fd_(timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC)) {}
  ~ThreadQueue() {
    if (fd_ >= 0) close(fd_);
  }
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;

  int fd() const { return fd_; }

  unsigned long long start(void* window, unsigned long long id, unsigned int elapseMs,
                           SystemCallback callback) {
    if (fd_ < 0 || (window && id == 0)) return 0;
    auto it = find(window, id);
    if (!window && it == timers_.end()) id = nextWindowlessId++;
    std::uint64_t interval = std::clamp(elapseMs, kMinimumMs, kMaximumMs) * kNsPerMs;
    ThreadTimer timer{window, id, interval, nowNs() + interval, callback};
    if (it == timers_.end())
      timers_.push_back(timer);
    else
      *it = timer;
    arm();
    return id;
  }

  bool stop(void* window, unsigned long long id) {
    auto it = find(window, id);
    if (it == timers_.end()) return false;
    timers_.erase(it);
    arm();
    return true;
  }

  int dispatch() {
    std::uint64_t expirations;
    // Only clears the readable state; the deadlines decide what is due.
    [[maybe_unused]] ssize_t n = read(fd_, &expirations, sizeof expirations);
    std::uint64_t now = nowNs();
    std::vector<ThreadTimer> due;
    for (const auto& t : timers_)
      if (t.dueNs <= now) due.push_back(t);
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.dueNs < b.dueNs; });
    int fired = 0;
    for (const auto& d : due) {
      // An earlier callback may have killed or restarted this timer.
      auto it = find(d.window, d.id);
      if (it == timers_.end() || it->dueNs > now) continue;
      it->dueNs = now + it->intervalNs;
      SystemCallback callback = it->callback;
      ++fired;
      if (callback) callback(d.window, kTimerMessage, d.id, static_cast<unsigned int>(now / kNsPerMs));
    }
    arm();
    return fired;
  }

  bool anyDue() const {
    std::uint64_t now = nowNs();
    return std::any_of(timers_.begin(), timers_.end(), [&](const auto& t) { return t.dueNs <= now; });
  }

 private:
  std::vector<ThreadTimer>::iterator find(void* window, unsigned long long id) {
    return std::find_if(timers_.begin(), timers_.end(),
                        [&](const auto& t) { return t.window == window && t.id == id; });
  }

  // One absolute deadline, the earliest; none disarms the descriptor.
  void arm() {
    itimerspec spec{};
    if (!timers_.empty()) {
      std::uint64_t earliest =
          std::min_element(timers_.begin(), timers_.end(), [](const auto& a, const auto& b) {
            return a.dueNs < b.dueNs;
          })->dueNs;
      spec.it_value.tv_sec = static_cast<time_t>(earliest / 1000000000u);
      spec.it_value.tv_nsec = static_cast<long>(earliest % 1000000000u);
    }
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &spec, nullptr);
  }

  int fd_;
  std::vector<ThreadTimer> timers_;
};

ThreadQueue& threadQueue() {
  thread_local ThreadQueue queue;
  return queue;
}

}  // namespace

unsigned long long startTimer(void* window, unsigned long long id, unsigned int elapseMs,
                              SystemCallback callback) {
  return threadQueue().start(window, id, elapseMs, callback);
}

bool stopTimer(void* window, unsigned long long id) {
  return threadQueue().stop(window, id);
}

int threadDescriptor() {
  return threadQueue().fd();
}

int dispatchDue() {
  return threadQueue().fd() < 0 ? 0 : threadQueue().dispatch();
}

bool hasDueTimer() {
  return threadQueue().anyDue();
}

}  // namespace Halvex::Tessaran::PAL::Timer::detail
