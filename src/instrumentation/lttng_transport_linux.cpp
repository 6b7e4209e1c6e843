// The system half of the event transport: the library's LTTng-UST
// tracepoint lives in the provider module, opened only when the process is
// asked to trace, so other processes load no part of LTTng.
#include <cstdlib>
#include <cstring>

#include "base/backend_module.h"
#include "instrumentation/event_provider.h"
#include "instrumentation/lttng_backend.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {
constexpr int kNeverEnabled = 0;
const LttngBackend* g_lttng = nullptr;
}  // namespace

// Constant-initialised, so writers called by other modules' static
// initialisers already see a valid (off) state.
const int* g_systemTraceState = &kNeverEnabled;

void writeSystemEvent(const provider::Event& e, const std::uint8_t* payload, std::size_t size) {
  g_lttng->write(e.id, e.version(), e.channel(), e.level, e.opcode, e.task, e.keywordMask(), payload,
                 static_cast<std::uint32_t>(size));
}

void loadSystemTracer() {
  const char* want = std::getenv("KVPAL_TRACE_LTTNG");
  if (!want || !*want || std::strcmp(want, "0") == 0) return;
  // Reported on standard error by the loader when the module is missing.
  g_lttng = loadBackend<LttngBackend>(kLttngModule, kLttngEntry);
  if (g_lttng) g_systemTraceState = g_lttng->state;
}

}  // namespace Halvex::Tessaran::PAL::detail
