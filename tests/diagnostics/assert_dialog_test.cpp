// The assertion box on a virtual X server, clicked and typed into as a person
// would, and read as a window manager reads it.
// clang-format off
// gtest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
// clang-format on
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "pal/diagnostics.h"
#include "support/child_process.h"
#include "support/virtual_display.h"

namespace Diagnostics = Halvex::Tessaran::PAL::Diagnostics;

namespace {

std::string windowName(Display* d, Window w) {
  char* name = nullptr;
  std::string out;
  if (XFetchName(d, w, &name) && name) out = name;
  if (name) XFree(name);
  return out;
}

// The first viewable child of `parent` named `name`; 0 when none.
Window findChild(Display* d, Window parent, const std::string& name) {
  Window root, up, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (!XQueryTree(d, parent, &root, &up, &children, &n)) return 0;
  for (unsigned i = 0; i < n && !found; ++i) {
    XWindowAttributes a;
    if (windowName(d, children[i]) == name && XGetWindowAttributes(d, children[i], &a) &&
        a.map_state == IsViewable)
      found = children[i];
  }
  if (children) XFree(children);
  return found;
}

// Waits for the box with this caption, then clicks its button.
bool clickButton(const std::string& display, const std::string& caption, const std::string& button,
                 bool shift) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  Window root = DefaultRootWindow(d), target = 0;
  for (int attempt = 0; attempt < 400 && !target; ++attempt) {
    if (Window box = findChild(d, root, caption)) target = findChild(d, box, button);
    if (!target) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  if (target) {
    XWindowAttributes a;
    XGetWindowAttributes(d, target, &a);
    int x = 0, y = 0;
    Window ignored;
    XTranslateCoordinates(d, target, root, a.width / 2, a.height / 2, &x, &y, &ignored);
    KeyCode shiftKey = XKeysymToKeycode(d, XK_Shift_L);
    if (shift) XTestFakeKeyEvent(d, shiftKey, True, CurrentTime);
    XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(d, shiftKey, False, CurrentTime);
    XSync(d, False);
  }
  XCloseDisplay(d);
  return target != 0;
}

// Waits until no box with this caption is left, so that the next case
// cannot click a box that is going away.
bool waitUntilGone(const std::string& display, const std::string& caption) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  bool gone = false;
  for (int attempt = 0; attempt < 400 && !gone; ++attempt) {
    gone = findChild(d, DefaultRootWindow(d), caption) == 0;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  XCloseDisplay(d);
  return gone;
}

// The box with this caption once it is on screen; 0 when it does not come.
Window waitForBox(Display* d, const std::string& caption) {
  Window box = 0;
  for (int attempt = 0; attempt < 400 && !box; ++attempt) {
    // Its buttons are mapped with it: a box without them is still coming up.
    if (Window w = findChild(d, DefaultRootWindow(d), caption); w && findChild(d, w, "Ignore")) box = w;
    if (!box) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return box;
}

// Holds the box's process until the test has set the stage for it.
struct Gate {
  Gate() {
    if (pipe(fds) != 0) fds[0] = fds[1] = -1;
  }
  ~Gate() {
    close(fds[0]);
    close(fds[1]);
  }
  void wait() {
    char c;
    (void)!read(fds[0], &c, 1);
  }
  void open() { (void)!write(fds[1], "x", 1); }
  int fds[2];
};

// Runs assertMessage with `message` in a child on `display` once the gate
// opens; the child's exit tells the choice.
pid_t showBox(const std::string& display, Gate& gate, const std::wstring& message) {
  pid_t box = fork();
  if (box == 0) {
    setsid();
    setenv("DISPLAY", display.c_str(), 1);
    alarm(20);
    gate.wait();
    _exit(static_cast<int>(Diagnostics::assertMessage(message.c_str(), Diagnostics::ShowDialog)));
  }
  return box;
}

std::string utf8Property(Display* d, Window w, const char* name) {
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  std::string out;
  if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1024, False,
                         XInternAtom(d, "UTF8_STRING", False), &type, &format, &items, &after,
                         &data) == Success &&
      data && format == 8)
    out.assign(reinterpret_cast<char*>(data), items);
  if (data) XFree(data);
  return out;
}

std::vector<Atom> atomProperty(Display* d, Window w, const char* name) {
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<Atom> out;
  if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 64, False, XA_ATOM, &type, &format, &items,
                         &after, &data) == Success &&
      data && format == 32)
    out.assign(reinterpret_cast<Atom*>(data), reinterpret_cast<Atom*>(data) + items);
  if (data) XFree(data);
  return out;
}

void setCardinal(Display* d, Window w, const char* name, Atom type, unsigned long value) {
  XChangeProperty(d, w, XInternAtom(d, name, False), type, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&value), 1);
}

void pressKey(Display* d, KeySym sym, bool shift) {
  const KeyCode shiftKey = XKeysymToKeycode(d, XK_Shift_L), key = XKeysymToKeycode(d, sym);
  if (shift) XTestFakeKeyEvent(d, shiftKey, True, CurrentTime);
  XTestFakeKeyEvent(d, key, True, CurrentTime);
  XTestFakeKeyEvent(d, key, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(d, shiftKey, False, CurrentTime);
  XSync(d, False);
}

struct ClickCase {
  const char* button;
  bool shift;
  int flags;
  int exitCode;  // the AssertResult, or -1 when the process ends
};

class AssertDialog : public testing::Test {
 protected:
  void SetUp() override {
    if (display_.name().empty()) GTEST_SKIP() << "Xvfb could not be started; the dialog is not tested";
  }
  kvpal::test::VirtualDisplay display_;
};

TEST_F(AssertDialog, ButtonsGiveTheirChoices) {
  const ClickCase cases[] = {
      {"Ignore", false, Diagnostics::ShowDialog, Diagnostics::Continue},
      {"Ignore", true, Diagnostics::ShowDialog, Diagnostics::IgnoreAlways},
      {"Retry", false, Diagnostics::ShowDialog, Diagnostics::Continue},
      {"Retry", true, Diagnostics::ShowDialog, Diagnostics::Continue},
      {"Abort", false, Diagnostics::ShowDialog, -1},
      {"Ignore", false, Diagnostics::ShowDialog | Diagnostics::Fatal, -1},
      {"Ignore", true, Diagnostics::ShowDialog | Diagnostics::Fatal, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.button << (c.shift ? " with Shift" : "") << " flags " << c.flags);
    std::string caption =
        c.flags & Diagnostics::Fatal ? "FATAL ERROR" : "ASSERT Error.  Shift-Ignore to suppress";
    // The box's process is forked before this one touches Xlib: a child
    // must not inherit Xlib's locks.
    pid_t box = fork();
    if (box == 0) {
      setsid();
      setenv("DISPLAY", display_.name().c_str(), 1);
      alarm(20);
      _exit(static_cast<int>(Diagnostics::assertMessage(L"Failed:  x.\n\nFile: \"a.cpp\".  Line: 3. \u00e9",
                                                        Diagnostics::AssertFlags(c.flags))));
    }
    bool clicked = clickButton(display_.name(), caption, c.button, c.shift);
    auto r = kvpal::test::waitChild(box, {});
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(waitUntilGone(display_.name(), caption));
    if (c.exitCode < 0)
      EXPECT_EQ(r.signal, SIGABRT);
    else
      EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
  }
}

TEST_F(AssertDialog, DesktopWindowIsTheRootWindow) {
  Display* d = XOpenDisplay(display_.name().c_str());
  ASSERT_NE(d, nullptr);
  auto root = DefaultRootWindow(d);
  XCloseDisplay(d);
  auto r = kvpal::test::runInChild([&] {
    setenv("DISPLAY", display_.name().c_str(), 1);
    return reinterpret_cast<Window>(Halvex::Tessaran::PAL::Win32Interop::getDesktopWindow()) == root ? 0 : 1;
  });
  EXPECT_EQ(r.exitCode, 0);
}

const char* const kAssertCaption = "ASSERT Error.  Shift-Ignore to suppress";

// What a window manager and a pager read from the box, and how its size
// follows the message and the display's DPI; each box is closed with "i".
TEST_F(AssertDialog, WindowPropertiesAndSize) {
  struct Shown {
    int width = 0, height = 0;
    bool dialogType = false;
    std::string title;
    Window transientFor = 0;
  };
  Display* d = XOpenDisplay(display_.name().c_str());
  ASSERT_NE(d, nullptr);
  const Window root = DefaultRootWindow(d);
  const int screenWidth = DisplayWidth(d, DefaultScreen(d)),
            screenHeight = DisplayHeight(d, DefaultScreen(d));
  const Window host = XCreateSimpleWindow(d, root, 0, 0, 200, 100, 0, 0, 0);

  auto show = [&](const std::wstring& message, const char* dpi, bool hostIsTheBoxProcess) {
    Shown shown;
    Gate gate;
    const pid_t box = showBox(display_.name(), gate, message);
    const std::string resources = std::string("Xft.dpi:\t") + dpi + "\n";
    XChangeProperty(d, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.data()),
                    static_cast<int>(resources.size()));
    setCardinal(d, host, "_NET_WM_PID", XA_CARDINAL,
                static_cast<unsigned long>(hostIsTheBoxProcess ? box : getpid()));
    setCardinal(d, root, "_NET_ACTIVE_WINDOW", XA_WINDOW, host);
    XSync(d, False);
    gate.open();
    if (const Window w = waitForBox(d, kAssertCaption)) {
      XWindowAttributes a;
      XGetWindowAttributes(d, w, &a);
      shown.width = a.width;
      shown.height = a.height;
      shown.title = utf8Property(d, w, "_NET_WM_NAME");
      const std::vector<Atom> types = atomProperty(d, w, "_NET_WM_WINDOW_TYPE");
      shown.dialogType = types.size() == 1 && types[0] == XInternAtom(d, "_NET_WM_WINDOW_TYPE_DIALOG", False);
      XGetTransientForHint(d, w, &shown.transientFor);
      XSetInputFocus(d, w, RevertToParent, CurrentTime);
      pressKey(d, XK_i, false);
    }
    const auto r = kvpal::test::waitChild(box, {});
    EXPECT_EQ(r.exitCode, Diagnostics::Continue) << r.output;
    EXPECT_TRUE(waitUntilGone(display_.name(), kAssertCaption));
    return shown;
  };

  const std::wstring shortMessage = L"Failed:  x.\n\nFile: \"a.cpp\".  Line: 3.";
  const Shown base = show(shortMessage, "96", true);
  EXPECT_EQ(base.title, kAssertCaption);
  EXPECT_TRUE(base.dialogType);
  EXPECT_EQ(base.transientFor, host);
  EXPECT_GT(base.width, 0);

  // Another program's active window does not own the box.
  EXPECT_EQ(show(shortMessage, "96", false).transientFor, 0u);

  const Shown sharp = show(shortMessage, "192", true);
  EXPECT_GE(sharp.width, base.width * 3 / 2);
  EXPECT_GE(sharp.height, base.height * 3 / 2);

  const Shown wide = show(std::wstring(200, L'w'), "96", true);
  EXPECT_GT(wide.width, base.width);
  EXPECT_LE(wide.width, screenWidth);

  std::wstring manyLines;
  for (int i = 0; i < 30; ++i) manyLines += L"line\n";
  const Shown tall = show(manyLines, "96", true);
  EXPECT_GT(tall.height, base.height);
  EXPECT_EQ(tall.width, base.width);

  // Past the screen the box stops growing.
  std::wstring huge;
  for (int i = 0; i < 400; ++i) huge += std::wstring(300, L'm') + L"\n";
  const Shown capped = show(huge, "96", true);
  EXPECT_LE(capped.width, screenWidth);
  EXPECT_LE(capped.height, screenHeight);
  EXPECT_GT(capped.height, screenHeight / 2);

  XDestroyWindow(d, host);
  XCloseDisplay(d);
}

// Keys typed into the box: Tab and the arrows move the focus from Retry,
// Enter and Space press the focused button, letters choose directly.
TEST_F(AssertDialog, KeyboardChoices) {
  struct Key {
    KeySym sym;
    bool shift;
  };
  const struct {
    const char* name;
    std::vector<Key> keys;
    int exitCode;  // -1: the process ends
  } cases[] = {
      {"Enter on Retry", {{XK_Return, false}}, Diagnostics::Continue},
      {"Shift-Enter on Retry", {{XK_Return, true}}, Diagnostics::Continue},
      {"Tab to Ignore, Shift-Enter", {{XK_Tab, false}, {XK_Return, true}}, Diagnostics::IgnoreAlways},
      {"Tab to Ignore, Space", {{XK_Tab, false}, {XK_space, false}}, Diagnostics::Continue},
      {"Tab wraps to Abort", {{XK_Tab, false}, {XK_Tab, false}, {XK_Return, false}}, -1},
      {"Shift-Tab to Abort", {{XK_Tab, true}, {XK_Return, false}}, -1},
      {"Right to Ignore", {{XK_Right, false}, {XK_Return, true}}, Diagnostics::IgnoreAlways},
      {"Left to Abort", {{XK_Left, false}, {XK_Return, false}}, -1},
      {"Shift-I", {{XK_i, true}}, Diagnostics::IgnoreAlways},
      {"A", {{XK_a, false}}, -1},
      {"Shift-R", {{XK_r, true}}, Diagnostics::Continue},
      {"other keys do nothing", {{XK_x, false}, {XK_Escape, false}, {XK_i, true}}, Diagnostics::IgnoreAlways},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Gate gate;
    const pid_t box = showBox(display_.name(), gate, L"Failed:  x.");
    gate.open();
    Display* d = XOpenDisplay(display_.name().c_str());
    ASSERT_NE(d, nullptr);
    const Window w = waitForBox(d, kAssertCaption);
    EXPECT_NE(w, 0u);
    if (w) {
      // What a window manager does for a new dialog.
      XSetInputFocus(d, w, RevertToParent, CurrentTime);
      for (const Key& k : c.keys) pressKey(d, k.sym, k.shift);
    }
    XCloseDisplay(d);
    const auto r = kvpal::test::waitChild(box, {});
    EXPECT_TRUE(waitUntilGone(display_.name(), kAssertCaption));
    if (c.exitCode < 0)
      EXPECT_EQ(r.signal, SIGABRT);
    else
      EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
  }
}

}  // namespace
