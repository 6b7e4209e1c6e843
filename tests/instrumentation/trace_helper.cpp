// A traced process for the tests: links libKvPal.so like an application and
// writes a few events, then ends as its first argument asks.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "pal/perf_log.h"

namespace {

bool lttngUstLoaded() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find("/liblttng-ust.so") != std::string::npos) return true;
  return false;
}

void writeEvents() {
  PerfLog_WriteStartCommandEvent(L"LINE");
  PerfLog_WriteDocLockEvent(reinterpret_cast<const KvDbImpLock*>(0x1234), 4, L"LINE", true);
  PerfLog_WriteAssertEvent(L"caf\u00e9 \"quoted\"");
  PerfLog_WriteEndCommandEvent(L"LINE");
  PerfLog_WriteGenericEvent(L"kind", L"a\tb");
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "write") {
    writeEvents();
    return 0;
  }
  if (mode == "abort") {
    writeEvents();
    std::abort();
  }
  if (mode == "wait") {
    // Runs until a signal ends it, telling its process id once its events
    // are written; bounded so that a test that fails to stop it still ends.
    writeEvents();
    std::printf("%d\n", static_cast<int>(getpid()));
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
  }
  if (mode == "status") {
    std::printf("%s\n", argc > 2 ? argv[2] : "");
    return argc > 3 ? std::atoi(argv[3]) : 0;
  }
  if (mode == "lttng-loaded") {
    std::printf("%s\n", lttngUstLoaded() ? "yes" : "no");
    return 0;
  }
  if (mode == "lttng") {
    // The session daemon enables the tracepoint while the tracer registers;
    // the wait is bounded in case it has not yet.
    for (int i = 0; i < 500 && !PerfLog_IsGenericEventEnabled(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!PerfLog_IsGenericEventEnabled()) {
      std::fprintf(stderr, "trace_helper: the LTTng tracepoint never became enabled\n");
      return 3;
    }
    writeEvents();
    return 0;
  }
  std::fprintf(stderr, "usage: trace_helper write|abort|status TEXT CODE|lttng-loaded|lttng\n");
  return 2;
}
