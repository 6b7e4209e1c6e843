// The X display connection every windowing call works on, and a trap for
// the protocol errors of requests that may name a vanished window.
//
// The connection is the host's, handed over with
// WindowingSystem::setDisplay, else the library's own to $DISPLAY, opened
// on the first call that needs it. Without either, display() is null and
// every caller gives its failure answer.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <vector>

namespace Halvex::Tessaran::PAL::X11 {

// The host's connection when it handed one over, else the library's own;
// null when there is none (no DISPLAY, no server, or the library's own
// connection was lost). Safe to call from any thread.
Display* display();
bool displayAvailable();
// The atom named `name`, created when the server has none yet; None
// without a display.
Atom internAtom(const char* name);
// The default screen's root window; None without a display.
Window rootWindow();

// The views' private message (0x7FF0): a ClientMessage of this type, posted
// by WindowingSystem::postViewMessage.
inline constexpr long kViewMessage = 0x7FF0;
inline constexpr const char* kViewMessageAtom = "_KVPAL_VIEW_MESSAGE";

// The items of a window's 32-bit property of type `type` (Xlib hands them
// over as longs); nothing when the property is missing or differs in type
// or format. Reading a window that may be gone belongs in an ErrorTrap.
std::optional<std::vector<long>> readProperty32(Display* display, Window window, Atom property, Atom type);

// Collects the protocol errors of the requests made on `display` from its
// construction on, instead of passing them to Xlib's error handler (whose
// default ends the process). The hook is per connection, so the host's own
// error handler is neither replaced nor called for these requests.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display);
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  // Waits until the server has handled every request made so far; true
  // when one of those made since construction failed.
  bool failed();

 private:
  Display* display_;
  unsigned long first_;
  int error_ = 0;
  friend struct TrapHooks;
};

}  // namespace Halvex::Tessaran::PAL::X11
