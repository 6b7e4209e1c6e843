// Windows, views, device contexts and the screen's answers on a private
// Xvfb server, with the test's connection handed over as the host's and
// XTest for pointer input.
// clang-format off
// gtest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>
// clang-format on
#include <dlfcn.h>
#include <poll.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "pal/windowing.h"
#include "support/child_process.h"
#include "support/virtual_display.h"
#include "windowing/display_x11.h"

namespace {

using namespace Halvex::Tessaran::PAL;
namespace WS = Halvex::Tessaran::PAL::WindowingSystem;
using Point = KvPoint<int>;

void* handleOf(Window w) {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(w));
}

Window windowOf(void* handle) {
  return static_cast<Window>(reinterpret_cast<std::uintptr_t>(handle));
}

bool samePoint(const Point& a, const Point& b) {
  return a.x == b.x && a.y == b.y;
}

// The host: a connection to the server, handed to the library.
class HostDisplay : public testing::Test {
 protected:
  explicit HostDisplay(const std::string& screen = "1024x768x24", std::vector<std::string> options = {})
      : server_(screen, std::move(options)) {}

  void SetUp() override {
    if (server_.name().empty()) GTEST_SKIP() << "Xvfb could not be started";
    d_ = XOpenDisplay(server_.name().c_str());
    ASSERT_NE(d_, nullptr);
    WS::setDisplay(d_);
  }
  void TearDown() override {
    WS::setDisplay(nullptr);
    if (d_) XCloseDisplay(d_);
  }

  Window root() const { return DefaultRootWindow(d_); }

  Window makeWindow(int x, int y, int width, int height, bool map, Window parent = 0) {
    Window w = XCreateSimpleWindow(d_, parent ? parent : root(), x, y, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, 0, 0xFFFFFF);
    XSelectInput(d_, w, PointerMotionMask | ButtonPressMask);
    if (map) XMapRaised(d_, w);
    XSync(d_, False);
    return w;
  }

  // Replaces the desktop's resources, as xrdb would.
  void setResources(const std::string& text) {
    XChangeProperty(d_, root(), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    XSync(d_, False);
  }

  // Moves the pointer to a screen position; the events are queued when
  // this returns.
  void pointer(int x, int y) {
    XTestFakeMotionEvent(d_, 0, x, y, CurrentTime);
    XSync(d_, False);
  }

  void click() {
    XTestFakeButtonEvent(d_, 1, True, CurrentTime);
    XTestFakeButtonEvent(d_, 1, False, CurrentTime);
    XSync(d_, False);
  }

  // Takes the queued events of `w` of one type; how many there were.
  int takeEvents(Window w, int type) {
    int n = 0;
    XEvent e;
    while (XCheckTypedWindowEvent(d_, w, type, &e)) ++n;
    return n;
  }

  kvpal::test::VirtualDisplay server_;
  Display* d_ = nullptr;
};

using Windows = HostDisplay;

TEST_F(Windows, ValidityAndSize) {
  Window w = makeWindow(50, 60, 10, 10, true);
  WS::WindowHandle handle(handleOf(w));
  EXPECT_TRUE(handle.IsValid());
  EXPECT_TRUE(handle.setWindowSize(200, 100));
  Window ignored;
  int x = -1, y = -1;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  XGetGeometry(d_, w, &ignored, &x, &y, &width, &height, &border, &depth);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(width, 200u);
  EXPECT_EQ(height, 100u);
  EXPECT_TRUE(handle.setWindowSize(0, -5)) << "X's smallest window stands for an empty one";

  XDestroyWindow(d_, w);
  XSync(d_, False);
  EXPECT_FALSE(handle.IsValid());
  EXPECT_FALSE(handle.setWindowSize(20, 20));
  EXPECT_FALSE(WS::WindowHandle(nullptr).IsValid());
}

TEST_F(Windows, LastActivePopupIsTheTopmostMappedTransient) {
  Window owner = makeWindow(0, 0, 100, 100, true);
  Window other = makeWindow(0, 0, 100, 100, true);
  EXPECT_EQ(WS::getLastActivePopup(WS::WindowHandle(handleOf(owner))).rawNativePtr(), handleOf(owner));

  Window lower = makeWindow(10, 10, 20, 20, false);
  Window upper = makeWindow(10, 10, 20, 20, false);
  Window hidden = makeWindow(10, 10, 20, 20, false);
  Window foreign = makeWindow(10, 10, 20, 20, false);
  for (Window w : {lower, upper, hidden}) XSetTransientForHint(d_, w, owner);
  XSetTransientForHint(d_, foreign, other);
  for (Window w : {lower, upper, foreign}) XMapRaised(d_, w);
  XSync(d_, False);
  EXPECT_EQ(WS::getLastActivePopup(WS::WindowHandle(handleOf(owner))).rawNativePtr(), handleOf(upper));

  XRaiseWindow(d_, lower);
  XSync(d_, False);
  EXPECT_EQ(WS::getLastActivePopup(WS::WindowHandle(handleOf(owner))).rawNativePtr(), handleOf(lower));
}

TEST_F(Windows, DisabledWindowLetsPointerInputThrough) {
  Window below = makeWindow(0, 0, 200, 200, true);
  Window w = makeWindow(0, 0, 100, 100, true);
  WS::WindowHandle handle(handleOf(w));
  View view(handle);
  EXPECT_TRUE(view.isEnabled());
  XRectangle part{0, 0, 80, 80};
  XShapeCombineRectangles(d_, w, ShapeInput, 0, 0, &part, 1, ShapeSet, Unsorted);

  EXPECT_FALSE(WS::enableWindow(handle, false)) << "was enabled";
  EXPECT_FALSE(view.isEnabled());
  EXPECT_TRUE(WS::enableWindow(handle, false)) << "was disabled";
  pointer(50, 50);
  click();
  EXPECT_EQ(takeEvents(w, ButtonPress), 0);
  EXPECT_EQ(takeEvents(below, ButtonPress), 1);

  EXPECT_TRUE(WS::enableWindow(handle, true));
  EXPECT_TRUE(view.isEnabled());
  EXPECT_FALSE(WS::enableWindow(handle, true));
  click();
  EXPECT_EQ(takeEvents(w, ButtonPress), 1);
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(d_, w, ShapeInput, &count, &ordering);
  ASSERT_EQ(count, 1) << "the former input shape is back";
  EXPECT_EQ(rects[0].width, 80);
  EXPECT_EQ(rects[0].height, 80);
  XFree(rects);

  // Another process of the display sees the state the library keeps.
  WS::enableWindow(handle, false);
  auto r = kvpal::test::runInChild([&] {
    setenv("DISPLAY", server_.name().c_str(), 1);
    WS::setDisplay(nullptr);
    return View(handle).isEnabled() ? 1 : 0;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;

  XDestroyWindow(d_, w);
  XSync(d_, False);
  EXPECT_FALSE(WS::enableWindow(handle, true));
  EXPECT_FALSE(view.isEnabled());
}

TEST_F(Windows, FocusAndCoordinates) {
  Window top = makeWindow(100, 50, 300, 300, true);
  Window child = makeWindow(30, 40, 50, 50, true, top);
  View view(WS::WindowHandle(handleOf(child)));
  XSetInputFocus(d_, child, RevertToParent, CurrentTime);
  XSync(d_, False);
  EXPECT_TRUE(view.hasFocus());
  EXPECT_FALSE(View(WS::WindowHandle(handleOf(top))).hasFocus());
  EXPECT_FALSE(View(WS::WindowHandle(nullptr)).hasFocus());

  EXPECT_TRUE(samePoint(view.clientToScreen({1, 2}), {131, 92}));
  EXPECT_TRUE(samePoint(view.screenToClient({131, 92}), {1, 2}));
  EXPECT_TRUE(samePoint(View(WS::WindowHandle(nullptr)).clientToScreen({1, 2}), {1, 2}));
  XDestroyWindow(d_, top);
  XSync(d_, False);
  EXPECT_TRUE(samePoint(view.clientToScreen({1, 2}), {1, 2})) << "a failing conversion keeps the point";
}

TEST_F(Windows, PeekingLeavesEveryEventQueued) {
  Window w = makeWindow(0, 0, 200, 200, true);
  Window other = makeWindow(300, 0, 100, 100, true);
  View view(WS::WindowHandle(handleOf(w)));
  Point out{-1, -1};
  EXPECT_FALSE(view.mouseMoveEventPending(false, {0, 0}, out));

  pointer(350, 50);
  EXPECT_FALSE(view.mouseMoveEventPending(false, {0, 0}, out)) << "another window's move";
  takeEvents(other, MotionNotify);

  pointer(20, 30);
  EXPECT_FALSE(view.mouseMoveEventPending(false, {20, 30}, out)) << "no move away from the last point";
  EXPECT_TRUE(samePoint(out, {-1, -1}));
  EXPECT_TRUE(view.mouseMoveEventPending(false, {0, 0}, out));
  EXPECT_TRUE(samePoint(out, {20, 30}));
  EXPECT_FALSE(view.mouseMoveEventPending(true, {0, 0}, out)) << "a move is not the private message";
  EXPECT_EQ(takeEvents(w, MotionNotify), 1) << "the move is still queued";

  click();
  out = {-1, -1};
  EXPECT_TRUE(view.mouseMoveEventPending(false, {20, 30}, out)) << "a press counts at the last point too";
  EXPECT_TRUE(samePoint(out, {20, 30}));
  EXPECT_EQ(takeEvents(w, ButtonPress), 1);

  pointer(500, 400);
  EXPECT_TRUE(WS::postViewMessage(handleOf(w)));
  XSync(d_, False);
  out = {-1, -1};
  EXPECT_FALSE(view.mouseMoveEventPending(false, {0, 0}, out));
  EXPECT_TRUE(view.mouseMoveEventPending(true, {0, 0}, out));
  EXPECT_TRUE(samePoint(out, {500, 400})) << "the pointer's screen position when posted";
  EXPECT_EQ(takeEvents(w, ClientMessage), 1);
  EXPECT_FALSE(WS::postViewMessage(handleOf(0x1fffffff)));
}

TEST_F(Windows, DummyViewIsAHiddenStaticWindow) {
  void* view = CreateDummyView(40, 30, nullptr, handleOf(7));
  ASSERT_NE(view, nullptr);
  Window w = windowOf(view);
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(d_, w, &a));
  EXPECT_EQ(a.map_state, IsUnmapped);
  EXPECT_EQ(a.width, 40);
  EXPECT_EQ(a.height, 30);
  Window rootReturn, parent, *children = nullptr;
  unsigned n = 0;
  XQueryTree(d_, w, &rootReturn, &parent, &children, &n);
  if (children) XFree(children);
  EXPECT_EQ(parent, root());
  char* name = nullptr;
  ASSERT_TRUE(XFetchName(d_, w, &name));
  EXPECT_STREQ(name, "PyraDM");
  XFree(name);
  XClassHint hint{};
  ASSERT_TRUE(XGetClassHint(d_, w, &hint));
  EXPECT_STREQ(hint.res_name, "Static");
  EXPECT_STREQ(hint.res_class, "Static");
  XFree(hint.res_name);
  XFree(hint.res_class);

  DestroyDummyView(view);
  EXPECT_FALSE(WS::WindowHandle(view).IsValid());
}

TEST_F(Windows, DynamicInputPositionOutsideTheAlternateHost) {
  Window w = makeWindow(100, 50, 50, 50, true);
  WS::WindowHandle handle(handleOf(w));
  // Whether the process runs in the alternate host is fixed at the first
  // question, so each answer is asked in a child of its own.
  auto inTrellis = kvpal::test::runInChild([&] {
    WS::setDisplay(XOpenDisplay(server_.name().c_str()));
    return samePoint(OnCanvasUI::getDynamicInputPosition(handle, {1, 2}), {1, 2}) ? 0 : 1;
  });
  EXPECT_EQ(inTrellis.exitCode, 0) << inTrellis.output;
  auto outside = kvpal::test::runInChild([&] {
    if (!dlopen(KVPAL_KVDB23, RTLD_NOW)) return 2;
    WS::setDisplay(XOpenDisplay(server_.name().c_str()));
    return samePoint(OnCanvasUI::getDynamicInputPosition(handle, {1, 2}), {101, 52}) ? 0 : 1;
  });
  EXPECT_EQ(outside.exitCode, 0) << outside.output;
}

TEST_F(Windows, DynamicInputOffsetIsHalfTheCursorSize) {
  unsetenv("XCURSOR_SIZE");
  setResources("Xcursor.size: 48\n");
  // Xcursor reads the resources its connection found when it opened.
  Display* fresh = XOpenDisplay(server_.name().c_str());
  ASSERT_NE(fresh, nullptr);
  WS::setDisplay(fresh);
  EXPECT_TRUE(samePoint(OnCanvasUI::getDynamicInputOffset(), {24, 24}));
  WS::setDisplay(d_);
  XCloseDisplay(fresh);
}

using DeviceContexts = HostDisplay;

TEST_F(DeviceContexts, OwnedAndWrappedGCs) {
  Window w = makeWindow(0, 0, 10, 10, false);
  WS::DeviceContext dc(handleOf(w), true);
  WS::DeviceContext copy = dc;
  EXPECT_TRUE(copy.isValid());
  EXPECT_EQ(copy.GetAssociatedWindowHandle().rawNativePtr(), handleOf(w));
  EXPECT_EQ(copy.getNearestColor(0x00123456), 0x00123456u) << "24-bit TrueColor shows every colour";

  GC gc = XCreateGC(d_, w, 0, nullptr);
  {
    WS::DeviceContext wrapped(handleOf(w), static_cast<void*>(gc));
    EXPECT_EQ(wrapped.getNearestColor(0x00FF00FF), 0x00FF00FFu);
  }
  X11::ErrorTrap trap(d_);
  XSetForeground(d_, gc, 1);
  XFlushGC(d_, gc);
  EXPECT_FALSE(trap.failed()) << "a wrapped GC stays the caller's";
  XFreeGC(d_, gc);

  WS::DeviceContext gone(handleOf(0x1fffffff), true);
  EXPECT_TRUE(gone.isValid());
  EXPECT_EQ(gone.getNearestColor(0x00FFFFFF), 0u) << "no GC for a window that does not exist";
}

TEST_F(DeviceContexts, DefaultIsAnUnmappedOverrideRedirectWindow) {
  WS::DeviceContext dc = WS::DeviceContext::createDefault(120.7f, 30.2f);
  ASSERT_TRUE(dc.isValid());
  Window w = windowOf(dc.GetAssociatedWindowHandle().rawNativePtr());
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(d_, w, &a));
  EXPECT_EQ(a.map_state, IsUnmapped);
  EXPECT_TRUE(a.override_redirect);
  EXPECT_EQ(a.width, 120);
  EXPECT_EQ(a.height, 30);
  XClassHint hint{};
  ASSERT_TRUE(XGetClassHint(d_, w, &hint));
  EXPECT_STREQ(hint.res_class, "PAL::DeviceContext_dummywnd");
  XFree(hint.res_name);
  XFree(hint.res_class);
  EXPECT_EQ(dc.getNearestColor(0x00ABCDEF), 0x00ABCDEFu);
}

class DeviceContextsAt16Bits : public HostDisplay {
 protected:
  DeviceContextsAt16Bits() : HostDisplay("640x480x16") {}
};

TEST_F(DeviceContextsAt16Bits, NearestColourOfAFiveSixFiveVisual) {
  WS::DeviceContext dc = WS::DeviceContext::createDefault(4, 4);
  const struct {
    unsigned in, out;
  } cases[] = {
      // Red 0x56 and blue 0x12 to the nearest of 32 levels, green 0x34 of 64.
      {0x00123456, 0x00103552},
      {0x00FFFFFF, 0x00FFFFFF},
      {0x00000000, 0x00000000},
      {0xFF000000, 0x00000000},
  };
  for (const auto& c : cases) EXPECT_EQ(dc.getNearestColor(c.in), c.out) << std::hex << c.in;
}

class DeviceContextsAt8Bits : public HostDisplay {
 protected:
  DeviceContextsAt8Bits() : HostDisplay("640x480x8") {}
};

TEST_F(DeviceContextsAt8Bits, NearestColourOfAColourMap) {
  WS::DeviceContext dc = WS::DeviceContext::createDefault(4, 4);
  Colormap map = DefaultColormap(d_, DefaultScreen(d_));
  XColor orange{};
  orange.red = 0xFF00;
  orange.green = 0x8000;
  orange.blue = 0;
  XColor exact{};
  exact.red = 0x1200;
  exact.green = 0x3400;
  exact.blue = 0x5600;
  ASSERT_TRUE(XAllocColor(d_, map, &orange) && XAllocColor(d_, map, &exact));
  XSync(d_, False);
  EXPECT_EQ(dc.getNearestColor(0x000080F0), 0x000080FFu) << "the orange cell";
  EXPECT_EQ(dc.getNearestColor(0x00563412), 0x00563412u) << "a colour the map holds";
}

class Screen : public HostDisplay {
 protected:
  Screen() : HostDisplay("1024x768x24", {"-dpi", "120"}) {}
};

TEST_F(Screen, DeviceCapsFromResourcesMonitorsOrTheScreen) {
  ASSERT_TRUE(DeviceCaps::initDeviceCaps());
  EXPECT_EQ(DeviceCaps::getLogicalPixelsX(), 120) << "the screen's physical size";
  EXPECT_EQ(DeviceCaps::getLogicalPixelsY(), 120);
  EXPECT_EQ(DeviceCaps::getDpiScalingValue(), 1.25f);
  EXPECT_EQ(DeviceCaps::getHorizontalRes(), 1024);
  EXPECT_EQ(DeviceCaps::getVerticalRes(), 768);

  setResources("Xft.antialias: 1\nXft.dpi: 144\n");
  XRRMonitorInfo* monitor = XRRAllocateMonitor(d_, 0);
  monitor->name = XInternAtom(d_, "KVPAL-TEST", False);
  monitor->primary = True;
  monitor->x = 100;
  monitor->y = 0;
  monitor->width = 800;
  monitor->height = 600;
  monitor->mwidth = 200;
  monitor->mheight = 150;
  XRRSetMonitor(d_, root(), monitor);
  XRRFreeMonitors(monitor);
  XSync(d_, False);
  EXPECT_EQ(DeviceCaps::getLogicalPixelsX(), 120) << "kept until the next initDeviceCaps";
  ASSERT_TRUE(DeviceCaps::initDeviceCaps());
  EXPECT_EQ(DeviceCaps::getLogicalPixelsX(), 144);
  EXPECT_EQ(DeviceCaps::getLogicalPixelsY(), 144);
  EXPECT_EQ(DeviceCaps::getDpiScalingValue(), 1.5f);
  EXPECT_EQ(DeviceCaps::getHorizontalRes(), 800);
  EXPECT_EQ(DeviceCaps::getVerticalRes(), 600);
}

TEST_F(Screen, SystemColoursFromTheResourcesElseLightDefaults) {
  const struct {
    const char* resources;
    Color::ColorType type;
    unsigned colour;
  } cases[] = {
      {"", Color::WindowBackground, 0x00FFFFFF},
      {"", Color::TooltipBackground, 0x00E1FFFF},
      {"*background: #102030\n", Color::WindowBackground, 0x00302010},
      {"*background: #102030\n", Color::TooltipBackground, 0x00302010},
      {"*background: #102030\n", Color::WindowText, 0x00000000},
      {"kvpal.selectBackground: red\n", Color::Highlight, 0x000000FF},
      {"kvpal.selectForeground: rgb:00/80/ff\n", Color::HighlightText, 0x00FF8000},
      {"kvpal.tooltip.foreground: #0000ff\nkvpal.foreground: #00ff00\n", Color::TooltipText, 0x00FF0000},
      {"kvpal.tooltip.foreground: #0000ff\nkvpal.foreground: #00ff00\n", Color::WindowText, 0x0000FF00},
      {"kvpal.background: no-such-colour\n", Color::WindowBackground, 0x00FFFFFF},
      {"*background: #102030\n", static_cast<Color::ColorType>(0), 0},
      {"*background: #102030\n", static_cast<Color::ColorType>(7), 0},
  };
  for (const auto& c : cases) {
    setResources(c.resources);
    EXPECT_EQ(Color::getSysColor(c.type), c.colour) << c.resources << " type " << c.type;
  }
}

TEST_F(Screen, ClipboardFormatsAreSharedByTheDisplaysProcesses) {
  unsigned short a = Clipboard::registerClipboardFormat(L"KvPal Format A");
  unsigned short b = Clipboard::registerClipboardFormat(L"KvPal Format \u00e9");
  EXPECT_GE(a, 0xC000);
  EXPECT_GE(b, 0xC000);
  EXPECT_NE(a, b);
  EXPECT_EQ(Clipboard::registerClipboardFormat(L"KvPal Format A"), a);
  EXPECT_EQ(Clipboard::registerClipboardFormat(L"kvpal format a"), a) << "names compare without case";
  EXPECT_EQ(Clipboard::registerClipboardFormat(L"KVPAL FORMAT \u00c9"), b);
  EXPECT_EQ(Clipboard::registerClipboardFormat(L""), 0);
  EXPECT_EQ(Clipboard::registerClipboardFormat(nullptr), 0);

  // A process on its own connection gets the same numbers, and its new
  // name's number is the one this process gets afterwards.
  auto r = kvpal::test::runInChild([&] {
    setenv("DISPLAY", server_.name().c_str(), 1);
    WS::setDisplay(nullptr);
    if (Clipboard::registerClipboardFormat(L"KvPal Format A") != a) return 1;
    return Clipboard::registerClipboardFormat(L"KvPal Format C") == b + 1 ? 0 : 2;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(Clipboard::registerClipboardFormat(L"KvPal Format C"), b + 1);
}

}  // namespace
