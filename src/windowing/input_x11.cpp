// Pointer, gesture and keyboard input and the event queue on the X display
// connection: XInput 2 device and pinch events, XKB key state, peeking and
// draining of queued events.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "windowing/pointer_input.h"
#include "windowing/timer_queue.h"
// clang-format off
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/XInput2.h>
// The event-conversion hooks; last, for its min and max macros.
#include <X11/Xlibint.h>
// clang-format on
#include "windowing/display_x11.h"
#include "windowing/input_x11.h"
#include "windowing/virtual_keys_x11.h"

namespace Halvex::Tessaran::PAL::X11 {
namespace {

namespace D = Input::detail;
using AsyncApi::Input::GestureEventData;
using AsyncApi::Input::PointerEventData;

using CoreProc = Bool (*)(Display*, XEvent*, xEvent*);
using CookieProc = Bool (*)(Display*, XGenericEventCookie*, xEvent*);

// What the hooks gather on one connection. The hooks run while Xlib holds
// the connection's lock, so the calls read it under XLockDisplay.
struct Connection {
  int xiOpcode = -1;  // -1 without XInput 2
  std::array<CoreProc, MotionNotify + 1> previousCore{};
  CookieProc previousCookie = nullptr;
  std::map<int, D::PointerSample> latest;  // by source device
  std::map<int, D::DeviceTraits> traits;
  D::GestureLog gestures;
  Time lastEventTime = 0;
  Window clockWindow = None;
};

// A process rarely holds more than its own and its host's connection; a
// slot is claimed before its connection's hooks go in and freed when the
// connection closes.
constexpr int kSlots = 4;
Display* const kClaiming = reinterpret_cast<Display*>(1);
struct Slot {
  std::atomic<Display*> display{nullptr};
  Connection state;
};
Slot slots[kSlots];

Connection* find(Display* d) {
  for (auto& s : slots)
    if (s.display.load(std::memory_order_acquire) == d) return &s.state;
  return nullptr;
}

class DisplayLock {
 public:
  explicit DisplayLock(Display* d) : d_(d) { XLockDisplay(d_); }
  ~DisplayLock() { XUnlockDisplay(d_); }
  DisplayLock(const DisplayLock&) = delete;
  DisplayLock& operator=(const DisplayLock&) = delete;

 private:
  Display* d_;
};

bool isInputType(int type) {
  return type >= KeyPress && type <= MotionNotify;
}

Bool coreHook(Display* d, XEvent* re, xEvent* event) {
  Connection* c = find(d);
  if (!c) return False;
  Bool converted = c->previousCore[event->u.u.type & 0x7F](d, re, event);
  // Key, button and motion events keep their time at the same place.
  if (converted && isInputType(re->type)) c->lastEventTime = re->xkey.time;
  return converted;
}

std::uint32_t buttonBits(const XIButtonState& b) {
  std::uint32_t bits = 0;
  for (int i = 0; i < b.mask_len && i < 4; ++i) bits |= std::uint32_t{b.mask[i]} << (8 * i);
  return bits;
}

D::PointerSample sampleOf(const XIDeviceEvent& e) {
  D::PointerSample s;
  switch (e.evtype) {
    case XI_ButtonPress:
      s.phase = D::PointerPhase::Press;
      break;
    case XI_ButtonRelease:
      s.phase = D::PointerPhase::Release;
      break;
    case XI_TouchBegin:
      s.phase = D::PointerPhase::TouchBegin;
      break;
    case XI_TouchUpdate:
      s.phase = D::PointerPhase::TouchUpdate;
      break;
    case XI_TouchEnd:
      s.phase = D::PointerPhase::TouchEnd;
      break;
    default:
      s.phase = D::PointerPhase::Move;
  }
  s.sourceId = e.sourceid;
  s.detail = e.detail;
  s.x = e.event_x;
  s.y = e.event_y;
  s.buttonsHeld = buttonBits(e.buttons);
  s.shift = (e.mods.effective & ShiftMask) != 0;
  s.control = (e.mods.effective & ControlMask) != 0;
  // The values follow one another in the order of the mask's set bits.
  const double* value = e.valuators.values;
  for (int n = 0; n < e.valuators.mask_len * 8; ++n)
    if (XIMaskIsSet(e.valuators.mask, n)) s.valuators.push_back({n, *value++});
  return s;
}

Bool cookieHook(Display* d, XGenericEventCookie* cookie, xEvent* event) {
  Connection* c = find(d);
  if (!c || !c->previousCookie) return False;
  Bool converted = c->previousCookie(d, cookie, event);
  if (!converted || !cookie->data) return converted;
  switch (cookie->evtype) {
    case XI_Motion:
    case XI_ButtonPress:
    case XI_ButtonRelease:
    case XI_TouchBegin:
    case XI_TouchUpdate:
    case XI_TouchEnd: {
      const auto* e = static_cast<const XIDeviceEvent*>(cookie->data);
      c->latest[e->sourceid] = sampleOf(*e);
      c->lastEventTime = e->time;
      break;
    }
    case XI_KeyPress:
    case XI_KeyRelease:
      c->lastEventTime = static_cast<const XIDeviceEvent*>(cookie->data)->time;
      break;
    case XI_GesturePinchBegin:
    case XI_GesturePinchUpdate:
    case XI_GesturePinchEnd: {
      const auto* g = static_cast<const XIGesturePinchEvent*>(cookie->data);
      D::GesturePhase phase = g->evtype == XI_GesturePinchBegin    ? D::GesturePhase::Begin
                              : g->evtype == XI_GesturePinchUpdate ? D::GesturePhase::Update
                                                                   : D::GesturePhase::End;
      // A cancelled pinch ends as well.
      if (g->flags & XIGesturePinchEventCancelled) phase = D::GesturePhase::End;
      c->gestures.add(phase, g->event_x, g->event_y, g->scale, g->delta_angle);
      c->lastEventTime = g->time;
      break;
    }
    case XI_HierarchyChanged:
    case XI_DeviceChanged:
      c->traits.clear();
      break;
    default:
      break;
  }
  return converted;
}

int forgetConnection(Display* d, XExtCodes*) {
  for (auto& s : slots) {
    if (s.display.load(std::memory_order_acquire) != d) continue;
    s.state = Connection{};
    s.display.store(nullptr, std::memory_order_release);
  }
  return 0;
}

// XInput 2.4 brings the pinch events; a server that refuses the version
// because the host announced another one still speaks XInput 2.
int xinput2Opcode(Display* d) {
  int opcode = 0, event = 0, error = 0;
  if (!XQueryExtension(d, "XInputExtension", &opcode, &event, &error)) return -1;
  int major = 2, minor = 4;
  ErrorTrap trap(d);
  Status status = XIQueryVersion(d, &major, &minor);
  bool refused = trap.failed();
  return status == Success || refused ? opcode : -1;
}

Connection* watched(Display* d) {
  if (Connection* c = find(d)) return c;
  watchInput(d);
  return find(d);
}

std::string atomName(Display* d, Atom a) {
  if (a == None) return {};
  char* name = XGetAtomName(d, a);
  std::string out = name ? name : "";
  if (name) XFree(name);
  return out;
}

// The driver's tool type property, as tablet drivers publish it.
std::string toolType(Display* d, int device) {
  Atom property = XInternAtom(d, "Wacom Tool Type", True);
  if (property == None) return {};
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string out;
  if (XIGetProperty(d, device, property, 0, 1, False, XA_ATOM, &type, &format, &count, &after, &data) ==
          Success &&
      type == XA_ATOM && format == 32 && count == 1)
    out = atomName(d, static_cast<Atom>(*reinterpret_cast<long*>(data)));
  if (data) XFree(data);
  return out;
}

D::DeviceTraits traitsOf(Display* d, Connection& c, int device) {
  {
    DisplayLock lock(d);
    if (auto it = c.traits.find(device); it != c.traits.end()) return it->second;
  }
  ErrorTrap trap(d);
  int count = 0;
  XIDeviceInfo* info = XIQueryDevice(d, device, &count);
  D::DeviceTraits traits;
  if (info && count == 1) {
    std::vector<D::Axis> axes;
    D::TouchMode touch = D::TouchMode::Absent;
    for (int i = 0; i < info->num_classes; ++i) {
      const XIAnyClassInfo* any = info->classes[i];
      if (any->type == XIValuatorClass) {
        const auto* v = reinterpret_cast<const XIValuatorClassInfo*>(any);
        axes.push_back({v->number, atomName(d, v->label), v->min, v->max});
      } else if (any->type == XITouchClass) {
        const auto* t = reinterpret_cast<const XITouchClassInfo*>(any);
        touch = t->mode == XIDirectTouch ? D::TouchMode::Direct : D::TouchMode::Dependent;
      }
    }
    traits = D::classifyDevice(info->name ? info->name : "", toolType(d, device), touch, axes);
  }
  if (info) XIFreeDeviceInfo(info);
  if (trap.failed()) return traits;  // the device went away: ask again next time
  DisplayLock lock(d);
  c.traits[device] = traits;
  return traits;
}

long windowCardinal(Display* d, Window w, Atom property, Atom type) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  long out = 0;
  if (XGetWindowProperty(d, w, property, 0, 1, False, type, &actual, &format, &count, &after, &data) ==
          Success &&
      actual == type && format == 32 && count == 1)
    out = *reinterpret_cast<long*>(data);
  if (data) XFree(data);
  return out;
}

// The desktop's active window, else the focus window; None when neither
// names a window.
Window foregroundWindow(Display* d) {
  ErrorTrap trap(d);
  Window active =
      static_cast<Window>(windowCardinal(d, rootWindow(), internAtom("_NET_ACTIVE_WINDOW"), XA_WINDOW));
  if (active != None) return active;
  Window focus = None;
  int revert = 0;
  XGetInputFocus(d, &focus, &revert);
  return focus == PointerRoot ? None : focus;
}

// The process behind the window or its nearest ancestor that names one;
// 0 when none does.
long windowProcess(Display* d, Window w) {
  ErrorTrap trap(d);
  Atom pidAtom = internAtom("_NET_WM_PID");
  for (int depth = 0; w != None && depth < 64; ++depth) {
    if (long pid = windowCardinal(d, w, pidAtom, XA_CARDINAL)) return pid;
    Window root = None, parent = None, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) break;
    if (children) XFree(children);
    w = parent == root ? None : parent;
  }
  return 0;
}

// A property change is the one way to learn the server's time now.
bool serverTime(Display* d, Connection& c, Time& now) {
  if (c.clockWindow == None) {
    XSetWindowAttributes a{};
    a.event_mask = PropertyChangeMask;
    a.override_redirect = True;
    c.clockWindow = XCreateWindow(d, rootWindow(), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent,
                                  CWEventMask | CWOverrideRedirect, &a);
  }
  XChangeProperty(d, c.clockWindow, internAtom("_KVPAL_SERVER_TIME"), XA_STRING, 8, PropModeAppend, nullptr,
                  0);
  XSync(d, False);
  bool got = false;
  XEvent e;
  while (XCheckTypedWindowEvent(d, c.clockWindow, PropertyNotify, &e)) {
    now = e.xproperty.time;
    got = true;
  }
  return got;
}

bool pointerButtonDown(Display* d, const Connection& c, int button) {
  Window root = None, child = None;
  if (c.xiOpcode >= 0) {
    int pointer = 0;
    if (!XIGetClientPointer(d, None, &pointer)) return false;
    double rx, ry, wx, wy;
    XIButtonState buttons{};
    XIModifierState mods{};
    XIGroupState group{};
    XIQueryPointer(d, pointer, rootWindow(), &root, &child, &rx, &ry, &wx, &wy, &buttons, &mods, &group);
    bool down = button < buttons.mask_len * 8 && XIMaskIsSet(buttons.mask, button);
    if (buttons.mask) XFree(buttons.mask);
    return down;
  }
  int rx, ry, wx, wy;
  unsigned int mask = 0;
  XQueryPointer(d, rootWindow(), &root, &child, &rx, &ry, &wx, &wy, &mask);
  return button <= 5 && (mask & (Button1Mask << (button - 1))) != 0;
}

bool keyDown(Display* d, const std::vector<KeySym>& keysyms) {
  char keys[32];
  XQueryKeymap(d, keys);
  XkbDescPtr xkb = XkbGetMap(d, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
  if (!xkb) return false;
  bool down = false;
  for (int kc = xkb->min_key_code; kc <= xkb->max_key_code && !down; ++kc) {
    if (!(keys[kc / 8] & (1 << (kc % 8)))) continue;
    for (int g = 0; g < XkbKeyNumGroups(xkb, kc) && !down; ++g)
      for (int level = 0; level < XkbKeyGroupWidth(xkb, kc, g) && !down; ++level)
        down = std::find(keysyms.begin(), keysyms.end(), XkbKeySymEntry(xkb, kc, level, g)) != keysyms.end();
  }
  XkbFreeKeyboard(xkb, 0, True);
  return down;
}

bool capsLockOn(Display* d) {
  Bool on = False;
  if (XkbGetNamedIndicator(d, internAtom("Caps Lock"), nullptr, &on, nullptr, nullptr)) return on;
  XkbStateRec state{};
  return XkbGetState(d, XkbUseCoreKbd, &state) == Success && (state.locked_mods & LockMask);
}

bool keyState(int vk) {
  Display* d = display();
  if (!d) return false;
  if (vk == 0x14) return capsLockOn(d);
  if (int button = pointerButtonOfVirtualKey(vk)) {
    Connection* c = watched(d);
    return c && pointerButtonDown(d, *c, button);
  }
  std::vector<KeySym> keysyms = keysymsOfVirtualKey(vk);
  return !keysyms.empty() && keyDown(d, keysyms);
}

// The X events that stand for a Windows message; `buttons` (bit n for
// button n) narrows button events, 0 takes any.
struct Counterpart {
  unsigned int message;
  int coreType;
  int xiType;
  std::uint32_t buttons;
};
constexpr std::uint32_t bit(int n) {
  return std::uint32_t{1} << n;
}
constexpr Counterpart kCounterparts[] = {
    {0x0005, ConfigureNotify, 0, 0},                             // WM_SIZE
    {0x0007, FocusIn, 0, 0},                                     // WM_SETFOCUS
    {0x0008, FocusOut, 0, 0},                                    // WM_KILLFOCUS
    {0x000F, Expose, 0, 0},                                      // WM_PAINT
    {0x0010, ClientMessage, 0, 0},                               // WM_CLOSE
    {0x0100, KeyPress, XI_KeyPress, 0},                          // WM_KEYDOWN
    {0x0101, KeyRelease, XI_KeyRelease, 0},                      // WM_KEYUP
    {0x0200, MotionNotify, XI_Motion, 0},                        // WM_MOUSEMOVE
    {0x0201, ButtonPress, XI_ButtonPress, bit(1)},               // WM_LBUTTONDOWN
    {0x0202, ButtonRelease, XI_ButtonRelease, bit(1)},           // WM_LBUTTONUP
    {0x0204, ButtonPress, XI_ButtonPress, bit(3)},               // WM_RBUTTONDOWN
    {0x0205, ButtonRelease, XI_ButtonRelease, bit(3)},           // WM_RBUTTONUP
    {0x0207, ButtonPress, XI_ButtonPress, bit(2)},               // WM_MBUTTONDOWN
    {0x0208, ButtonRelease, XI_ButtonRelease, bit(2)},           // WM_MBUTTONUP
    {0x020A, ButtonPress, XI_ButtonPress, bit(4) | bit(5)},      // WM_MOUSEWHEEL
    {0x020B, ButtonPress, XI_ButtonPress, bit(8) | bit(9)},      // WM_XBUTTONDOWN
    {0x020C, ButtonRelease, XI_ButtonRelease, bit(8) | bit(9)},  // WM_XBUTTONUP
    {0x020E, ButtonPress, XI_ButtonPress, bit(6) | bit(7)},      // WM_MOUSEHWHEEL
    {0x02A3, LeaveNotify, 0, 0},                                 // WM_MOUSELEAVE
    {0x7FF0, ClientMessage, 0, 0},                               // the views' private message
};

struct Match {
  const Counterpart* counterpart;
  int xiOpcode;
  Atom protocols, deleteWindow, viewMessage;
  bool found = false;
};

bool matches(const XEvent& e, const Match& m) {
  const Counterpart& cp = *m.counterpart;
  if (e.type == cp.coreType) {
    if (e.type == ClientMessage && cp.message == static_cast<unsigned int>(kViewMessage))
      return e.xclient.message_type == m.viewMessage;
    if (e.type == ClientMessage)
      return e.xclient.message_type == m.protocols && e.xclient.format == 32 &&
             static_cast<Atom>(e.xclient.data.l[0]) == m.deleteWindow;
    if (e.type == ButtonPress || e.type == ButtonRelease)
      return cp.buttons == 0 ||
             (e.xbutton.button < 32 && (bit(static_cast<int>(e.xbutton.button)) & cp.buttons));
    return true;
  }
  if (e.type != GenericEvent || cp.xiType == 0 || e.xcookie.extension != m.xiOpcode ||
      e.xcookie.evtype != cp.xiType)
    return false;
  if (cp.buttons == 0) return true;
  // Queued events hold their converted data until they are taken.
  const auto* device = static_cast<const XIDeviceEvent*>(e.xcookie.data);
  return device && device->detail > 0 && device->detail < 32 && (bit(device->detail) & cp.buttons);
}

// Records and never accepts, so that nothing leaves the queue.
Bool recordMatch(Display*, XEvent* e, XPointer arg) {
  auto* m = reinterpret_cast<Match*>(arg);
  if (!m->found && matches(*e, *m)) m->found = true;
  return False;
}

bool isPointerEvent(const XEvent& e, int xiOpcode) {
  if (e.type == MotionNotify || e.type == ButtonPress || e.type == ButtonRelease) return true;
  if (e.type != GenericEvent || e.xcookie.extension != xiOpcode) return false;
  switch (e.xcookie.evtype) {
    case XI_Motion:
    case XI_ButtonPress:
    case XI_ButtonRelease:
    case XI_TouchBegin:
    case XI_TouchUpdate:
    case XI_TouchEnd:
      return true;
    default:
      return false;
  }
}

bool isKeyEvent(const XEvent& e, int xiOpcode) {
  if (e.type == KeyPress || e.type == KeyRelease) return true;
  return e.type == GenericEvent && e.xcookie.extension == xiOpcode &&
         (e.xcookie.evtype == XI_KeyPress || e.xcookie.evtype == XI_KeyRelease);
}

template <bool (*Test)(const XEvent&, int)>
Bool takeIf(Display*, XEvent* e, XPointer arg) {
  return Test(*e, *reinterpret_cast<int*>(arg)) ? True : False;
}

void removeAll(Display* d, int xiOpcode, Bool (*predicate)(Display*, XEvent*, XPointer)) {
  XEvent e;
  while (XCheckIfEvent(d, &e, predicate, reinterpret_cast<XPointer>(&xiOpcode)))
    if (e.type == GenericEvent && XGetEventData(d, &e.xcookie)) XFreeEventData(d, &e.xcookie);
}

}  // namespace

void watchInput(Display* d) {
  if (!d || find(d)) return;
  Slot* slot = nullptr;
  for (auto& s : slots) {
    Display* expected = nullptr;
    if (s.display.compare_exchange_strong(expected, kClaiming)) {
      slot = &s;
      break;
    }
  }
  if (!slot) return;
  Connection& c = slot->state;
  c = Connection{};
  c.xiOpcode = xinput2Opcode(d);
  // The hooks find their connection through the slot, so it is published
  // before they go in.
  slot->display.store(d, std::memory_order_release);
  // Held while the hooks go in, so that no event is read before each hook
  // knows the procedure it wraps.
  DisplayLock lock(d);
  if (c.xiOpcode >= 0) {
    c.previousCookie = XESetWireToEventCookie(d, c.xiOpcode, cookieHook);
    if (!c.previousCookie) {
      XESetWireToEventCookie(d, c.xiOpcode, nullptr);
      c.xiOpcode = -1;
    }
  }
  for (int type = KeyPress; type <= MotionNotify; ++type)
    c.previousCore[type] = XESetWireToEvent(d, type, coreHook);
  XExtCodes* codes = XAddExtension(d);
  if (codes) XESetCloseDisplay(d, codes->extension, forgetConnection);
}

bool pointerFromCoreState(Display* d, unsigned int pointerId, PointerEventData& r) {
  // X events carry no extra information, so the identifier of the message
  // path is always 0, a mouse.
  if (pointerId != 0) return false;
  Window target = foregroundWindow(d);
  Window root = None, child = None;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  {
    ErrorTrap trap(d);
    if (target == None || !XQueryPointer(d, target, &root, &child, &rx, &ry, &wx, &wy, &mask) ||
        trap.failed()) {
      XQueryPointer(d, rootWindow(), &root, &child, &rx, &ry, &wx, &wy, &mask);
      wx = rx;
      wy = ry;
    }
  }
  r.pointerId = 0;
  r.pointerType = 4;
  r.buttons =
      (mask & Button1Mask ? 1u : 0u) | (mask & Button3Mask ? 2u : 0u) | (mask & Button2Mask ? 4u : 0u);
  r.modifiers = (mask & ControlMask ? 2u : 0u) | (mask & ShiftMask ? 4u : 0u) | (mask & Mod1Mask ? 1u : 0u);
  r.x = static_cast<float>(wx);
  r.y = static_cast<float>(wy);
  return true;
}

}  // namespace Halvex::Tessaran::PAL::X11

namespace Halvex::Tessaran::PAL {

using AsyncApi::Input::GestureEventData;
using AsyncApi::Input::PointerEventData;

bool Input::getPointerEventData(unsigned int pointerId, const PointerEventData*& data) {
  static PointerEventData record;
  record = {};
  Display* d = X11::display();
  X11::Connection* c = d ? X11::watched(d) : nullptr;
  if (!c) return false;
  if (c->xiOpcode < 0) {
    if (!X11::pointerFromCoreState(d, pointerId, record)) return false;
    data = &record;
    return true;
  }
  detail::PointerSample sample;
  {
    X11::DisplayLock lock(d);
    auto it = c->latest.find(static_cast<int>(pointerId));
    if (it == c->latest.end()) return false;
    sample = it->second;
  }
  detail::fillPointerRecord(sample, X11::traitsOf(d, *c, static_cast<int>(pointerId)), record);
  data = &record;
  return true;
}

bool Input::getGestureEventData(long long gestureHandle, const GestureEventData*& data) {
  static GestureEventData record;
  static long long lastRead = 0;
  Display* d = X11::display();
  X11::Connection* c = d ? X11::watched(d) : nullptr;
  if (!c) {
    record = {};
    lastRead = gestureHandle;
    return false;
  }
  X11::DisplayLock lock(d);
  return detail::readGesture(c->gestures, gestureHandle, lastRead, record, data);
}

long long Input::getLastGestureHandle() {
  Display* d = X11::display();
  X11::Connection* c = d ? X11::watched(d) : nullptr;
  if (!c) return 0;
  X11::DisplayLock lock(d);
  return c->gestures.lastHandle();
}

bool Operation::isKeyPressed(int virtualKey) {
  return X11::keyState(virtualKey);
}

bool Operation::isKeyPressedAsync(int virtualKey) {
  return X11::keyState(virtualKey);
}

bool Operation::userBreak(bool checkMessageAge, unsigned int maxAgeMs) {
  Display* d = X11::display();
  X11::Connection* c = d ? X11::watched(d) : nullptr;
  if (!c) return false;
  Time now = 0;
  if (checkMessageAge && X11::serverTime(d, *c, now)) {
    Time last;
    {
      X11::DisplayLock lock(d);
      last = c->lastEventTime;
    }
    // Server times are 32-bit milliseconds that wrap.
    if (static_cast<std::uint32_t>(now - last) <= maxAgeMs) return false;
  }
  if (Window front = X11::foregroundWindow(d)) {
    long pid = X11::windowProcess(d, front);
    if (pid > 0 && pid != getpid()) return false;
  }
  return X11::keyState(0x1B);
}

void Operation::drainMsgQueue() {
  Display* d = X11::display();
  X11::Connection* c = d ? X11::watched(d) : nullptr;
  if (!c) return;
  X11::removeAll(d, c->xiOpcode, X11::takeIf<X11::isPointerEvent>);
  X11::removeAll(d, c->xiOpcode, X11::takeIf<X11::isKeyEvent>);
}

bool MessageUtilities::hasPendingMessage(unsigned int message) {
  if (message == Timer::detail::kTimerMessage) return Timer::detail::hasDueTimer();
  const auto* cp = std::find_if(std::begin(X11::kCounterparts), std::end(X11::kCounterparts),
                                [&](const auto& c) { return c.message == message; });
  if (cp == std::end(X11::kCounterparts)) return false;
  Display* d = X11::display();
  X11::Connection* c = d ? X11::watched(d) : nullptr;
  if (!c) return false;
  X11::Match m{cp, c->xiOpcode, X11::internAtom("WM_PROTOCOLS"), X11::internAtom("WM_DELETE_WINDOW"),
               X11::internAtom(X11::kViewMessageAtom)};
  XEvent e;
  XCheckIfEvent(d, &e, X11::recordMatch, reinterpret_cast<XPointer>(&m));
  return m.found;
}

long long MessageUtilities::getMessageExtraInfo() {
  return 0;
}

}  // namespace Halvex::Tessaran::PAL
