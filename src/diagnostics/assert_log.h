// The assertion log file beside the executable.
#pragma once

#include <string>

namespace Halvex::Tessaran::PAL::detail {

// The log name for an executable path: the extension of its last component
// (a '.' from the third character on) replaced by ".err", else ".err"
// appended. The path is cut to 259 characters first; so is the result.
std::wstring assertLogFileName(const std::wstring& executable);

// Appends the stamped message when "PAL_LOG_ASSERTS" was defined at the
// first call; writes nothing, now or later, otherwise.
void logAssertion(const wchar_t* message);

}  // namespace Halvex::Tessaran::PAL::detail
