// Input on a private X server: synthetic keys, motion and clicks through
// XTest on one connection, seen by the library on the host's connection.
// clang-format off
// gtest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// clang-format on
#include "windowing/input_x11.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "pal/input.h"
#include "pal/windowing.h"
#include "support/child_process.h"
#include "support/virtual_display.h"
#include "windowing/timer_queue.h"

namespace {

namespace PAL = Halvex::Tessaran::PAL;
namespace Op = PAL::Operation;
namespace MU = PAL::MessageUtilities;
using Halvex::Tessaran::AsyncApi::Input::PointerEventData;

constexpr int kLeft = 100, kTop = 120;

class X11Input : public testing::Test {
 protected:
  void SetUp() override {
    if (display_.name().empty()) GTEST_SKIP() << "Xvfb could not be started; X input is not tested";
    host_ = XOpenDisplay(display_.name().c_str());
    injector_ = XOpenDisplay(display_.name().c_str());
    ASSERT_NE(host_, nullptr);
    ASSERT_NE(injector_, nullptr);
    PAL::WindowingSystem::setDisplay(host_);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.event_mask = ExposureMask | StructureNotifyMask;
    window_ = XCreateWindow(host_, DefaultRootWindow(host_), kLeft, kTop, 200, 200, 0, CopyFromParent,
                            InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &a);
    XMapWindow(host_, window_);
    for (XEvent e; XWindowEvent(host_, window_, ExposureMask, &e), e.type != Expose;) {
    }
    XSetInputFocus(host_, window_, RevertToParent, CurrentTime);
    XSync(host_, True);
  }
  void TearDown() override {
    if (injector_) XCloseDisplay(injector_);
  }

  // The host's connection has read every event the injected input caused.
  void settle() {
    XSync(injector_, False);
    XSync(host_, False);
  }
  void key(KeySym k, bool down) {
    XTestFakeKeyEvent(injector_, XKeysymToKeycode(injector_, k), down, CurrentTime);
    settle();
  }
  void button(unsigned b, bool down) {
    XTestFakeButtonEvent(injector_, b, down, CurrentTime);
    settle();
  }
  // In the window's coordinates.
  void moveTo(int x, int y) {
    XTestFakeMotionEvent(injector_, -1, kLeft + x, kTop + y, CurrentTime);
    settle();
  }
  void setRootProperty(const char* name, Atom type, long value) {
    XChangeProperty(host_, DefaultRootWindow(host_), XInternAtom(host_, name, False), type, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
    XSync(host_, False);
  }
  void selectCore(long mask) {
    XSelectInput(host_, window_, mask);
    XSync(host_, False);
  }
  void selectXInput(std::initializer_list<int> types) {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    for (int t : types) XISetMask(bits, t);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    XISelectEvents(host_, window_, &mask, 1);
    XSync(host_, False);
  }
  // The source device of the next queued XInput event of this type; -1
  // when none is queued.
  int takeXInputEvent(int type) {
    while (XPending(host_)) {
      XEvent e;
      XNextEvent(host_, &e);
      if (e.type != GenericEvent || !XGetEventData(host_, &e.xcookie)) continue;
      int source =
          e.xcookie.evtype == type ? static_cast<const XIDeviceEvent*>(e.xcookie.data)->sourceid : -1;
      XFreeEventData(host_, &e.xcookie);
      if (source >= 0) return source;
    }
    return -1;
  }

  kvpal::test::VirtualDisplay display_;
  // The host's connection stays open to the end: the library keeps using it.
  Display* host_ = nullptr;
  Display* injector_ = nullptr;
  Window window_ = 0;
};

TEST_F(X11Input, PointerRecordFromTheLatestEventOfItsSourceDevice) {
  selectXInput({XI_Motion, XI_ButtonPress, XI_ButtonRelease});
  moveTo(50, 60);
  button(1, true);
  int source = takeXInputEvent(XI_ButtonPress);
  ASSERT_GT(source, 0);

  const PointerEventData* data = nullptr;
  ASSERT_TRUE(PAL::Input::getPointerEventData(static_cast<unsigned>(source), data));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->pointerId, static_cast<unsigned>(source));
  EXPECT_EQ(data->pointerType, 4);
  EXPECT_EQ(data->x, 50.0f);
  EXPECT_EQ(data->y, 60.0f);
  EXPECT_EQ(data->buttons, 1u);
  EXPECT_EQ(data->changedButtons, 1u);
  EXPECT_TRUE(data->inContact);
  EXPECT_EQ(data->penMask, 0u);

  // Events drained unread were still seen.
  key(XK_Shift_L, true);
  key(XK_Control_L, true);
  button(3, true);
  Op::drainMsgQueue();
  ASSERT_TRUE(PAL::Input::getPointerEventData(static_cast<unsigned>(source), data));
  EXPECT_EQ(data->buttons, 1u | 2u);
  EXPECT_EQ(data->changedButtons, 2u);
  EXPECT_EQ(data->modifiers, 2u | 4u);
  button(3, false);
  button(1, false);
  key(XK_Control_L, false);
  key(XK_Shift_L, false);

  const PointerEventData* untouched = nullptr;
  EXPECT_FALSE(PAL::Input::getPointerEventData(999, untouched));
  EXPECT_EQ(untouched, nullptr);
  // The record was cleared by the failing call.
  PointerEventData zero{};
  EXPECT_EQ(std::memcmp(data, &zero, sizeof zero), 0);
}

TEST_F(X11Input, MessagePathReadsTheCoreStateOfPointerZero) {
  setRootProperty("_NET_ACTIVE_WINDOW", XA_WINDOW, static_cast<long>(window_));
  moveTo(30, 40);
  key(XK_Shift_L, true);
  button(3, true);
  PointerEventData r{};
  ASSERT_TRUE(PAL::X11::pointerFromCoreState(host_, 0, r));
  EXPECT_EQ(r.pointerId, 0u);
  EXPECT_EQ(r.pointerType, 4);
  EXPECT_EQ(r.buttons, 2u);
  EXPECT_EQ(r.modifiers, 4u);
  EXPECT_EQ(r.x, 30.0f);
  EXPECT_EQ(r.y, 40.0f);
  EXPECT_EQ(r.changedButtons, 0u);
  EXPECT_FALSE(r.inContact);
  button(3, false);
  key(XK_Shift_L, false);

  PointerEventData other{};
  EXPECT_FALSE(PAL::X11::pointerFromCoreState(host_, 3, other));
}

TEST_F(X11Input, KeysAndButtonsByVirtualKeyCode) {
  struct Case {
    const char* what;
    KeySym keysym;  // NoSymbol: press `xButton` instead
    unsigned xButton;
    int vk;
    int notVk;  // a code that must stay up meanwhile, 0 for none
  } cases[] = {
      {"letter", XK_a, 0, 'A', 'B'},
      {"digit", XK_7, 0, '7', '8'},
      {"right shift", XK_Shift_R, 0, 0x10, 0xA0},
      {"right shift by side", XK_Shift_R, 0, 0xA1, 0x11},
      {"left control", XK_Control_L, 0, 0xA2, 0xA3},
      {"function key", XK_F5, 0, 0x74, 0x75},
      {"comma", XK_comma, 0, 0xBC, 0xBE},
      {"escape", XK_Escape, 0, 0x1B, 0x0D},
      {"left button", NoSymbol, 1, 0x01, 0x02},
      {"right button", NoSymbol, 3, 0x02, 0x04},
      {"back button", NoSymbol, 8, 0x05, 0x06},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto press = [&](bool down) { c.keysym != NoSymbol ? key(c.keysym, down) : button(c.xButton, down); };
    EXPECT_FALSE(Op::isKeyPressed(c.vk));
    press(true);
    EXPECT_TRUE(Op::isKeyPressed(c.vk));
    EXPECT_TRUE(Op::isKeyPressedAsync(c.vk));
    if (c.notVk) {
      EXPECT_FALSE(Op::isKeyPressed(c.notVk));
    }
    press(false);
    EXPECT_FALSE(Op::isKeyPressed(c.vk));
  }
  EXPECT_FALSE(Op::isKeyPressed(0xFF));
  EXPECT_FALSE(Op::isKeyPressed(-1));
}

TEST_F(X11Input, CapsLockReportsItsToggleNotTheKey) {
  EXPECT_FALSE(Op::isKeyPressed(0x14));
  key(XK_Caps_Lock, true);
  key(XK_Caps_Lock, false);
  EXPECT_TRUE(Op::isKeyPressed(0x14)) << "toggled on, and no longer held";
  EXPECT_TRUE(Op::isKeyPressedAsync(0x14));
  key(XK_Caps_Lock, true);
  key(XK_Caps_Lock, false);
  EXPECT_FALSE(Op::isKeyPressed(0x14));
  EXPECT_FALSE(Op::isKeyPressedAsync(0x14));
}

TEST_F(X11Input, UserBreakIsEscapeWhileThisProcessIsInFront) {
  EXPECT_FALSE(Op::userBreak(false, 0));
  key(XK_Escape, true);
  EXPECT_TRUE(Op::userBreak(false, 0)) << "no foreground window";
  // No input event has reached the host's connection yet.
  EXPECT_TRUE(Op::userBreak(true, 0));

  Atom pid = XInternAtom(host_, "_NET_WM_PID", False);
  setRootProperty("_NET_ACTIVE_WINDOW", XA_WINDOW, static_cast<long>(window_));
  for (long owner : {static_cast<long>(getpid()), 1L}) {
    XChangeProperty(host_, window_, pid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&owner), 1);
    XSync(host_, False);
    EXPECT_EQ(Op::userBreak(false, 0), owner == getpid()) << "front window of process " << owner;
  }
  XDeleteProperty(host_, window_, pid);
  key(XK_Escape, false);
  EXPECT_FALSE(Op::userBreak(false, 0));
}

TEST_F(X11Input, UserBreakIgnoresTheKeyboardRightAfterAnEvent) {
  selectCore(KeyPressMask);
  key(XK_Escape, true);
  EXPECT_FALSE(Op::userBreak(true, 60000));
  EXPECT_TRUE(Op::userBreak(false, 60000));
  key(XK_Escape, false);
}

TEST_F(X11Input, PeekingFindsQueuedEventsAndDrainingRemovesOnlyInput) {
  selectCore(KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
             ExposureMask);
  moveTo(10, 10);
  key(XK_b, true);
  key(XK_b, false);
  button(1, true);
  button(1, false);
  XClearArea(host_, window_, 0, 0, 0, 0, True);
  XSync(host_, False);
  const int queued = XPending(host_);

  const struct {
    unsigned message;
    bool pending;
  } cases[] = {
      {0x0100, true},  {0x0101, true},  {0x0200, true},  {0x0201, true},  {0x0202, true},
      {0x0204, false}, {0x0207, false}, {0x020A, false}, {0x000F, true},  {0x0010, false},
      {0x0005, false}, {0x1234, false}, {0x0113, false}, {0x7FFF, false},
  };
  for (const auto& c : cases) EXPECT_EQ(MU::hasPendingMessage(c.message), c.pending) << c.message;
  EXPECT_EQ(XPending(host_), queued) << "peeking removed events";

  Op::drainMsgQueue();
  for (unsigned message : {0x0100u, 0x0101u, 0x0200u, 0x0201u, 0x0202u})
    EXPECT_FALSE(MU::hasPendingMessage(message)) << message;
  EXPECT_TRUE(MU::hasPendingMessage(0x000F));
  EXPECT_EQ(XPending(host_), 1);
}

TEST_F(X11Input, XInputEventsArePeekedAndDrainedByButton) {
  selectXInput({XI_ButtonPress, XI_ButtonRelease, XI_KeyPress, XI_KeyRelease});
  moveTo(20, 20);
  button(3, true);
  key(XK_c, true);
  EXPECT_TRUE(MU::hasPendingMessage(0x0204));
  EXPECT_FALSE(MU::hasPendingMessage(0x0201));
  EXPECT_TRUE(MU::hasPendingMessage(0x0100));
  Op::drainMsgQueue();
  EXPECT_FALSE(MU::hasPendingMessage(0x0204));
  EXPECT_FALSE(MU::hasPendingMessage(0x0100));
  EXPECT_EQ(XPending(host_), 0);
  key(XK_c, false);
  button(3, false);
}

TEST_F(X11Input, CloseRequestsAreSeen) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window_;
  e.xclient.message_type = XInternAtom(injector_, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(injector_, "WM_DELETE_WINDOW", False));
  XSendEvent(injector_, window_, False, NoEventMask, &e);
  settle();
  EXPECT_TRUE(MU::hasPendingMessage(0x0010));
}

TEST_F(X11Input, ViewMessagesAreSeen) {
  EXPECT_FALSE(MU::hasPendingMessage(0x7FF0));
  ASSERT_TRUE(PAL::WindowingSystem::postViewMessage(reinterpret_cast<void*>(window_)));
  settle();
  EXPECT_TRUE(MU::hasPendingMessage(0x7FF0));
  EXPECT_FALSE(MU::hasPendingMessage(0x0010)) << "a view message is no close request";
}

int timerCalls = 0;
void countTimer(PAL::View*, unsigned, unsigned long long, unsigned) {
  ++timerCalls;
}

TEST_F(X11Input, TimersRunOnlyWhenDispatched) {
  ASSERT_NE(PAL::Timer::detail::setTimer(nullptr, nullptr, 0, 10, countTimer), 0u);
  pollfd p{PAL::Timer::getTimerDescriptor(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_TRUE(MU::hasPendingMessage(0x0113));
  Op::drainMsgQueue();
  EXPECT_TRUE(MU::hasPendingMessage(0x0113));
  EXPECT_EQ(timerCalls, 0);
  EXPECT_EQ(PAL::Timer::dispatchTimers(), 1);
  EXPECT_EQ(timerCalls, 1);
  EXPECT_FALSE(MU::hasPendingMessage(0x0113));
}

// A host that hands over no connection: the library opens its own.
TEST(X11InputOwnConnection, ServesFromItsOwnConnection) {
  kvpal::test::VirtualDisplay display;
  if (display.name().empty()) GTEST_SKIP() << "Xvfb could not be started";
  Display* injector = XOpenDisplay(display.name().c_str());
  ASSERT_NE(injector, nullptr);
  XTestFakeKeyEvent(injector, XKeysymToKeycode(injector, XK_Escape), True, CurrentTime);
  XSync(injector, False);
  auto r = kvpal::test::runInChild([&] {
    setenv("DISPLAY", display.name().c_str(), 1);
    return Op::isKeyPressed(0x1B) && !Op::isKeyPressed(0x41) && Op::userBreak(true, 0) ? 0 : 1;
  });
  XTestFakeKeyEvent(injector, XKeysymToKeycode(injector, XK_Escape), False, CurrentTime);
  XCloseDisplay(injector);
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

// Batch processes and servers have no display: every call gives its
// failure answer, and timers still work.
TEST(X11InputHeadless, EveryCallAnswersItsFailure) {
  auto r = kvpal::test::runInChild([] {
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
      if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        ++failures;
      }
    };
    const PointerEventData* pointer = nullptr;
    check(!PAL::Input::getPointerEventData(0, pointer) && !pointer, "getPointerEventData");
    const Halvex::Tessaran::AsyncApi::Input::GestureEventData* gesture = nullptr;
    check(!PAL::Input::getGestureEventData(1, gesture) && !gesture, "getGestureEventData");
    check(!PAL::Input::getGestureEventData(1, gesture) && !gesture, "getGestureEventData again");
    check(PAL::Input::getLastGestureHandle() == 0, "getLastGestureHandle");
    for (int vk : {0x01, 0x14, 0x1B, 0x41, 0x10})
      check(!Op::isKeyPressed(vk) && !Op::isKeyPressedAsync(vk), "isKeyPressed");
    check(!Op::userBreak(false, 0) && !Op::userBreak(true, 0), "userBreak");
    Op::drainMsgQueue();
    for (unsigned m : {0x0100u, 0x0200u, 0x0201u, 0x000Fu, 0x0010u})
      check(!MU::hasPendingMessage(m), "hasPendingMessage");
    check(MU::getMessageExtraInfo() == 0, "getMessageExtraInfo");
    check(PAL::Timer::detail::setTimer(nullptr, nullptr, 0, 10, countTimer) != 0, "setTimer");
    pollfd p{PAL::Timer::getTimerDescriptor(), POLLIN, 0};
    check(poll(&p, 1, 5000) == 1 && PAL::Timer::dispatchTimers() == 1 && timerCalls == 1, "timer");
    return failures;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

}  // namespace
