// The probes of the "halvex_tessaran" tracepoint provider, built into
// libKvPalLttngProvider.so (linked with liblttng-ust).
#define LTTNG_UST_TRACEPOINT_CREATE_PROBES
#include "instrumentation/lttng_tracepoint.h"
