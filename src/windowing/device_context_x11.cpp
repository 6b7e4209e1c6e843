// Device contexts as Xlib GCs, and the hidden window of the default one.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "pal/windowing.h"
#include "windowing/display_x11.h"

namespace Halvex::Tessaran::PAL::WindowingSystem {

namespace {

Window toWindow(void* handle) {
  return static_cast<Window>(reinterpret_cast<std::uintptr_t>(handle));
}

// A channel of 8 bits to the nearest level a mask of the visual can show,
// and back to 8 bits.
unsigned nearestLevel(unsigned value, unsigned long mask) {
  if (!mask) return 0;
  while (!(mask & 1)) mask >>= 1;
  double top = static_cast<double>(mask);
  double level = std::round(value * top / 255.0);
  return static_cast<unsigned>(std::lround(level * 255.0 / top));
}

unsigned bgr(unsigned red, unsigned green, unsigned blue) {
  return red | (green << 8) | (blue << 16);
}

// The nearest entry of a colour map, by squared distance in 16-bit RGB.
unsigned nearestInColormap(Display* d, Colormap map, int entries, unsigned color) {
  std::vector<XColor> cells(static_cast<std::size_t>(entries));
  for (int i = 0; i < entries; ++i) cells[static_cast<std::size_t>(i)].pixel = static_cast<unsigned long>(i);
  XQueryColors(d, map, cells.data(), entries);
  long r = (color & 0xFF) * 257, g = ((color >> 8) & 0xFF) * 257, b = ((color >> 16) & 0xFF) * 257;
  const XColor* best = nullptr;
  double bestDistance = std::numeric_limits<double>::max();
  for (const XColor& c : cells) {
    double dr = c.red - r, dg = c.green - g, db = c.blue - b;
    double distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = &c;
    }
  }
  return best ? bgr(best->red >> 8, best->green >> 8, best->blue >> 8) : 0;
}

}  // namespace

DeviceContextImp::DeviceContextImp(bool ownsDeviceContext, void* window, void* deviceContext)
    : ownsDeviceContext(ownsDeviceContext),
      window(window),
      deviceContext(deviceContext),
      display(ownsDeviceContext ? X11::display() : nullptr) {}

DeviceContextImp::~DeviceContextImp() {
  // The GC belongs to the connection it was made on, even if the host has
  // handed over another one since.
  if (ownsDeviceContext && deviceContext && display)
    XFreeGC(static_cast<Display*>(display), static_cast<GC>(deviceContext));
}

DeviceContext::DeviceContext(void* window, bool) {
  if (!window) return;
  GC gc = nullptr;
  if (Display* d = X11::display()) {
    X11::ErrorTrap trap(d);
    gc = XCreateGC(d, toWindow(window), 0, nullptr);
    // A GC made for a window that does not exist is no GC.
    if (trap.failed() && gc) {
      XFreeGC(d, gc);
      gc = nullptr;
    }
  }
  m_imp = std::make_shared<DeviceContextImp>(true, window, gc);
}

DeviceContext::DeviceContext(void* window, void* deviceContext) {
  if (window) m_imp = std::make_shared<DeviceContextImp>(false, window, deviceContext);
}

DeviceContext DeviceContext::createDefault(float width, float height) {
  Display* d = X11::display();
  if (!d) return DeviceContext(nullptr, true);
  Window w = None;
  {
    X11::ErrorTrap trap(d);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    w = XCreateWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(std::max(1.0f, std::trunc(width))),
                      static_cast<unsigned>(std::max(1.0f, std::trunc(height))), 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    char className[] = "PAL::DeviceContext_dummywnd";
    XClassHint hint{className, className};
    XSetClassHint(d, w, &hint);
    if (trap.failed()) w = None;
  }
  return DeviceContext(reinterpret_cast<void*>(static_cast<std::uintptr_t>(w)), true);
}

unsigned int DeviceContext::getNearestColor(unsigned int color) {
  Display* d = X11::display();
  if (!m_imp || !m_imp->deviceContext || !d) return 0;
  X11::ErrorTrap trap(d);
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, toWindow(m_imp->window), &a) || trap.failed() || !a.visual) return 0;
  const Visual* v = a.visual;
  if (v->c_class == TrueColor || v->c_class == DirectColor)
    return bgr(nearestLevel(color & 0xFF, v->red_mask), nearestLevel((color >> 8) & 0xFF, v->green_mask),
               nearestLevel((color >> 16) & 0xFF, v->blue_mask));
  unsigned nearest = nearestInColormap(d, a.colormap, v->map_entries, color);
  return trap.failed() ? 0 : nearest;
}

}  // namespace Halvex::Tessaran::PAL::WindowingSystem
