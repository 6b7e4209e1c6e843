// Main- and UI-thread records, stack-address test and floating-point set-up.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "pal/thread.h"

namespace Halvex::Tessaran::PAL::Thread {
namespace {
// Written once at start-up, read from any thread: relaxed atomics cost
// nothing and keep the race checkers quiet.
std::atomic<uint64_t> g_mainThreadId{0};
std::atomic<uint64_t> g_uiThreadId{0};

uint64_t currentThreadId() {
  return static_cast<uint64_t>(gettid());
}

// Highest address of the calling thread's stack, looked up once per thread
// (for the main thread the lookup reads /proc/self/maps).
uintptr_t stackBase() {
  thread_local uintptr_t base = [] {
    pthread_attr_t a;
    void* low = nullptr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &a) != 0) return uintptr_t{0};
    pthread_attr_getstack(&a, &low, &size);
    pthread_attr_destroy(&a);
    return reinterpret_cast<uintptr_t>(low) + size;
  }();
  return base;
}
}  // namespace

void initializeMainThread() {
  g_mainThreadId.store(currentThreadId(), std::memory_order_relaxed);
}

bool isMainThread() {
  return currentThreadId() == g_mainThreadId.load(std::memory_order_relaxed);
}

bool isMainThreadId(unsigned long long id) {
  return static_cast<uint64_t>(id) == g_mainThreadId.load(std::memory_order_relaxed);
}

void initializeUiThread() {
  g_uiThreadId.store(currentThreadId(), std::memory_order_relaxed);
}

bool isUiThread() {
  return currentThreadId() == g_uiThreadId.load(std::memory_order_relaxed);
}

bool isStackAddress(const void* p) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  const uintptr_t sp = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  return a > sp && a < stackBase();
}

}  // namespace Halvex::Tessaran::PAL::Thread
