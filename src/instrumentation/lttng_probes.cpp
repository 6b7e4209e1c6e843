// The "halvex_tessaran" tracepoint provider: the tracepoint and its probes,
// built into libKvPalLttngProvider.so (linked with liblttng-ust), and the
// table through which the library reaches them.
#define LTTNG_UST_TRACEPOINT_CREATE_PROBES
#define LTTNG_UST_TRACEPOINT_DEFINE
#include "instrumentation/lttng_backend.h"
#include "instrumentation/lttng_tracepoint.h"

namespace {

void write(std::uint16_t id, std::uint8_t version, std::uint8_t channel, std::uint8_t level,
           std::uint8_t opcode, std::uint16_t task, std::uint64_t keywords, const std::uint8_t* payload,
           std::uint32_t size) {
  lttng_ust_tracepoint(halvex_tessaran, event, id, version, channel, level, opcode, task, keywords, payload,
                       size);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* kvpal_lttng_backend(unsigned version) {
  using Halvex::Tessaran::PAL::detail::LttngBackend;
  static const LttngBackend table{&lttng_ust_tracepoint_halvex_tessaran___event.state, write};
  return version == LttngBackend::kVersion ? &table : nullptr;
}
