// Umbrella header: includes every public header of the library.
#pragma once

#include "pal/error_status.h"
#include "pal/export.h"
#include "pal/perf_log.h"
#include "pal/telemetry.h"
#include "pal/trace_session.h"
#include "pal/unicode_convert.h"
#include "pal/version.h"
#include "pal/win_types.h"
