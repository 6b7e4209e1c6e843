// The table of the LTTng-UST provider module (libKvPalLttngProvider.so),
// which defines and probes the tracepoint. The module is opened only when a
// process asks to trace, so a process that does not never loads LTTng.
#pragma once

#include <cstdint>

namespace Halvex::Tessaran::PAL::detail {

struct LttngBackend {
  static constexpr unsigned kVersion = 1;
  const int* state;  // the tracepoint's enabled state, non-zero while a session enables it
  void (*write)(std::uint16_t id, std::uint8_t version, std::uint8_t channel, std::uint8_t level,
                std::uint8_t opcode, std::uint16_t task, std::uint64_t keywords, const std::uint8_t* payload,
                std::uint32_t size);
};

inline constexpr const char* kLttngModule = "libKvPalLttngProvider.so";
inline constexpr const char* kLttngEntry = "kvpal_lttng_backend";

}  // namespace Halvex::Tessaran::PAL::detail
