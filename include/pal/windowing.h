// Native windows and the display connection they live on.
//
// Differences from Windows:
// - The windowing system is X11 through Xlib (under Wayland desktops,
//   XWayland). A native window handle is the X11 window id as an untyped
//   pointer. The library works on the host's display connection when the
//   host hands it over with setDisplay, else on a connection of its own to
//   $DISPLAY, opened on first use. Without a display (no DISPLAY, no
//   server, or the library's own connection lost because the server ended)
//   every call gives its failure answer; a lost connection is not reopened.
//   To survive the loss of its own connection the library installs an X I/O
//   error handler on first use that passes every other connection to the
//   handler in place before it.
// - X protocol errors of the library's requests (a window that no longer
//   exists) are kept from Xlib's error handler on that connection only; the
//   host's handler stays in place for its own requests.
#pragma once

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::WindowingSystem {

// Hands the host's Xlib connection (a `Display*`) to the library, which
// then makes all its requests on it; null returns to the library's own
// connection. Call it before windows of that connection reach the library,
// and keep the connection open while the library may use it. When the
// host uses the connection from several threads, Xlib's thread support
// must have been on before the connection was opened (XInitThreads; libX11
// 1.8 and later turn it on by themselves).
PAL_EXPORT void setDisplay(void* display);

}  // namespace Halvex::Tessaran::PAL::WindowingSystem
