// Process and thread ids, cached because getpid and gettid are system calls,
// and forgotten in a forked child.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "instrumentation/process_ids.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {
std::atomic<std::uint32_t> g_processId{0};
thread_local std::uint32_t t_threadId = 0;

void forgetIdsInChild() {
  g_processId.store(0, std::memory_order_relaxed);
  t_threadId = 0;  // the child's thread is a copy of the forking one
}

// Before the first id is kept, not while the library loads: until then a
// forked child has nothing to forget.
void forgetIdsInForkedChildren() {
  static const int registered = pthread_atfork(nullptr, nullptr, forgetIdsInChild);
  (void)registered;
}
}  // namespace

std::uint32_t currentProcessId() {
  std::uint32_t pid = g_processId.load(std::memory_order_relaxed);
  if (pid == 0) {
    forgetIdsInForkedChildren();
    pid = static_cast<std::uint32_t>(getpid());
    g_processId.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

std::uint32_t currentThreadId() {
  if (t_threadId == 0) {
    forgetIdsInForkedChildren();
    t_threadId = static_cast<std::uint32_t>(syscall(SYS_gettid));
  }
  return t_threadId;
}

}  // namespace Halvex::Tessaran::PAL::detail
