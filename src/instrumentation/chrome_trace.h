// Performance events in the Chrome trace-event JSON array format, which the
// Perfetto UI and chrome://tracing open: one object per line, Start/End
// pairs as duration slices, everything else as instant events.
#pragma once

#include <string>
#include <string_view>

#include "pal/trace_session.h"

namespace Halvex::Tessaran::PAL::detail {

// What a trace file starts with.
inline constexpr std::string_view kChromeTraceOpening = "[\n";

// One event as a JSON object on one line (no separator, no line feed).
// Fields are named from the event's template; text is ASCII with \u escapes.
std::string chromeTraceEvent(const Trace::EventRecord& record);

// Completes a trace file written record by record ("{...},\n" each): drops
// a record torn by an abrupt end, then appends closingRecord (a JSON object)
// and the closing bracket. Returns false with a reason when the file cannot
// be read or written.
bool finishChromeTrace(const std::string& path, std::string_view closingRecord, std::string* error);

}  // namespace Halvex::Tessaran::PAL::detail
