// The assertion pipeline, the status mapping of system errors and small
// debugging aids.
//
// Differences from Windows:
// - The assertion box is an Xlib window on the display named by DISPLAY,
//   a dialog to the window manager with the caption as its UTF-8 title,
//   its text in fontconfig's sans face drawn by Xft at the display's DPI
//   (the Xft.dpi resource, else the screen's size). Buttons Abort, Retry,
//   Ignore; Ignore clicked with Shift held is Ignore with Shift. Keys: a, r,
//   i choose (Shift-i is Ignore with Shift); Tab, Shift-Tab and the arrows
//   move the focus, which starts on Retry so that a stray Enter neither
//   ends the process nor silences the assertion; Enter or Space presses the
//   focused button, with Shift as for a click. The box grows with the text
//   up to three quarters of the screen's width, where lines wrap, and to
//   the screen's height, where the text is cut and its last line ends in
//   "…". Without a reachable display, or without a font, the choice is
//   asked on /dev/tty: "a", "r", "i", or "I" for Ignore with Shift. Without
//   either, the choice is the one made when ShowDialog is not set.
//   The box is transient for the active window (_NET_ACTIVE_WINDOW) when
//   that window belongs to this process (_NET_WM_PID), else it has no
//   owner; no quit request is set aside, since the library owns no message
//   queue here.
// - Retry raises SIGTRAP only when a debugger is attached (TracerPid of
//   /proc/self/status), else it returns at once; debugBreak does the same.
// - The assertion log sits beside /proc/self/exe: the name is cut after the
//   last '/'. When it cannot be opened, the same name is tried in the
//   current directory.
// - outputDebugString writes UTF-8 text to standard error when a debugger is
//   attached, and nothing otherwise.
// - setCurrentThreadName sets the kernel's thread name, which holds 15
//   bytes: longer names are cut; Linux keeps no longer description.
// - getDesktopWindow is the root window of the X display, or null without
//   one; getLastError is the last Windows error code that the library's
//   wrappers set on the calling thread (errno mapped onto Windows codes).
// - Text lengths (the 400, 260 and 200 character cuts) count wchar_t, i.e.
//   code points.
#pragma once

#include "pal/error_status.h"
#include "pal/export.h"

// Receives each reported assertion: expression, file, line, status (may be
// null) and the formatted message (valid during the call only).
typedef void (*AssertHandler)(const wchar_t* expression, const wchar_t* file, int line, const wchar_t* status,
                              const wchar_t* message);

PAL_EXPORT void kvutAssertMessage(const wchar_t* expression, const wchar_t* file, int line,
                                  const wchar_t* status);
PAL_EXPORT void kvutSetAssertHandler(AssertHandler handler);
PAL_EXPORT bool kvutGetAssertDia();
// Returns the previous switch.
PAL_EXPORT bool kvutSetAssertDia(bool on);
PAL_EXPORT bool kvutAssertActive();

namespace Halvex::Tessaran::PAL {

namespace Diagnostics {

enum AssertFlags : int {
  ShowDialog = 1,
  LogToFile = 2,
  Fatal = 4,
};

enum AssertResult : int {
  Continue = 0,
  IgnoreAlways = 1,
};

static_assert(sizeof(AssertFlags) == 4 && sizeof(AssertResult) == 4);

// Abort ends the process through std::terminate and does not return.
PAL_EXPORT AssertResult assertMessage(const wchar_t* message, AssertFlags flags);
PAL_EXPORT void outputDebugString(const wchar_t* text);
PAL_EXPORT void setCurrentThreadName(const char* name);
PAL_EXPORT void debugBreak();
PAL_EXPORT void suppressCRTAssertDialogs();

}  // namespace Diagnostics

namespace Error {

PAL_EXPORT Pyra::ErrorStatus win32ToPyraError(unsigned int systemErrorCode);

}  // namespace Error

namespace Win32Interop {

PAL_EXPORT unsigned int getLastError();
PAL_EXPORT void* getDesktopWindow();

}  // namespace Win32Interop

}  // namespace Halvex::Tessaran::PAL
