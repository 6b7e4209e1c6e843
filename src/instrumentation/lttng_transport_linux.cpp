// The system half of the event transport: the library's LTTng-UST
// tracepoint, with dynamic linkage so that a process loads liblttng-ust
// (and its listener threads) only when it traces.
#define LTTNG_UST_TRACEPOINT_DEFINE
#define LTTNG_UST_TRACEPOINT_PROBE_DYNAMIC_LINKAGE
#include "instrumentation/lttng_tracepoint.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "instrumentation/event_provider.h"

namespace Halvex::Tessaran::PAL::detail {

// Constant-initialised, so writers called by other modules' static
// initialisers already see a valid (off) state.
const int* const g_systemTraceState = &lttng_ust_tracepoint_halvex_tessaran___event.state;

void writeSystemEvent(const provider::Event& e, const std::uint8_t* payload, std::size_t size) {
  lttng_ust_tracepoint(halvex_tessaran, event, e.id, e.version(), e.channel(), e.level, e.opcode, e.task,
                       e.keywordMask(), payload, static_cast<std::uint32_t>(size));
}

namespace {
constexpr const char* kProbeModule = "libKvPalLttngProvider.so";

// The probe module is installed beside the library; the loader's search
// path is the fallback.
std::string probeModuleBesideLibrary() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&loadSystemTracer), &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1) + kProbeModule;
}
}  // namespace

void loadSystemTracer() {
  const char* want = std::getenv("KVPAL_TRACE_LTTNG");
  if (!want || !*want || std::strcmp(want, "0") == 0) return;
  std::string beside = probeModuleBesideLibrary();
  if (!beside.empty() && dlopen(beside.c_str(), RTLD_NOW | RTLD_GLOBAL)) return;
  if (!dlopen(kProbeModule, RTLD_NOW | RTLD_GLOBAL))
    std::fprintf(stderr, "KvPal: KVPAL_TRACE_LTTNG is set but %s could not be loaded: %s\n", kProbeModule,
                 dlerror());
}

}  // namespace Halvex::Tessaran::PAL::detail
