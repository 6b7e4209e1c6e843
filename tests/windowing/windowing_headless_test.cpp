// Without any display every windowing call gives its failure answer and
// the device capabilities keep their defaults; the platform's identity
// needs no display at all.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "pal/windowing.h"
#include "support/child_process.h"

namespace {

using namespace Halvex::Tessaran::PAL;
namespace WS = Halvex::Tessaran::PAL::WindowingSystem;
using Point = KvPoint<int>;

// Any id: without a display none can be checked.
void* const kSomeWindow = reinterpret_cast<void*>(std::uintptr_t{0x400001});

bool samePoint(const Point& a, const Point& b) {
  return a.x == b.x && a.y == b.y;
}

// Each check is a line of the child's output when it fails.
int checkEveryFailureAnswer() {
  int failures = 0;
  auto check = [&](bool ok, const char* what) {
    if (!ok) {
      std::printf("failed: %s\n", what);
      ++failures;
    }
  };
  WS::WindowHandle handle(kSomeWindow);
  check(!WS::WindowHandle(nullptr).IsValid(), "null handle valid");
  check(!handle.IsValid(), "IsValid");
  check(!handle.setWindowSize(10, 10), "setWindowSize");
  check(WS::getLastActivePopup(handle).rawNativePtr() == kSomeWindow, "getLastActivePopup");
  check(!WS::enableWindow(handle, false) && !WS::enableWindow(handle, true), "enableWindow");
  check(!WS::postViewMessage(kSomeWindow), "postViewMessage");

  View view(handle);
  const Point p{7, -3};
  Point out{1, 2};
  check(!view.hasFocus() && !view.isEnabled(), "hasFocus, isEnabled");
  check(samePoint(view.clientToScreen(p), p) && samePoint(view.screenToClient(p), p), "conversions");
  check(!view.mouseMoveEventPending(false, {0, 0}, out) && !view.mouseMoveEventPending(true, {0, 0}, out) &&
            samePoint(out, {1, 2}),
        "mouseMoveEventPending");

  WS::DeviceContext dc(kSomeWindow, true);
  check(dc.isValid() && dc.getNearestColor(0x00FFFFFF) == 0, "DeviceContext without a GC");
  check(!WS::DeviceContext::createDefault(10, 10).isValid(), "createDefault");

  check(!DeviceCaps::initDeviceCaps(), "initDeviceCaps");
  check(DeviceCaps::getLogicalPixelsX() == 96 && DeviceCaps::getLogicalPixelsY() == 96 &&
            DeviceCaps::getHorizontalRes() == 1920 && DeviceCaps::getVerticalRes() == 1080 &&
            DeviceCaps::getDpiScalingValue() == 1.0f,
        "DeviceCaps defaults");

  check(Color::getSysColor(Color::WindowBackground) == 0x00FFFFFF &&
            Color::getSysColor(Color::WindowText) == 0 &&
            Color::getSysColor(Color::Highlight) == 0x00D77800 &&
            Color::getSysColor(Color::HighlightText) == 0x00FFFFFF &&
            Color::getSysColor(Color::TooltipBackground) == 0x00E1FFFF &&
            Color::getSysColor(Color::TooltipText) == 0,
        "getSysColor defaults");
  check(Clipboard::registerClipboardFormat(L"KvPal Test Format") == 0, "registerClipboardFormat");

  check(CreateDummyView(10, 10, nullptr, nullptr) == nullptr, "CreateDummyView");
  DestroyDummyView(kSomeWindow);
  Point offset = OnCanvasUI::getDynamicInputOffset();
  check(samePoint(offset, {12, 12}), "getDynamicInputOffset");
  check(samePoint(OnCanvasUI::getDynamicInputPosition(handle, p), p), "getDynamicInputPosition");
  return failures;
}

TEST(WindowingWithoutDisplay, EveryCallGivesItsFailureAnswer) {
  auto r = kvpal::test::runInChild(checkEveryFailureAnswer);
  EXPECT_EQ(r.exitCode, 0) << r.output;
}

TEST(WindowHandle, CopiesHaveTheirOwnCell) {
  auto* original = new WS::WindowHandle(kSomeWindow);
  WS::WindowHandle copy(*original);
  delete original;
  EXPECT_EQ(copy.rawNativePtr(), kSomeWindow);

  WS::WindowHandle other(nullptr);
  other = copy;
  copy = WS::WindowHandle(nullptr);
  EXPECT_EQ(other.rawNativePtr(), kSomeWindow);
  EXPECT_EQ(View(other).windowHandle().rawNativePtr(), kSomeWindow);
}

TEST(DeviceContext, EmptyAndWrappedContexts) {
  WS::DeviceContext empty;
  EXPECT_FALSE(empty.isValid());
  EXPECT_EQ(empty.GetAssociatedWindowHandle().rawNativePtr(), nullptr);
  EXPECT_FALSE(WS::DeviceContext(nullptr, true).isValid());
  EXPECT_EQ(WS::DeviceContext(nullptr, true).getNearestColor(0x00123456), 0u);
  EXPECT_FALSE(WS::DeviceContext(nullptr, kSomeWindow).isValid());

  WS::DeviceContext wrapped(kSomeWindow, static_cast<void*>(nullptr));
  WS::DeviceContext copy = wrapped;
  EXPECT_TRUE(copy.isValid());
  EXPECT_EQ(copy.GetAssociatedWindowHandle().rawNativePtr(), kSomeWindow);
  EXPECT_EQ(copy.getNearestColor(0x00123456), 0u) << "no GC to ask";
}

TEST(Platform, NamesAndTarget) {
  using OS = Platform::OperatingSystem;
  using IS = Platform::InstructionSet;
  const struct {
    int value;
    const char* os;
    const char* set;
  } cases[] = {
      {-1, "Unknown", "Unknown"}, {0, "Unknown", "Unknown"}, {1, "Win32", "Intel32"},
      {2, "Win64", "Intel64"},    {3, "macOS", "Arm32"},     {4, "iOS", "Arm64"},
      {5, "Web", "Asmjs"},        {6, "UWP", "IntelIA64"},   {7, "Android", "Unknown"},
      {8, "Linux", "Unknown"},    {9, "Unknown", "Unknown"}, {127, "Unknown", "Unknown"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(Platform::getOperatingSystemAsString(static_cast<OS>(c.value)), c.os) << c.value;
    EXPECT_STREQ(Platform::getInstructionSetAsString(static_cast<IS>(c.value)), c.set) << c.value;
  }
  EXPECT_EQ(Platform::getTargetOS(), OS::Linux);
  EXPECT_EQ(Platform::getTargetInstructionSet(), IS::Intel64);
}

TEST(Platform, OsVersionIsTheKernelRelease) {
  int major = -1, minor = -1;
  Platform::getOsVersion(major, minor);
  auto r = kvpal::test::runShell("uname -r");
  EXPECT_EQ(r.output.rfind(std::to_string(major) + "." + std::to_string(minor) + ".", 0), 0u) << r.output;
}

}  // namespace
