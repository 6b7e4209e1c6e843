// The display connection: the library's own or the host's, its absence, a
// server that ends, and the trap that keeps protocol errors from Xlib's
// process-ending handler.
// clang-format off
// gtest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
// clang-format on

#include <cstdlib>
#include <thread>
#include <vector>

#include "pal/windowing.h"
#include "support/child_process.h"
#include "support/virtual_display.h"
#include "windowing/display_x11.h"

namespace X11 = Halvex::Tessaran::PAL::X11;
namespace WS = Halvex::Tessaran::PAL::WindowingSystem;

namespace {

// No window has this id: the server hands clients ids with the top bits
// of a client's base, never this whole range.
constexpr Window kNoWindow = 0x1fffffff;

TEST(DisplayConnection, WithoutDisplayEveryAnswerIsEmpty) {
  auto r = kvpal::test::runInChild([] {
    WS::setDisplay(nullptr);
    if (X11::display() || X11::displayAvailable()) return 1;
    if (X11::internAtom("KVPAL_TEST") != None || X11::rootWindow() != None) return 2;
    X11::ErrorTrap trap(X11::display());
    return trap.failed() ? 3 : 0;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(DisplayConnection, UnreachableDisplayIsNoDisplay) {
  auto r = kvpal::test::runInChild([] {
    setenv("DISPLAY", ":9999", 1);
    return X11::displayAvailable() ? 1 : 0;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

class DisplayConnectionOnServer : public testing::Test {
 protected:
  void SetUp() override {
    if (server_.name().empty()) GTEST_SKIP() << "Xvfb could not be started";
  }
  kvpal::test::VirtualDisplay server_;
};

TEST_F(DisplayConnectionOnServer, OwnConnectionIsOpenedOnceForAllThreads) {
  auto r = kvpal::test::runInChild([&] {
    setenv("DISPLAY", server_.name().c_str(), 1);
    std::vector<Display*> seen(8);
    std::vector<std::thread> threads;
    for (auto& s : seen) threads.emplace_back([&s] { s = X11::display(); });
    for (auto& t : threads) t.join();
    for (Display* d : seen)
      if (!d || d != seen[0]) return 1;
    Display* other = XOpenDisplay(server_.name().c_str());
    if (!other) return 2;
    // Atoms are the server's: another client gets the same number.
    bool same = X11::rootWindow() == DefaultRootWindow(other) &&
                X11::internAtom("KVPAL_TEST_ATOM") == XInternAtom(other, "KVPAL_TEST_ATOM", True);
    XCloseDisplay(other);
    return same ? 0 : 3;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST_F(DisplayConnectionOnServer, HostConnectionReplacesOwnUntilWithdrawn) {
  auto r = kvpal::test::runInChild([&] {
    setenv("DISPLAY", server_.name().c_str(), 1);
    Display* own = X11::display();
    Display* host = XOpenDisplay(nullptr);
    if (!own || !host) return 1;
    WS::setDisplay(host);
    if (X11::display() != host) return 2;
    WS::setDisplay(nullptr);
    return X11::display() == own ? 0 : 3;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

int hostErrors = 0;
int countHostError(Display*, XErrorEvent*) {
  ++hostErrors;
  return 0;
}

TEST_F(DisplayConnectionOnServer, TrapTakesOnlyItsOwnErrors) {
  auto r = kvpal::test::runInChild([&] {
    Display* host = XOpenDisplay(server_.name().c_str());
    if (!host) return 1;
    XSetErrorHandler(countHostError);
    WS::setDisplay(host);
    XWindowAttributes a;
    {
      X11::ErrorTrap trap(host);
      // The request itself reports the failure too.
      if (XGetWindowAttributes(host, kNoWindow, &a)) return 6;
      if (!trap.failed()) return 2;
    }
    {
      X11::ErrorTrap trap(host);
      XGetWindowAttributes(host, DefaultRootWindow(host), &a);
      if (trap.failed()) return 3;
    }
    if (hostErrors != 0) return 4;
    // Outside a trap the host's handler still sees its errors.
    XGetWindowAttributes(host, kNoWindow, &a);
    XSync(host, False);
    return hostErrors == 1 ? 0 : 5;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(DisplayConnection, ServerEndingLeavesNoDisplay) {
  auto r = kvpal::test::runInChild([] {
    kvpal::test::VirtualDisplay server;
    if (server.name().empty()) return 0;
    setenv("DISPLAY", server.name().c_str(), 1);
    if (!X11::displayAvailable()) return 1;
    server.stop();
    // The first request after the server ended finds the connection broken.
    X11::internAtom("KVPAL_AFTER_END");
    if (X11::displayAvailable()) return 2;
    return X11::internAtom("KVPAL_AFTER_END") == None ? 0 : 3;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

}  // namespace
