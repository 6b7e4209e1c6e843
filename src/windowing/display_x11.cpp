// The display connection: the host's or the library's own, and the
// per-connection error hook behind ErrorTrap.
#include "windowing/display_x11.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "pal/windowing.h"
#include "windowing/input_x11.h"

// Xlibint.h declares the per-connection error hook of extension libraries;
// it comes last because it defines min and max as macros.
#include <X11/Xlibint.h>

namespace Halvex::Tessaran::PAL::X11 {

namespace {

std::atomic<Display*> hostDisplay{nullptr};
std::atomic<Display*> ownConnection{nullptr};
std::atomic<bool> ownLost{false};
XIOErrorHandler previousIOErrorHandler = nullptr;

// Xlib's default handler of a broken connection ends the process. For the
// library's own connection the host keeps running, and the windowing calls
// answer as without a display from then on; any other connection goes to
// the handler that was in place before.
int onIOError(Display* d) {
  if (d == ownConnection.load()) {
    ownLost = true;
    return 0;
  }
  return previousIOErrorHandler ? previousIOErrorHandler(d) : 0;
}

// Xlib exits after the handler above returns unless this says otherwise.
void onOwnConnectionLost(Display*, void*) {
  ownLost = true;
}

}  // namespace

// Open traps, newest last, and the connections that carry the hook.
struct TrapHooks {
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<ErrorTrap*>& traps() {
    static std::vector<ErrorTrap*> t;
    return t;
  }
  static std::vector<Display*>& hooked() {
    static std::vector<Display*> h;
    return h;
  }

  // Xlib calls this for every error on the connection before its error
  // handler; a nonzero result keeps the error from that handler, and
  // `result` is then what a request waiting for a reply returns (0: it
  // failed). The error carries the low 16 bits of its request's serial;
  // the request is the latest one sent with those bits.
  static int onError(Display* d, xError* error, XExtCodes*, int* result) {
    unsigned long sent = NextRequest(d) - 1;
    unsigned long serial = sent - ((sent - error->sequenceNumber) & 0xFFFF);
    std::lock_guard lock(mutex());
    auto& open = traps();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
      if ((*it)->display_ == d && serial >= (*it)->first_) {
        (*it)->error_ = error->errorCode;
        *result = 0;
        return 1;
      }
    }
    return 0;
  }

  static void hook(Display* d) {
    {
      std::lock_guard lock(mutex());
      if (std::find(hooked().begin(), hooked().end(), d) != hooked().end()) return;
      hooked().push_back(d);
    }
    // An extension entry of the library's own, present only on this client's
    // side of the connection, carries the hook.
    if (XExtCodes* codes = XAddExtension(d)) {
      XESetError(d, codes->extension, onError);
      XESetCloseDisplay(d, codes->extension, onClose);
    }
  }

  // A later connection may get the address of a closed one.
  static int onClose(Display* d, XExtCodes*) {
    std::lock_guard lock(mutex());
    std::erase(hooked(), d);
    return 0;
  }
};

namespace {

Display* ownDisplay() {
  static Display* own = [] {
    // Lets the host and the library use the connection from several
    // threads; libX11 1.8 and later do this on their own.
    XInitThreads();
    Display* d = XOpenDisplay(nullptr);
    if (d) {
      ownConnection = d;
      previousIOErrorHandler = XSetIOErrorHandler(onIOError);
      XSetIOErrorExitHandler(d, onOwnConnectionLost, nullptr);
      TrapHooks::hook(d);
      watchInput(d);
    }
    return d;
  }();
  return ownLost ? nullptr : own;
}

}  // namespace

Display* display() {
  if (Display* host = hostDisplay.load()) return host;
  return ownDisplay();
}

bool displayAvailable() {
  return display() != nullptr;
}

Atom internAtom(const char* name) {
  Display* d = display();
  return d ? XInternAtom(d, name, False) : None;
}

Window rootWindow() {
  Display* d = display();
  return d ? DefaultRootWindow(d) : None;
}

std::optional<std::vector<long>> readProperty32(Display* display, Window window, Atom property, Atom type) {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, 1L << 16, False, type, &actualType, &format, &count,
                         &after, &data) != Success)
    return std::nullopt;
  std::optional<std::vector<long>> out;
  if (actualType == type && format == 32) {
    auto* values = reinterpret_cast<long*>(data);
    out.emplace(values, values + count);
  }
  if (data) XFree(data);
  return out;
}

ErrorTrap::ErrorTrap(Display* display) : display_(display), first_(display ? NextRequest(display) : 0) {
  std::lock_guard lock(TrapHooks::mutex());
  TrapHooks::traps().push_back(this);
}

ErrorTrap::~ErrorTrap() {
  failed();
  std::lock_guard lock(TrapHooks::mutex());
  auto& open = TrapHooks::traps();
  open.erase(std::find(open.begin(), open.end(), this));
}

bool ErrorTrap::failed() {
  if (display_) XSync(display_, False);
  std::lock_guard lock(TrapHooks::mutex());
  return error_ != 0;
}

}  // namespace Halvex::Tessaran::PAL::X11

namespace Halvex::Tessaran::PAL::WindowingSystem {

void setDisplay(void* display) {
  auto* d = static_cast<Display*>(display);
  if (d) {
    X11::TrapHooks::hook(d);
    X11::watchInput(d);
  }
  X11::hostDisplay = d;
}

}  // namespace Halvex::Tessaran::PAL::WindowingSystem
