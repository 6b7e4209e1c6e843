// LTTng-UST tracepoint provider "halvex_tessaran": one tracepoint that
// carries every performance event with its descriptor and raw payload.
// Only libKvPalLttngProvider.so includes it.

#undef LTTNG_UST_TRACEPOINT_PROVIDER
#define LTTNG_UST_TRACEPOINT_PROVIDER halvex_tessaran

#undef LTTNG_UST_TRACEPOINT_INCLUDE
#define LTTNG_UST_TRACEPOINT_INCLUDE "instrumentation/lttng_tracepoint.h"

#if !defined(KVPAL_LTTNG_TRACEPOINT_H) || defined(LTTNG_UST_TRACEPOINT_HEADER_MULTI_READ)
#define KVPAL_LTTNG_TRACEPOINT_H

#include <lttng/tracepoint.h>
#include <stdint.h>

// clang-format off
LTTNG_UST_TRACEPOINT_EVENT(
    halvex_tessaran, event,
    LTTNG_UST_TP_ARGS(uint16_t, id, uint8_t, version, uint8_t, channel, uint8_t, level, uint8_t, opcode,
                      uint16_t, task, uint64_t, keywords, const uint8_t*, payload, uint32_t, size),
    LTTNG_UST_TP_FIELDS(
        lttng_ust_field_integer(uint16_t, id, id)
        lttng_ust_field_integer(uint8_t, version, version)
        lttng_ust_field_integer(uint8_t, channel, channel)
        lttng_ust_field_integer(uint8_t, level, level)
        lttng_ust_field_integer(uint8_t, opcode, opcode)
        lttng_ust_field_integer(uint16_t, task, task)
        lttng_ust_field_integer_hex(uint64_t, keywords, keywords)
        lttng_ust_field_sequence_hex(uint8_t, payload, payload, uint32_t, size)))
// clang-format on

#endif

#include <lttng/tracepoint-event.h>
