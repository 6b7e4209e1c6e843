// The dialog backend module: the assertion box as a modal Xlib window drawn
// with Xft, and the display's root window.
#include <X11/Xatom.h>
#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "diagnostics/assert_choice.h"
#include "diagnostics/dialog_backend.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

namespace {

// Sizes at 96 dots per inch, scaled to the display's.
constexpr double kBaseDpi = 96.0;
constexpr double kFontPoints = 10.0;
constexpr int kMargin = 16;
constexpr int kIconSize = 32;
constexpr int kButtonMinWidth = 88;
constexpr int kButtonHeight = 28;
constexpr int kButtonGap = 10;
constexpr int kButtonPadding = 12;

constexpr unsigned long kBackground = 0xF2F2F2;
constexpr unsigned long kButtonFace = 0xE4E4E4;
constexpr unsigned long kButtonBorder = 0x9A9A9A;
constexpr unsigned long kFocusBorder = 0x2A6FD6;
constexpr unsigned long kIconRed = 0xD0312D;

// Xlib's default error handler ends the process; while the box is up,
// errors from a window manager's races are of no interest.
int ignoreXError(Display*, XErrorEvent*) {
  return 0;
}

// Xft.dpi as the desktop publishes it, else the screen's physical size.
double displayDpi(Display* d) {
  if (const char* set = XGetDefault(d, "Xft", "dpi")) {
    const double dpi = std::atof(set);
    if (dpi >= 48 && dpi <= 960) return dpi;
  }
  const int screen = DefaultScreen(d);
  const int mm = DisplayHeightMM(d, screen);
  if (mm <= 0) return kBaseDpi;
  const double dpi = DisplayHeight(d, screen) * 25.4 / mm;
  return dpi >= 48 && dpi <= 960 ? dpi : kBaseDpi;
}

XftFont* openSansFont(Display* d, double dpi) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPatternAddDouble(pattern, FC_SIZE, kFontPoints);
  FcPatternAddDouble(pattern, FC_DPI, dpi);
  FcResult result;
  FcPattern* match = XftFontMatch(d, DefaultScreen(d), pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return nullptr;
  XftFont* font = XftFontOpenPattern(d, match);  // owns `match` when it opens
  if (!font) FcPatternDestroy(match);
  return font;
}

XftColor solid(Display* d, unsigned long rgb) {
  XRenderColor c{static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 0x101),
                 static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 0x101),
                 static_cast<unsigned short>((rgb & 0xFF) * 0x101), 0xFFFF};
  XftColor out{};
  const int s = DefaultScreen(d);
  XftColorAllocValue(d, DefaultVisual(d, s), DefaultColormap(d, s), &c, &out);
  return out;
}

unsigned long pixelOf(Display* d, unsigned long rgb) {
  XColor c{};
  c.red = static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 0x101);
  c.green = static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 0x101);
  c.blue = static_cast<unsigned short>((rgb & 0xFF) * 0x101);
  const int s = DefaultScreen(d);
  return XAllocColor(d, DefaultColormap(d, s), &c) ? c.pixel : BlackPixel(d, s);
}

void setAtomProperty(Display* d, Window w, const char* property, std::initializer_list<const char*> values) {
  std::vector<Atom> atoms;
  for (const char* v : values) atoms.push_back(XInternAtom(d, v, False));
  XChangeProperty(d, w, XInternAtom(d, property, False), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
}

void setTitle(Display* d, Window w, const std::string& title) {
  XStoreName(d, w, title.c_str());
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
}

// The first 32-bit item of a window's property; 0 when it has none.
unsigned long cardinalProperty(Display* d, Window w, const char* property, Atom type) {
  Atom actual = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  unsigned long value = 0;
  if (XGetWindowProperty(d, w, XInternAtom(d, property, False), 0, 1, False, type, &actual, &format, &items,
                         &after, &data) == Success &&
      data && format == 32 && items == 1)
    value = *reinterpret_cast<unsigned long*>(data);
  if (data) XFree(data);
  return value;
}

// The active window when this process owns it: another program's window
// must not become the owner of our box.
Window hostActiveWindow(Display* d) {
  const Window active = cardinalProperty(d, DefaultRootWindow(d), "_NET_ACTIVE_WINDOW", XA_WINDOW);
  if (!active) return 0;
  const unsigned long pid = cardinalProperty(d, active, "_NET_WM_PID", XA_CARDINAL);
  return pid == static_cast<unsigned long>(getpid()) ? active : 0;
}

struct Button {
  Window window = 0;
  std::wstring label;
  AssertChoice choice;
  KeySym key;
};

class Dialog {
 public:
  Dialog(Display* d, XftFont* font, double scale, const std::wstring& caption, const std::wstring& message)
      : d_(d), font_(font), scale_(scale) {
    const int screen = DefaultScreen(d);
    const int screenWidth = DisplayWidth(d, screen), screenHeight = DisplayHeight(d, screen);
    lineHeight_ = font->ascent + font->descent;
    const int margin = px(kMargin), icon = px(kIconSize), gap = px(kButtonGap);

    const Button labels[] = {{0, L"Abort", AssertChoice::Abort, XK_a},
                             {0, L"Retry", AssertChoice::Retry, XK_r},
                             {0, L"Ignore", AssertChoice::Ignore, XK_i}};
    buttonWidth_ = px(kButtonMinWidth);
    for (const Button& b : labels)
      buttonWidth_ = std::max(buttonWidth_, textWidth(b.label) + 2 * px(kButtonPadding));
    buttonHeight_ = std::max(px(kButtonHeight), lineHeight_ + px(8));
    const int buttonsWidth = 3 * buttonWidth_ + 2 * gap;

    // Long lines widen the box up to three quarters of the screen; past
    // that they wrap.
    const int textLeft = margin + icon + margin;
    const int widest = std::max(px(kButtonMinWidth), screenWidth * 3 / 4 - textLeft - margin);
    // Past the screen's height the text is cut, its last line ending in "…".
    const int chrome = margin + margin + buttonHeight_ + margin;
    const auto fitting =
        static_cast<std::size_t>(std::max(1, (screenHeight - chrome - 2 * margin) / lineHeight_));
    lines_ = wrap(message, widest, fitting + 1);
    if (lines_.size() > fitting) {
      lines_.resize(fitting);
      lines_.back() = fitWithMark(lines_.back(), widest);
    }
    int textWidthUsed = 0;
    for (const std::wstring& l : lines_) textWidthUsed = std::max(textWidthUsed, textWidth(l));
    int width = std::max(textLeft + textWidthUsed + margin, buttonsWidth + 2 * margin);
    width = std::min(width, screenWidth);
    const int textHeight = std::max(static_cast<int>(lines_.size()) * lineHeight_, icon);
    const int height = chrome + textHeight;
    textLeft_ = textLeft;
    textTop_ = margin;

    const int x = std::max(0, (screenWidth - width) / 2);
    const int y = std::max(0, (screenHeight - height) / 2);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = pixelOf(d, kBackground);
    attributes.event_mask = ExposureMask | KeyPressMask | StructureNotifyMask;
    window_ = XCreateWindow(d, RootWindow(d, screen), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWBackPixel | CWEventMask, &attributes);
    setTitle(d, window_, wideToUtf8(caption));
    XClassHint classHint{const_cast<char*>("kvpal-assert"), const_cast<char*>("KvPal")};
    XSetClassHint(d, window_, &classHint);
    setAtomProperty(d, window_, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DIALOG"});
    setAtomProperty(d, window_, "_NET_WM_STATE", {"_NET_WM_STATE_MODAL", "_NET_WM_STATE_ABOVE"});
    if (const Window owner = hostActiveWindow(d)) XSetTransientForHint(d, window_, owner);
    // Registered and then ignored: like the Windows box, this one closes
    // only through a choice.
    Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, window_, &deleteWindow, 1);
    XWMHints* wmHints = XAllocWMHints();
    wmHints->flags = InputHint;
    wmHints->input = True;
    XSetWMHints(d, window_, wmHints);
    XFree(wmHints);
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = PPosition | PMinSize | PMaxSize;
    hints->x = x;
    hints->y = y;
    hints->min_width = hints->max_width = width;
    hints->min_height = hints->max_height = height;
    XSetWMNormalHints(d, window_, hints);
    XFree(hints);

    int bx = width - margin - buttonsWidth;
    const int by = height - margin - buttonHeight_;
    XSetWindowAttributes buttonAttributes{};
    buttonAttributes.background_pixel = pixelOf(d, kButtonFace);
    buttonAttributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask;
    for (const Button& b : labels) {
      Button made = b;
      made.window = XCreateWindow(d, window_, bx, by, static_cast<unsigned>(buttonWidth_),
                                  static_cast<unsigned>(buttonHeight_), 0, CopyFromParent, InputOutput,
                                  CopyFromParent, CWBackPixel | CWEventMask, &buttonAttributes);
      XStoreName(d, made.window, wideToUtf8(b.label).c_str());
      buttons_.push_back(made);
      bx += buttonWidth_ + gap;
    }
    gc_ = XCreateGC(d, window_, 0, nullptr);
    const Visual* visual = DefaultVisual(d, screen);
    draw_ = XftDrawCreate(d, window_, const_cast<Visual*>(visual), DefaultColormap(d, screen));
    text_ = solid(d, 0x1A1A1A);
    icon_ = makeIcon(icon);
    XMapSubwindows(d, window_);
    XMapRaised(d, window_);
  }

  ~Dialog() {
    const int s = DefaultScreen(d_);
    XftColorFree(d_, DefaultVisual(d_, s), DefaultColormap(d_, s), &text_);
    XftDrawDestroy(draw_);
    if (icon_) XDestroyImage(icon_);
    XFreeGC(d_, gc_);
    XDestroyWindow(d_, window_);
    XFlush(d_);
  }

  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  AssertChoice run() {
    Window pressed = 0;
    for (;;) {
      XEvent e;
      XNextEvent(d_, &e);
      switch (e.type) {
        case MapNotify:
          // Without a window manager nobody else gives the box the keyboard.
          if (e.xmap.window == window_) XSetInputFocus(d_, window_, RevertToParent, CurrentTime);
          break;
        case Expose:
          if (e.xexpose.count == 0) draw(e.xexpose.window);
          break;
        case ButtonPress:
          if (e.xbutton.button == Button1) pressed = e.xbutton.window;
          break;
        case ButtonRelease: {
          if (e.xbutton.button != Button1) break;
          const Button* b = buttonOf(e.xbutton.window);
          const bool inside = e.xbutton.x >= 0 && e.xbutton.y >= 0 && e.xbutton.x < buttonWidth_ &&
                              e.xbutton.y < buttonHeight_;
          if (b && pressed == b->window && inside) return withShift(b->choice, e.xbutton.state);
          pressed = 0;
          break;
        }
        case KeyPress:
          if (const std::optional<AssertChoice> chosen = onKey(e.xkey)) return *chosen;
          break;
        default:
          break;
      }
    }
  }

 private:
  int px(int base) const { return static_cast<int>(std::lround(base * scale_)); }

  int textWidth(const std::wstring& text) const {
    XGlyphInfo extents{};
    XftTextExtents32(d_, font_, reinterpret_cast<const FcChar32*>(text.data()), static_cast<int>(text.size()),
                     &extents);
    return extents.xOff;
  }

  int advance(wchar_t c) const {
    XGlyphInfo extents{};
    const FcChar32 glyph = static_cast<FcChar32>(c);
    XftTextExtents32(d_, font_, &glyph, 1, &extents);
    return extents.xOff;
  }

  // At most `maxLines` lines of at most `width` pixels, broken after spaces
  // where a line has them and between characters where a word alone is too
  // wide.
  std::vector<std::wstring> wrap(const std::wstring& message, int width, std::size_t maxLines) const {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (lines.size() < maxLines) {
      std::size_t end = message.find(L'\n', start);
      if (end == std::wstring::npos) end = message.size();
      const std::size_t lineEnd = end > start && message[end - 1] == L'\r' ? end - 1 : end;
      std::size_t from = start;
      do {
        int used = 0;
        std::size_t i = from, lastSpace = std::wstring::npos;
        for (; i < lineEnd; ++i) {
          const int w = advance(message[i]);
          if (used + w > width && i > from) break;
          used += w;
          if (message[i] == L' ') lastSpace = i;
        }
        const std::size_t cut =
            i < lineEnd && lastSpace != std::wstring::npos && lastSpace > from ? lastSpace : i;
        lines.push_back(message.substr(from, cut - from));
        from = cut < lineEnd && message[cut] == L' ' ? cut + 1 : cut;
      } while (from < lineEnd && lines.size() < maxLines);
      if (end == message.size()) break;
      start = end + 1;
    }
    return lines;
  }

  std::wstring fitWithMark(std::wstring line, int width) const {
    while (!line.empty() && textWidth(line + L"\u2026") > width) line.pop_back();
    return line + L"\u2026";
  }

  // The error sign: a red disc with a white cross, its edges blended into
  // the background by coverage.
  XImage* makeIcon(int size) {
    const int screen = DefaultScreen(d_);
    Visual* visual = DefaultVisual(d_, screen);
    if (visual->c_class != TrueColor) return nullptr;
    XImage* image = XCreateImage(d_, visual, static_cast<unsigned>(DefaultDepth(d_, screen)), ZPixmap, 0,
                                 nullptr, static_cast<unsigned>(size), static_cast<unsigned>(size), 32, 0);
    if (!image) return nullptr;
    image->data = static_cast<char*>(std::calloc(static_cast<std::size_t>(image->bytes_per_line), size));
    const double r = size / 2.0, arm = size * 0.22, half = size * 0.06;
    auto channel = [](unsigned long rgb, int shift) { return static_cast<double>((rgb >> shift) & 0xFF); };
    auto coverage = [](double inside) { return std::clamp(inside + 0.5, 0.0, 1.0); };
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const double dx = x + 0.5 - r, dy = y + 0.5 - r;
        const double disc = coverage(r - 0.5 - std::hypot(dx, dy));
        // Distance to the nearer diagonal, within the cross's arms.
        const double diagonal = std::min(std::abs(dx - dy), std::abs(dx + dy)) / std::sqrt(2.0);
        const double along = std::max(std::abs(dx), std::abs(dy));
        const double cross = coverage(half - diagonal) * coverage(arm - along);
        unsigned long pixel = 0;
        for (const auto& [shift, mask] : {std::pair{16, visual->red_mask}, std::pair{8, visual->green_mask},
                                          std::pair{0, visual->blue_mask}}) {
          double v = channel(kBackground, shift) * (1 - disc) + channel(kIconRed, shift) * disc;
          v = v * (1 - cross) + 255 * cross;
          // Scale the 8-bit value into the visual's mask for the channel.
          const unsigned long scaled =
              static_cast<unsigned long>(std::lround(v / 255.0 * double(mask >> __builtin_ctzl(mask))));
          pixel |= scaled << __builtin_ctzl(mask);
        }
        XPutPixel(image, x, y, pixel);
      }
    }
    return image;
  }

  static AssertChoice withShift(AssertChoice choice, unsigned state) {
    return choice == AssertChoice::Ignore && (state & ShiftMask) ? AssertChoice::IgnoreWithShift : choice;
  }

  std::optional<AssertChoice> onKey(XKeyEvent& key) {
    const KeySym sym = XLookupKeysym(&key, 0);
    for (const Button& b : buttons_)
      if (sym == b.key) return withShift(b.choice, key.state);
    switch (sym) {
      case XK_Return:
      case XK_KP_Enter:
      case XK_space:
        return withShift(buttons_[focus_].choice, key.state);
      case XK_Tab:
      case XK_ISO_Left_Tab:
        moveFocus(key.state & ShiftMask ? -1 : 1);
        break;
      case XK_Left:
        moveFocus(-1);
        break;
      case XK_Right:
        moveFocus(1);
        break;
      default:
        break;
    }
    return std::nullopt;
  }

  void moveFocus(int step) {
    const std::size_t before = focus_;
    focus_ = (focus_ + buttons_.size() + static_cast<std::size_t>(step + 3)) % buttons_.size();
    XClearArea(d_, buttons_[before].window, 0, 0, 0, 0, True);
    XClearArea(d_, buttons_[focus_].window, 0, 0, 0, 0, True);
  }

  const Button* buttonOf(Window w) const {
    for (const Button& b : buttons_)
      if (b.window == w) return &b;
    return nullptr;
  }

  void drawText(XftDraw* draw, int x, int baseline, const std::wstring& text) {
    XftDrawString32(draw, &text_, font_, x, baseline, reinterpret_cast<const FcChar32*>(text.data()),
                    static_cast<int>(text.size()));
  }

  void draw(Window w) {
    if (w == window_) {
      if (icon_) XPutImage(d_, window_, gc_, icon_, 0, 0, px(kMargin), textTop_, icon_->width, icon_->height);
      int baseline = textTop_ + font_->ascent;
      for (const std::wstring& l : lines_) {
        drawText(draw_, textLeft_, baseline, l);
        baseline += lineHeight_;
      }
      return;
    }
    const Button* b = buttonOf(w);
    if (!b) return;
    const bool focused = b == &buttons_[focus_];
    const int thickness = focused ? std::max(2, px(2)) : std::max(1, px(1));
    XSetForeground(d_, gc_, pixelOf(d_, focused ? kFocusBorder : kButtonBorder));
    XSetLineAttributes(d_, gc_, static_cast<unsigned>(thickness), LineSolid, CapButt, JoinMiter);
    XDrawRectangle(d_, w, gc_, thickness / 2, thickness / 2, static_cast<unsigned>(buttonWidth_ - thickness),
                   static_cast<unsigned>(buttonHeight_ - thickness));
    const int screen = DefaultScreen(d_);
    XftDraw* draw = XftDrawCreate(d_, w, DefaultVisual(d_, screen), DefaultColormap(d_, screen));
    const int x = (buttonWidth_ - textWidth(b->label)) / 2;
    const int baseline = (buttonHeight_ + font_->ascent - font_->descent) / 2;
    drawText(draw, x, baseline, b->label);
    XftDrawDestroy(draw);
  }

  Display* d_;
  XftFont* font_;
  double scale_;
  std::vector<std::wstring> lines_;
  int lineHeight_ = 0, textLeft_ = 0, textTop_ = 0;
  int buttonWidth_ = 0, buttonHeight_ = 0;
  Window window_ = 0;
  GC gc_ = nullptr;
  XftDraw* draw_ = nullptr;
  XftColor text_{};
  XImage* icon_ = nullptr;
  std::vector<Button> buttons_;
  // Retry: Enter neither ends the process nor silences the assertion.
  std::size_t focus_ = 1;
};

}  // namespace

AssertChoice askInWindow(const std::wstring& caption, const std::wstring& message) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return AssertChoice::Unavailable;
  const double dpi = displayDpi(d);
  XftFont* font = openSansFont(d, dpi);
  AssertChoice choice = AssertChoice::Unavailable;
  if (font) {
    auto previous = XSetErrorHandler(ignoreXError);
    {
      Dialog dialog(d, font, dpi / kBaseDpi, caption, message);
      choice = dialog.run();
    }
    XSync(d, False);
    XSetErrorHandler(previous);
    XftFontClose(d, font);
  }
  XCloseDisplay(d);
  return choice;
}

void* desktopWindow() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return nullptr;
  Window root = DefaultRootWindow(d);
  XCloseDisplay(d);
  return reinterpret_cast<void*>(root);
}

}  // namespace detail

}  // namespace Halvex::Tessaran::PAL

extern "C" __attribute__((visibility("default"))) const void* kvpal_dialog_backend(unsigned version) {
  namespace detail = Halvex::Tessaran::PAL::detail;
  static constexpr detail::DialogBackend table{detail::askInWindow, detail::desktopWindow};
  return version == detail::DialogBackend::kVersion ? &table : nullptr;
}
