// What the screen and the desktop report: DPI and resolution, the theme's
// colours from the X resources, clipboard format numbers shared through
// the root window, and the cursor size.
#include <X11/Xatom.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/extensions/Xrandr.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/case_fold.h"
#include "base/utf8.h"
#include "pal/windowing.h"
#include "windowing/display_x11.h"
#include "windowing/screen.h"

namespace Halvex::Tessaran::PAL {

namespace {

// The desktop's resource database as it stands now (the copy Xlib took
// when the connection opened may be stale); null when there is none.
XrmDatabase currentResources(Display* d) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  X11::ErrorTrap trap(d);
  if (XGetWindowProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, 0, 1L << 22, False, XA_STRING, &type,
                         &format, &count, &after, &data) != Success)
    return nullptr;
  XrmDatabase db = nullptr;
  if (type == XA_STRING && format == 8 && data) {
    XrmInitialize();
    std::string text(reinterpret_cast<char*>(data), count);
    db = XrmGetStringDatabase(text.c_str());
  }
  if (data) XFree(data);
  return db;
}

const char* resource(XrmDatabase db, const char* name, const char* className) {
  char* type = nullptr;
  XrmValue value{};
  if (!db || !XrmGetResource(db, name, className, &type, &value) || !value.addr) return nullptr;
  return value.addr;
}

std::vector<long> atomList(Display* d, Window root, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(d, root, property, 0, 1L << 16, False, XA_ATOM, &type, &format, &count, &after,
                         &data) == Success &&
      type == XA_ATOM && format == 32) {
    auto* values = reinterpret_cast<long*>(data);
    out.assign(values, values + count);
  }
  if (data) XFree(data);
  return out;
}

long firstIndex(const std::vector<long>& list, Atom atom) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (static_cast<Atom>(list[i]) == atom) return static_cast<long>(i);
  return -1;
}

struct SysColour {
  const char* name;
  const char* className;
  unsigned int lightDefault;  // 0x00BBGGRR
};

// Indexed by Color::ColorType.
constexpr SysColour kSysColours[] = {
    {nullptr, nullptr, 0},
    {"kvpal.background", "KvPal.Background", 0x00FFFFFF},
    {"kvpal.foreground", "KvPal.Foreground", 0x00000000},
    {"kvpal.selectBackground", "KvPal.SelectBackground", 0x00D77800},
    {"kvpal.selectForeground", "KvPal.SelectForeground", 0x00FFFFFF},
    {"kvpal.tooltip.background", "KvPal.Tooltip.Background", 0x00E1FFFF},
    {"kvpal.tooltip.foreground", "KvPal.Tooltip.Foreground", 0x00000000},
};

// X cursor themes' usual size, for when no display can say.
constexpr int kDefaultCursorSize = 24;
constexpr unsigned short kFirstRegisteredFormat = 0xC000;
constexpr long kRegisteredFormats = 0x4000;

}  // namespace

std::optional<X11::ScreenCaps> X11::readScreenCaps() {
  Display* d = display();
  if (!d) return std::nullopt;
  ScreenCaps caps;
  int screen = DefaultScreen(d);
  caps.horizontalRes = static_cast<float>(DisplayWidth(d, screen));
  caps.verticalRes = static_cast<float>(DisplayHeight(d, screen));
  XrmDatabase db = currentResources(d);
  const char* xftDpi = resource(db, "Xft.dpi", "Xft.Dpi");
  double dpi = xftDpi ? std::strtod(xftDpi, nullptr) : 0;
  if (db) XrmDestroyDatabase(db);
  if (dpi > 0) {
    caps.logicalPixelsX = caps.logicalPixelsY = static_cast<float>(dpi);
  } else {
    // Windows' logical DPI is a whole number.
    if (int mm = DisplayWidthMM(d, screen); mm > 0)
      caps.logicalPixelsX = static_cast<float>(std::lround(DisplayWidth(d, screen) * 25.4 / mm));
    if (int mm = DisplayHeightMM(d, screen); mm > 0)
      caps.logicalPixelsY = static_cast<float>(std::lround(DisplayHeight(d, screen) * 25.4 / mm));
  }
  int event = 0, error = 0, count = 0;
  if (XRRQueryExtension(d, &event, &error)) {
    X11::ErrorTrap trap(d);
    if (XRRMonitorInfo* monitors = XRRGetMonitors(d, DefaultRootWindow(d), True, &count)) {
      for (int i = 0; i < count; ++i) {
        if (!monitors[i].primary) continue;
        caps.horizontalRes = static_cast<float>(monitors[i].width);
        caps.verticalRes = static_cast<float>(monitors[i].height);
      }
      XRRFreeMonitors(monitors);
    }
  }
  return caps;
}

unsigned int Color::getSysColor(ColorType type) {
  if (type < WindowBackground || type > TooltipText) return 0;
  const SysColour& wanted = kSysColours[type];
  Display* d = X11::display();
  if (!d) return wanted.lightDefault;
  unsigned int colour = wanted.lightDefault;
  XrmDatabase db = currentResources(d);
  XColor parsed{};
  if (const char* text = resource(db, wanted.name, wanted.className);
      text && XParseColor(d, DefaultColormap(d, DefaultScreen(d)), text, &parsed))
    colour = (parsed.red >> 8) | (parsed.green >> 8) << 8 | (parsed.blue >> 8) << 16;
  if (db) XrmDestroyDatabase(db);
  return colour;
}

unsigned short Clipboard::registerClipboardFormat(const wchar_t* name) {
  Display* d = X11::display();
  if (!name || !*name || !d) return 0;
  std::wstring folded(name);
  for (wchar_t& c : folded) c = detail::foldCase(c);
  Atom atom = XInternAtom(d, detail::wideToUtf8(folded).c_str(), False);
  Atom property = X11::internAtom("_KVPAL_CLIPBOARD_FORMATS");
  Window root = DefaultRootWindow(d);
  X11::ErrorTrap trap(d);
  auto registered = atomList(d, root, property);
  long index = firstIndex(registered, atom);
  if (index < 0 && static_cast<long>(registered.size()) < kRegisteredFormats) {
    // Appending is atomic in the server: when two processes add the same
    // name at once, both find its first entry afterwards.
    long value = static_cast<long>(atom);
    XChangeProperty(d, root, property, XA_ATOM, 32, PropModeAppend, reinterpret_cast<unsigned char*>(&value),
                    1);
    index = firstIndex(atomList(d, root, property), atom);
  }
  if (trap.failed() || index < 0 || index >= kRegisteredFormats) return 0;
  return static_cast<unsigned short>(kFirstRegisteredFormat + index);
}

KvPoint<int> OnCanvasUI::getDynamicInputOffset() {
  Display* d = X11::display();
  int size = d ? XcursorGetDefaultSize(d) : kDefaultCursorSize;
  return {size / 2, size / 2};
}

}  // namespace Halvex::Tessaran::PAL
