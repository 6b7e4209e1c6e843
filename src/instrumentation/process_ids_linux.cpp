// Process and thread ids, cached because getpid and gettid are system calls,
// and forgotten in a forked child.
#include "instrumentation/process_ids.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

namespace Halvex::Tessaran::PAL::detail {

namespace {
std::atomic<std::uint32_t> g_processId{0};
thread_local std::uint32_t t_threadId = 0;

void forgetIdsInChild() {
  g_processId.store(0, std::memory_order_relaxed);
  t_threadId = 0;  // the child's thread is a copy of the forking one
}

const int g_atforkRegistered = pthread_atfork(nullptr, nullptr, forgetIdsInChild);
}  // namespace

std::uint32_t currentProcessId() {
  std::uint32_t pid = g_processId.load(std::memory_order_relaxed);
  if (pid == 0) {
    pid = static_cast<std::uint32_t>(getpid());
    g_processId.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

std::uint32_t currentThreadId() {
  if (t_threadId == 0) t_threadId = static_cast<std::uint32_t>(syscall(SYS_gettid));
  return t_threadId;
}

}  // namespace Halvex::Tessaran::PAL::detail
