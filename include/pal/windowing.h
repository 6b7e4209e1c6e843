// Native windows, device contexts and views: the value types through which
// drawing and user-interface modules hold them, the screen's capabilities,
// system colours, clipboard formats, the platform's identity and hidden
// auxiliary windows.
//
// Differences from Windows:
// - The windowing system is X11 through Xlib (under Wayland desktops,
//   XWayland). A native window handle is the X11 window id as an untyped
//   pointer; a device context is an Xlib GC. The library works on the
//   host's display connection when the host hands it over with setDisplay,
//   else on a connection of its own to $DISPLAY, opened on first use.
//   Without a display (no DISPLAY, no server, or the library's own
//   connection lost because the server ended) every call gives its failure
//   answer; a lost connection is not reopened. To survive the loss of its
//   own connection the library installs an X I/O error handler on first use
//   that passes every other connection to the handler in place before it.
// - X protocol errors of the library's requests (a window that no longer
//   exists) are kept from Xlib's error handler on that connection only; the
//   host's handler stays in place for its own requests.
// - Events are seen on the library's connection only: mouseMoveEventPending
//   finds the events of windows made on the connection handed over with
//   setDisplay. It looks at the queued events of exactly the view's window
//   (not its children) and never removes or reorders any.
// - The private view message 0x7FF0 is a ClientMessage of the atom
//   "_KVPAL_VIEW_MESSAGE"; the host posts it with postViewMessage, which
//   records the pointer's screen position at that moment as Windows records
//   a posted message's cursor position.
// - enableWindow keeps the state on the window itself (the property
//   "_KVPAL_INPUT_DISABLED", so every process of the display sees it) and
//   gives a disabled window an empty input shape: pointer input passes
//   through it to what lies below, and its former input shape comes back
//   when it is enabled. Keyboard input still reaches a disabled window that
//   holds the input focus. A window disabled by Windows rules would also
//   disable its children's input; here each window has its own state.
// - getLastActivePopup answers the topmost mapped window that names the
//   window in WM_TRANSIENT_FOR (or whose window-manager frame holds such a
//   window), X having no record of activation order.
// - setWindowSize asks for a size of at least 1 x 1 (X has no empty windows)
//   and repaints by clearing the window with exposures; a window manager may
//   place a top-level window elsewhere than (0, 0).
// - createDefault makes an unmapped, override-redirect window of the root
//   with WM_CLASS "PAL::DeviceContext_dummywnd", the counterpart of a
//   message-only window. getNearestColor quantises to the window visual's
//   colour masks (TrueColor, DirectColor) or picks the nearest entry of the
//   window's colour map.
// - DeviceCaps: the logical pixels per inch come from the Xft.dpi resource
//   of the root window, else from the screen's physical size (rounded); the
//   resolution is that of the primary RandR monitor, else of the screen.
// - getSysColor reads the X resources kvpal.background, kvpal.foreground,
//   kvpal.selectBackground, kvpal.selectForeground, kvpal.tooltip.background
//   and kvpal.tooltip.foreground (classes KvPal.Background and so on, so
//   "*background" applies); a colour the resources do not name has its
//   light-theme default: white, black, 0x00D77800 (blue), white, 0x00E1FFFF
//   (pale yellow) and black.
// - registerClipboardFormat: the number is 0xC000 plus the position of the
//   atom of the name, folded to upper case, in the atom list held by the
//   root window's property "_KVPAL_CLIPBOARD_FORMATS". A new name is
//   appended there, so the numbers hold for every process of the display
//   while its server runs; names compare without regard to case, as
//   Windows' atom table does. 0 for a null or empty name, without a display,
//   or when all 16384 numbers are taken.
// - Platform: OperatingSystem has the value Linux (8, text "Linux"), which
//   getTargetOS answers, so that callers do not take Windows paths;
//   getOsVersion is the running kernel's major and minor release. Both
//   enumerations are scoped, since their "Unknown" values would clash.
// - CreateDummyView makes an unmapped child of the root window named
//   "PyraDM" with WM_CLASS "Static"; the instance and identifier have no
//   counterpart. ManageMFCAppState does nothing, as there is no MFC.
// - getDynamicInputOffset is half the cursor theme's size (Xcursor.size,
//   XCURSOR_SIZE, else derived from the DPI); 12 x 12 without a display.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pal/export.h"

namespace Halvex::Tessaran::PAL {

template <typename T>
struct KvPoint {
  T x;
  T y;
};

namespace WindowingSystem {

// Hands the host's Xlib connection (a `Display*`) to the library, which
// then makes all its requests on it; null returns to the library's own
// connection. Call it before windows of that connection reach the library,
// and keep the connection open while the library may use it. When the
// host uses the connection from several threads, Xlib's thread support
// must have been on before the connection was opened (XInitThreads; libX11
// 1.8 and later turn it on by themselves).
PAL_EXPORT void setDisplay(void* display);

// Posts the views' private message (0x7FF0) to `window` with the pointer's
// current screen position; false without a display or when the window
// does not exist.
PAL_EXPORT bool postViewMessage(void* window);

// Owns a heap cell holding a native window handle; never touches the
// window itself.
class PAL_EXPORT WindowHandle {
 public:
  WindowHandle(void* nativeHandle);
  WindowHandle(const WindowHandle& other);
  WindowHandle& operator=(const WindowHandle& other);
  ~WindowHandle();

  void* rawNativePtr() const;
  bool IsValid() const;
  bool setWindowSize(int width, int height);

 private:
  void** m_handle;
};

PAL_EXPORT WindowHandle getLastActivePopup(WindowHandle window);
// True when the window was disabled before the call.
PAL_EXPORT bool enableWindow(WindowHandle window, bool enable);

class PAL_EXPORT DeviceContextImp {
 public:
  DeviceContextImp(bool ownsDeviceContext, void* window, void* deviceContext);
  ~DeviceContextImp();
  DeviceContextImp(const DeviceContextImp&) = delete;
  DeviceContextImp& operator=(const DeviceContextImp&) = delete;

  bool ownsDeviceContext;
  void* window;
  void* deviceContext;  // a GC
  void* display;        // the connection an owned GC belongs to
};

class PAL_EXPORT DeviceContext {
 public:
  DeviceContext();
  // A GC of its own on the window; `flag` has no effect.
  DeviceContext(void* window, bool flag);
  // Wraps the caller's GC without owning it.
  DeviceContext(void* window, void* deviceContext);
  DeviceContext(std::shared_ptr<DeviceContextImp> imp);
  DeviceContext(const DeviceContext& other);
  DeviceContext& operator=(const DeviceContext& other);
  ~DeviceContext();

  static DeviceContext createDefault(float width, float height);

  WindowHandle GetAssociatedWindowHandle();
  bool isValid() const;
  // 0x00BBGGRR in and out; 0 when empty or without a GC.
  unsigned int getNearestColor(unsigned int color);
  // No effect: the GC goes with the last reference.
  void release();

 private:
  std::shared_ptr<DeviceContextImp> m_imp;
};

}  // namespace WindowingSystem

class PAL_EXPORT View {
 public:
  View(const WindowingSystem::WindowHandle& window);
  View(const View& other);
  View& operator=(const View& other);
  ~View();

  bool hasFocus() const;
  bool isEnabled() const;
  KvPoint<int> clientToScreen(const KvPoint<int>& p);
  KvPoint<int> screenToClient(const KvPoint<int>& p);
  WindowingSystem::WindowHandle windowHandle() const;
  bool mouseMoveEventPending(bool privateMessage, const KvPoint<int>& lastPoint,
                             KvPoint<int>& position) const;

 private:
  void** m_window;
};

namespace DeviceCaps {

// Before the first call: 96, 96, 1920 and 1080. Without a display the
// values stay as they are and the result is false.
PAL_EXPORT bool initDeviceCaps();
PAL_EXPORT int getLogicalPixelsX();
PAL_EXPORT int getLogicalPixelsY();
PAL_EXPORT int getHorizontalRes();
PAL_EXPORT int getVerticalRes();
PAL_EXPORT float getDpiScalingValue();

}  // namespace DeviceCaps

namespace Color {

enum ColorType {
  WindowBackground = 1,
  WindowText = 2,
  Highlight = 3,
  HighlightText = 4,
  TooltipBackground = 5,
  TooltipText = 6,
};

// 0x00BBGGRR; 0 for any other type.
PAL_EXPORT unsigned int getSysColor(ColorType type);

}  // namespace Color

namespace Clipboard {

PAL_EXPORT unsigned short registerClipboardFormat(const wchar_t* name);

}  // namespace Clipboard

namespace Platform {

enum class OperatingSystem : std::int8_t {
  Unknown = 0,
  Win32 = 1,
  Win64 = 2,
  macOS = 3,
  iOS = 4,
  Web = 5,
  UWP = 6,
  Android = 7,
  Linux = 8,
};

enum class InstructionSet : std::int8_t {
  Unknown = 0,
  Intel32 = 1,
  Intel64 = 2,
  Arm32 = 3,
  Arm64 = 4,
  Asmjs = 5,
  IntelIA64 = 6,
};

PAL_EXPORT void getOsVersion(int& major, int& minor);
PAL_EXPORT OperatingSystem getTargetOS();
PAL_EXPORT InstructionSet getTargetInstructionSet();
// Static texts; "Unknown" for values outside the enumeration.
PAL_EXPORT const char* getOperatingSystemAsString(OperatingSystem os);
PAL_EXPORT const char* getInstructionSetAsString(InstructionSet set);

}  // namespace Platform

namespace OnCanvasUI {

// `p` in screen coordinates, or `p` itself in the alternate host
// environment (Process::isTrellis) or when the conversion fails.
PAL_EXPORT KvPoint<int> getDynamicInputPosition(const WindowingSystem::WindowHandle& window,
                                                const KvPoint<int>& p);
PAL_EXPORT KvPoint<int> getDynamicInputOffset();

}  // namespace OnCanvasUI

// Null on failure.
PAL_EXPORT void* CreateDummyView(int width, int height, void* instance, void* identifier);
PAL_EXPORT void DestroyDummyView(void* window);
PAL_EXPORT float GetBackingScaleFactor(void* window);
PAL_EXPORT std::string GetOnlineGraphicEngineName();

// A scope guard that switches nothing.
class PAL_EXPORT ManageMFCAppState {
 public:
  ManageMFCAppState();
  ~ManageMFCAppState();
  ManageMFCAppState(const ManageMFCAppState&) = delete;
  ManageMFCAppState& operator=(const ManageMFCAppState&) = delete;
};

}  // namespace Halvex::Tessaran::PAL
