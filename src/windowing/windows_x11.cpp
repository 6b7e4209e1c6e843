// Window handles, views and hidden auxiliary windows on X11 windows.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "pal/process.h"
#include "pal/windowing.h"
#include "windowing/display_x11.h"

namespace Halvex::Tessaran::PAL {

namespace {

constexpr const char* kDisabledAtom = "_KVPAL_INPUT_DISABLED";

Window toWindow(void* handle) {
  return static_cast<Window>(reinterpret_cast<std::uintptr_t>(handle));
}

void* toHandle(Window window) {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
}

bool exists(Display* d, Window w) {
  if (!d || !w) return false;
  X11::ErrorTrap trap(d);
  XWindowAttributes a;
  return XGetWindowAttributes(d, w, &a) && !trap.failed();
}

// Between a window's coordinates and its screen's; false when the window
// does not exist.
bool translate(Window w, bool toScreen, KvPoint<int>& p) {
  Display* d = X11::display();
  if (!d || !w) return false;
  Window root = DefaultRootWindow(d);
  X11::ErrorTrap trap(d);
  int x = 0, y = 0;
  Window child;
  bool ok = toScreen ? XTranslateCoordinates(d, w, root, p.x, p.y, &x, &y, &child)
                     : XTranslateCoordinates(d, root, w, p.x, p.y, &x, &y, &child);
  if (!ok || trap.failed()) return false;
  p = {x, y};
  return true;
}

// The input shape a disabled window had, four CARDINALs (x, y, width,
// height) a rectangle, none for the default shape; nothing when the window
// is enabled. Called inside an error trap.
std::optional<std::vector<long>> savedInputShape(Display* d, Window w) {
  return X11::readProperty32(d, w, X11::internAtom(kDisabledAtom), XA_CARDINAL);
}

// Empty when the window has the default input shape (its bounding box,
// border included).
std::vector<long> currentInputShape(Display* d, Window w) {
  std::vector<long> out;
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(d, w, ShapeInput, &count, &ordering);
  XWindowAttributes a;
  bool whole = count == 1 && XGetWindowAttributes(d, w, &a) && rects[0].x == -a.border_width &&
               rects[0].y == -a.border_width && rects[0].width == a.width + 2 * a.border_width &&
               rects[0].height == a.height + 2 * a.border_width;
  if (!whole) {
    for (int i = 0; i < count; ++i)
      out.insert(out.end(), {rects[i].x, rects[i].y, rects[i].width, rects[i].height});
  }
  if (rects) XFree(rects);
  return out;
}

bool hasShape(Display* d) {
  int event = 0, error = 0;
  return XShapeQueryExtension(d, &event, &error);
}

// Whether `candidate` is mapped and names `owner` in WM_TRANSIENT_FOR.
bool isPopupOf(Display* d, Window candidate, Window owner) {
  Window target = None;
  XWindowAttributes a;
  return XGetTransientForHint(d, candidate, &target) && target == owner &&
         XGetWindowAttributes(d, candidate, &a) && a.map_state != IsUnmapped;
}

struct PeekedEvent {
  Window window;
  Atom viewMessage;
  bool privateMessage;
  bool found = false;
  XEvent event{};
};

// Notes the first event of interest and accepts none, so the queue stays
// as it was. Xlib forbids Xlib calls in here.
Bool notePending(Display*, XEvent* e, XPointer arg) {
  auto* peek = reinterpret_cast<PeekedEvent*>(arg);
  if (peek->found || e->xany.window != peek->window) return False;
  bool match = peek->privateMessage
                   ? e->type == ClientMessage && e->xclient.message_type == peek->viewMessage
                   : e->type == MotionNotify || (e->type == ButtonPress && e->xbutton.button == Button1);
  if (match) {
    peek->found = true;
    peek->event = *e;
  }
  return False;
}

}  // namespace

namespace WindowingSystem {

bool WindowHandle::IsValid() const {
  return exists(X11::display(), toWindow(*m_handle));
}

bool WindowHandle::setWindowSize(int width, int height) {
  Display* d = X11::display();
  Window w = toWindow(*m_handle);
  if (!d || !w) return false;
  bool moved = false;
  {
    X11::ErrorTrap trap(d);
    XMoveResizeWindow(d, w, 0, 0, static_cast<unsigned>(std::max(width, 1)),
                      static_cast<unsigned>(std::max(height, 1)));
    moved = !trap.failed();
  }
  // A window without contents (InputOnly) cannot be cleared; it was moved
  // all the same.
  X11::ErrorTrap trap(d);
  if (moved) XClearArea(d, w, 0, 0, 0, 0, True);
  return moved;
}

WindowHandle getLastActivePopup(WindowHandle window) {
  Display* d = X11::display();
  Window owner = toWindow(window.rawNativePtr());
  if (!d || !owner) return window;
  X11::ErrorTrap trap(d);
  Window found = None;
  // A window manager lists its clients bottom first; without one, the
  // top-level windows come bottom first too, a frame holding its client
  // window one level down.
  std::vector<long> clients =
      X11::readProperty32(d, DefaultRootWindow(d), X11::internAtom("_NET_CLIENT_LIST_STACKING"), XA_WINDOW)
          .value_or(std::vector<long>{});
  for (auto it = clients.rbegin(); it != clients.rend() && !found; ++it)
    if (isPopupOf(d, static_cast<Window>(*it), owner)) found = static_cast<Window>(*it);
  Window root = None, parent = None, *tops = nullptr;
  unsigned count = 0;
  if (clients.empty() && XQueryTree(d, DefaultRootWindow(d), &root, &parent, &tops, &count)) {
    for (unsigned i = count; i-- > 0 && !found;) {
      if (isPopupOf(d, tops[i], owner)) {
        found = tops[i];
        continue;
      }
      Window* inner = nullptr;
      unsigned innerCount = 0;
      if (!XQueryTree(d, tops[i], &root, &parent, &inner, &innerCount)) continue;
      for (unsigned j = innerCount; j-- > 0 && !found;)
        if (isPopupOf(d, inner[j], owner)) found = inner[j];
      if (inner) XFree(inner);
    }
  }
  if (tops) XFree(tops);
  return found ? WindowHandle(toHandle(found)) : window;
}

bool enableWindow(WindowHandle window, bool enable) {
  Display* d = X11::display();
  Window w = toWindow(window.rawNativePtr());
  if (!d || !w) return false;
  Atom state = X11::internAtom(kDisabledAtom);
  bool shape = hasShape(d);
  X11::ErrorTrap trap(d);
  auto saved = savedInputShape(d, w);
  if (enable && saved) {
    if (shape && saved->empty()) XShapeCombineMask(d, w, ShapeInput, 0, 0, None, ShapeSet);
    if (shape && !saved->empty()) {
      std::vector<XRectangle> rects;
      for (std::size_t i = 0; i + 3 < saved->size(); i += 4)
        rects.push_back({static_cast<short>((*saved)[i]), static_cast<short>((*saved)[i + 1]),
                         static_cast<unsigned short>((*saved)[i + 2]),
                         static_cast<unsigned short>((*saved)[i + 3])});
      XShapeCombineRectangles(d, w, ShapeInput, 0, 0, rects.data(), static_cast<int>(rects.size()), ShapeSet,
                              Unsorted);
    }
    XDeleteProperty(d, w, state);
  } else if (!enable && !saved) {
    std::vector<long> former = shape ? currentInputShape(d, w) : std::vector<long>{};
    XChangeProperty(d, w, state, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(former.data()), static_cast<int>(former.size()));
    if (shape) XShapeCombineRectangles(d, w, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  }
  return !trap.failed() && saved.has_value();
}

bool postViewMessage(void* window) {
  Display* d = X11::display();
  Window w = toWindow(window);
  if (!d || !w) return false;
  Atom type = X11::internAtom(X11::kViewMessageAtom);
  X11::ErrorTrap trap(d);
  Window root = None, child = None;
  int x = 0, y = 0, windowX = 0, windowY = 0;
  unsigned buttons = 0;
  XQueryPointer(d, DefaultRootWindow(d), &root, &child, &x, &y, &windowX, &windowY, &buttons);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = type;
  e.xclient.format = 32;
  e.xclient.data.l[0] = X11::kViewMessage;
  e.xclient.data.l[1] = x;
  e.xclient.data.l[2] = y;
  // No event mask: the event goes to the client that made the window.
  Status sent = XSendEvent(d, w, False, NoEventMask, &e);
  return sent && !trap.failed();
}

}  // namespace WindowingSystem

bool View::hasFocus() const {
  Display* d = X11::display();
  Window w = toWindow(*m_window);
  if (!d || !w) return false;
  Window focus = None;
  int revert = 0;
  XGetInputFocus(d, &focus, &revert);
  return focus == w;
}

bool View::isEnabled() const {
  Display* d = X11::display();
  Window w = toWindow(*m_window);
  if (!d || !w) return false;
  X11::ErrorTrap trap(d);
  bool disabled = savedInputShape(d, w).has_value();
  return !trap.failed() && !disabled;
}

KvPoint<int> View::clientToScreen(const KvPoint<int>& p) {
  KvPoint<int> out = p;
  translate(toWindow(*m_window), true, out);
  return out;
}

KvPoint<int> View::screenToClient(const KvPoint<int>& p) {
  KvPoint<int> out = p;
  translate(toWindow(*m_window), false, out);
  return out;
}

bool View::mouseMoveEventPending(bool privateMessage, const KvPoint<int>& lastPoint,
                                 KvPoint<int>& position) const {
  Display* d = X11::display();
  Window w = toWindow(*m_window);
  if (!d || !w) return false;
  PeekedEvent peek{w, privateMessage ? X11::internAtom(X11::kViewMessageAtom) : None, privateMessage};
  XEvent ignored;
  XCheckIfEvent(d, &ignored, notePending, reinterpret_cast<XPointer>(&peek));
  if (!peek.found) return false;
  const XEvent& e = peek.event;
  if (privateMessage) {
    position = {static_cast<int>(e.xclient.data.l[1]), static_cast<int>(e.xclient.data.l[2])};
    return true;
  }
  KvPoint<int> at = e.type == MotionNotify ? KvPoint<int>{e.xmotion.x, e.xmotion.y}
                                           : KvPoint<int>{e.xbutton.x, e.xbutton.y};
  if (e.type == MotionNotify && at.x == lastPoint.x && at.y == lastPoint.y) return false;
  position = at;
  return true;
}

namespace OnCanvasUI {

KvPoint<int> getDynamicInputPosition(const WindowingSystem::WindowHandle& window, const KvPoint<int>& p) {
  KvPoint<int> out = p;
  if (!Process::isTrellis()) translate(toWindow(window.rawNativePtr()), true, out);
  return out;
}

}  // namespace OnCanvasUI

void* CreateDummyView(int width, int height, void*, void*) {
  Display* d = X11::display();
  if (!d) return nullptr;
  X11::ErrorTrap trap(d);
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(std::max(width, 1)),
                                 static_cast<unsigned>(std::max(height, 1)), 0, 0, 0);
  XStoreName(d, w, "PyraDM");
  char className[] = "Static";
  XClassHint hint{className, className};
  XSetClassHint(d, w, &hint);
  if (trap.failed()) return nullptr;
  // Made disabled, as its Windows counterpart is.
  WindowingSystem::enableWindow(WindowingSystem::WindowHandle(toHandle(w)), false);
  return toHandle(w);
}

void DestroyDummyView(void* window) {
  Display* d = X11::display();
  Window w = toWindow(window);
  if (!d || !w) return;
  X11::ErrorTrap trap(d);
  XDestroyWindow(d, w);
}

}  // namespace Halvex::Tessaran::PAL
