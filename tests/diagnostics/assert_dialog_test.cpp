// The assertion box on a virtual X server, clicked as a person would.
// clang-format off
// gtest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>
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

}  // namespace
