// The trace file session that the environment asks for: KVPAL_TRACE_FILE
// names the file, KVPAL_TRACE_LEVEL and KVPAL_TRACE_KEYWORDS filter it.
#pragma once

namespace Halvex::Tessaran::PAL::detail {

inline constexpr const char* kTraceFileVariable = "KVPAL_TRACE_FILE";
inline constexpr const char* kTraceLevelVariable = "KVPAL_TRACE_LEVEL";
inline constexpr const char* kTraceKeywordsVariable = "KVPAL_TRACE_KEYWORDS";

// Opens the session for the life of the process when KVPAL_TRACE_FILE is
// set. Several processes may share one file: each record is appended with a
// single write, and a new file gets the array's opening bracket.
void startFileSessionFromEnvironment();

}  // namespace Halvex::Tessaran::PAL::detail
