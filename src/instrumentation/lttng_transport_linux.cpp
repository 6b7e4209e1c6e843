// The system half of the event transport: the library's LTTng-UST
// tracepoint, with dynamic linkage so that a process loads liblttng-ust
// (and its listener threads) only when it traces.
#define LTTNG_UST_TRACEPOINT_DEFINE
#define LTTNG_UST_TRACEPOINT_PROBE_DYNAMIC_LINKAGE
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/backend_module.h"
#include "instrumentation/event_provider.h"
#include "instrumentation/lttng_tracepoint.h"

namespace Halvex::Tessaran::PAL::detail {

// Constant-initialised, so writers called by other modules' static
// initialisers already see a valid (off) state.
const int* const g_systemTraceState = &lttng_ust_tracepoint_halvex_tessaran___event.state;

void writeSystemEvent(const provider::Event& e, const std::uint8_t* payload, std::size_t size) {
  lttng_ust_tracepoint(halvex_tessaran, event, e.id, e.version(), e.channel(), e.level, e.opcode, e.task,
                       e.keywordMask(), payload, static_cast<std::uint32_t>(size));
}

void loadSystemTracer() {
  const char* want = std::getenv("KVPAL_TRACE_LTTNG");
  if (!want || !*want || std::strcmp(want, "0") == 0) return;
  constexpr const char* kProbeModule = "libKvPalLttngProvider.so";
  if (!openModuleBesideLibrary(kProbeModule, RTLD_NOW | RTLD_GLOBAL))
    std::fprintf(stderr, "KvPal: KVPAL_TRACE_LTTNG is set but %s could not be loaded: %s\n", kProbeModule,
                 dlerror());
}

}  // namespace Halvex::Tessaran::PAL::detail
