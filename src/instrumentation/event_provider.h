// The provider's transport: the enabled state the writers test on every
// call, and the delivery of an event to the in-process sessions and to the
// system tracer (LTTng-UST). Stands in for the operating system's
// EventRegister / EventEnabled / EventWrite.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "instrumentation/provider_definitions.h"

namespace Halvex::Tessaran::PAL::detail {

// Per event: non-zero while an in-process session admits it.
extern std::atomic<std::uint8_t> g_sessionWants[provider::kEventCount];
// Non-zero while an LTTng session has the provider's tracepoint enabled.
// Set once, while the library loads.
extern const int* g_systemTraceState;

inline bool systemTracing() {
  return __builtin_expect(*g_systemTraceState != 0, 0);
}

inline bool eventEnabled(std::size_t index) {
  return __builtin_expect(g_sessionWants[index].load(std::memory_order_relaxed) != 0, 0) || systemTracing();
}

// Called when a consumer enables the provider.
using EnableCallback = void (*)();

// Registers the provider: keeps the enable callback, opens the trace file
// session named by the environment and loads the LTTng probes when asked.
// Runs once, while the library loads.
void registerProvider(EnableCallback onEnable);

// LTTng cannot tell the process that a session enabled the tracepoint; this
// reports an enabling when it sees the tracepoint switched on since the
// previous call.
void pollSystemEnabling();

// Delivers one event to every admitting consumer.
void writeEvent(std::size_t index, const std::uint8_t* payload, std::size_t size);

// The system tracer's part, in the LTTng file.
void writeSystemEvent(const provider::Event& e, const std::uint8_t* payload, std::size_t size);
void loadSystemTracer();

}  // namespace Halvex::Tessaran::PAL::detail
