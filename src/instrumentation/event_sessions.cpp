// In-process sessions and the delivery of events to them and to the system
// tracer.
#include <algorithm>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "instrumentation/event_provider.h"
#include "instrumentation/process_ids.h"
#include "instrumentation/trace_file_session.h"
#include "pal/trace_session.h"

namespace Halvex::Tessaran::PAL {

struct Trace::Session::Impl {
  std::uint8_t level;
  std::uint64_t keywordMask;
  EventCallback callback;

  bool admits(const detail::provider::Event& e) const {
    bool levelOk = level == 0 || e.level == 0 || e.level <= level;
    bool keywordsOk = keywordMask == 0 || e.keywordMask() == 0 || (e.keywordMask() & keywordMask) != 0;
    return levelOk && keywordsOk;
  }
};

namespace detail {

std::atomic<std::uint8_t> g_sessionWants[provider::kEventCount];

namespace {

std::atomic<EnableCallback> g_onEnable{nullptr};
std::atomic<bool> g_systemSeenOn{false};

// Writers hold the lock shared while they deliver, so closing a session
// waits for deliveries in progress.
struct Registry {
  std::shared_mutex lock;
  std::vector<Trace::Session::Impl*> sessions;

  void recomputeWants() {
    for (std::size_t i = 0; i < provider::kEventCount; ++i) {
      bool wanted = std::any_of(sessions.begin(), sessions.end(),
                                [&](const Trace::Session::Impl* s) { return s->admits(provider::kEvents[i]); });
      g_sessionWants[i].store(wanted ? 1 : 0, std::memory_order_relaxed);
    }
  }
};

Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: writers may run during exit
  return *r;
}

thread_local bool t_delivering = false;

void deliverToSessions(const provider::Event& e, const std::uint8_t* payload, std::size_t size) {
  if (t_delivering) return;
  struct Delivering {
    Delivering() { t_delivering = true; }
    ~Delivering() { t_delivering = false; }
  } delivering;
  Trace::EventRecord rec{e.id,
                         e.version(),
                         e.channel(),
                         e.level,
                         e.opcode,
                         e.task,
                         e.keywordMask(),
                         payload,
                         size,
                         static_cast<std::uint64_t>(
                             std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count()),
                         currentProcessId(),
                         currentThreadId()};
  std::shared_lock guard(registry().lock);
  for (auto* s : registry().sessions)
    if (s->admits(e)) s->callback(rec);
}

void notifyEnabled() {
  if (auto cb = g_onEnable.load(std::memory_order_acquire)) cb();
}

}  // namespace

void registerProvider(EnableCallback onEnable) {
  g_onEnable.store(onEnable, std::memory_order_release);
  startFileSessionFromEnvironment();
  loadSystemTracer();
}

void pollSystemEnabling() {
  bool on = systemTracing();
  if (on == g_systemSeenOn.load(std::memory_order_relaxed)) return;
  if (g_systemSeenOn.exchange(on) != on && on) notifyEnabled();
}

void writeEvent(std::size_t index, const std::uint8_t* payload, std::size_t size) {
  const provider::Event& e = provider::kEvents[index];
  if (g_sessionWants[index].load(std::memory_order_relaxed)) deliverToSessions(e, payload, size);
  if (systemTracing()) writeSystemEvent(e, payload, size);
}

}  // namespace detail

namespace Trace {

Session::Session(std::uint8_t level, std::uint64_t keywordMask, EventCallback callback)
    : impl_(new Impl{level, keywordMask, std::move(callback)}) {
  {
    auto& r = detail::registry();
    std::unique_lock guard(r.lock);
    r.sessions.push_back(impl_.get());
    r.recomputeWants();
  }
  detail::notifyEnabled();
}

Session::~Session() {
  auto& r = detail::registry();
  std::unique_lock guard(r.lock);
  r.sessions.erase(std::find(r.sessions.begin(), r.sessions.end(), impl_.get()));
  r.recomputeWants();
}

}  // namespace Trace

}  // namespace Halvex::Tessaran::PAL
