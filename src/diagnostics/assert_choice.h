// The ways a person is asked what to do about an assertion, and whether a
// debugger watches the process.
#pragma once

#include <string>

namespace Halvex::Tessaran::PAL::detail {

enum class AssertChoice { Abort, Retry, Ignore, IgnoreWithShift, Unavailable };

// A modal Xlib window on the display named by DISPLAY; Unavailable when no
// display can be opened.
AssertChoice askInWindow(const std::wstring& caption, const std::wstring& message);

// A prompt on the controlling terminal; Unavailable without one, or when
// the terminal closes before an answer.
AssertChoice askOnTerminal(const std::wstring& caption, const std::wstring& message);

// TracerPid of /proc/self/status is not 0.
bool debuggerAttached();

}  // namespace Halvex::Tessaran::PAL::detail
