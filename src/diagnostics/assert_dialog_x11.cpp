// The dialog backend module: the assertion box as a modal Xlib window, and
// the display's root window.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "diagnostics/assert_choice.h"
#include "diagnostics/dialog_backend.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

namespace {

constexpr int kMargin = 16;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 28;
constexpr int kButtonGap = 12;
constexpr size_t kWrapColumns = 100;

// Xlib's default error handler ends the process; while the box is up,
// errors from a window manager's races are of no interest.
int ignoreXError(Display*, XErrorEvent*) {
  return 0;
}

std::vector<XChar2b> toChar2b(const std::wstring& text) {
  std::vector<XChar2b> out;
  for (wchar_t c : text) {
    unsigned u = static_cast<unsigned>(c) > 0xFFFF ? '?' : static_cast<unsigned>(c);
    out.push_back({static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u & 0xFF)});
  }
  return out;
}

std::vector<std::vector<XChar2b>> wrapLines(const std::wstring& message) {
  std::vector<std::vector<XChar2b>> lines;
  size_t start = 0;
  for (;;) {
    size_t end = message.find(L'\n', start);
    std::wstring line = message.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    do {
      lines.push_back(toChar2b(line.substr(0, kWrapColumns)));
      line.erase(0, std::min(line.size(), kWrapColumns));
    } while (!line.empty());
    if (end == std::wstring::npos) return lines;
    start = end + 1;
  }
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

struct Button {
  Window window;
  const char* label;
  AssertChoice choice;
};

class Dialog {
 public:
  Dialog(Display* d, XFontStruct* font, const std::wstring& caption, const std::wstring& message)
      : d_(d), font_(font), lines_(wrapLines(message)) {
    int screen = DefaultScreen(d);
    lineHeight_ = font->ascent + font->descent;
    int textWidth = 0;
    for (const auto& l : lines_)
      textWidth = std::max(textWidth, XTextWidth16(font, l.data(), static_cast<int>(l.size())));
    int buttonsWidth = 3 * kButtonWidth + 2 * kButtonGap;
    int width = std::max(textWidth, buttonsWidth) + 2 * kMargin;
    int textHeight = static_cast<int>(lines_.size()) * lineHeight_;
    int height = kMargin + textHeight + kMargin + kButtonHeight + kMargin;
    int x = std::max(0, (DisplayWidth(d, screen) - width) / 2);
    int y = std::max(0, (DisplayHeight(d, screen) - height) / 2);
    unsigned long black = BlackPixel(d, screen), white = WhitePixel(d, screen);
    window_ = XCreateSimpleWindow(d, RootWindow(d, screen), x, y, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), 1, black, white);
    setTitle(d, window_, wideToUtf8(caption));
    setAtomProperty(d, window_, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DIALOG"});
    setAtomProperty(d, window_, "_NET_WM_STATE", {"_NET_WM_STATE_MODAL", "_NET_WM_STATE_ABOVE"});
    // Registered and then ignored: like the Windows box, this one closes
    // only through a choice.
    Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, window_, &deleteWindow, 1);
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = PPosition | PMinSize | PMaxSize;
    hints->x = x;
    hints->y = y;
    hints->min_width = hints->max_width = width;
    hints->min_height = hints->max_height = height;
    XSetWMNormalHints(d, window_, hints);
    XFree(hints);
    XSelectInput(d, window_, ExposureMask | KeyPressMask);

    const Button labels[] = {{0, "Abort", AssertChoice::Abort},
                             {0, "Retry", AssertChoice::Retry},
                             {0, "Ignore", AssertChoice::Ignore}};
    int bx = (width - buttonsWidth) / 2;
    int by = height - kMargin - kButtonHeight;
    for (const Button& b : labels) {
      Window w = XCreateSimpleWindow(d, window_, bx, by, kButtonWidth, kButtonHeight, 1, black, white);
      XStoreName(d, w, b.label);
      XSelectInput(d, w, ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask);
      buttons_.push_back({w, b.label, b.choice});
      bx += kButtonWidth + kButtonGap;
    }
    gc_ = XCreateGC(d, window_, 0, nullptr);
    XSetFont(d, gc_, font->fid);
    XSetForeground(d, gc_, black);
    XMapSubwindows(d, window_);
    XMapRaised(d, window_);
  }

  ~Dialog() {
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
        case Expose:
          if (e.xexpose.count == 0) draw(e.xexpose.window);
          break;
        case ButtonPress:
          if (e.xbutton.button == Button1) pressed = e.xbutton.window;
          break;
        case ButtonRelease: {
          if (e.xbutton.button != Button1) break;
          const Button* b = buttonOf(e.xbutton.window);
          bool inside = e.xbutton.x >= 0 && e.xbutton.y >= 0 && e.xbutton.x < kButtonWidth &&
                        e.xbutton.y < kButtonHeight;
          if (b && pressed == b->window && inside) return withShift(b->choice, e.xbutton.state);
          pressed = 0;
          break;
        }
        case KeyPress: {
          KeySym sym = XLookupKeysym(&e.xkey, 0);
          if (sym == XK_a) return AssertChoice::Abort;
          if (sym == XK_r) return AssertChoice::Retry;
          if (sym == XK_i) return withShift(AssertChoice::Ignore, e.xkey.state);
          break;
        }
        default:
          break;
      }
    }
  }

 private:
  static AssertChoice withShift(AssertChoice choice, unsigned state) {
    return choice == AssertChoice::Ignore && (state & ShiftMask) ? AssertChoice::IgnoreWithShift : choice;
  }

  const Button* buttonOf(Window w) const {
    for (const Button& b : buttons_)
      if (b.window == w) return &b;
    return nullptr;
  }

  void draw(Window w) {
    if (w == window_) {
      int y = kMargin + font_->ascent;
      for (const auto& l : lines_) {
        XDrawString16(d_, window_, gc_, kMargin, y, l.data(), static_cast<int>(l.size()));
        y += lineHeight_;
      }
    } else if (const Button* b = buttonOf(w)) {
      int len = static_cast<int>(std::char_traits<char>::length(b->label));
      int tx = (kButtonWidth - XTextWidth(font_, b->label, len)) / 2;
      int ty = (kButtonHeight + font_->ascent - font_->descent) / 2;
      XDrawString(d_, w, gc_, tx, ty, b->label, len);
    }
  }

  Display* d_;
  XFontStruct* font_;
  std::vector<std::vector<XChar2b>> lines_;
  int lineHeight_ = 0;
  Window window_ = 0;
  GC gc_ = nullptr;
  std::vector<Button> buttons_;
};

}  // namespace

AssertChoice askInWindow(const std::wstring& caption, const std::wstring& message) {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return AssertChoice::Unavailable;
  XFontStruct* font = XLoadQueryFont(d, "-misc-fixed-medium-r-normal--13-*-*-*-*-*-iso10646-1");
  if (!font) font = XLoadQueryFont(d, "fixed");
  AssertChoice choice = AssertChoice::Unavailable;
  if (font) {
    auto previous = XSetErrorHandler(ignoreXError);
    {
      Dialog dialog(d, font, caption, message);
      choice = dialog.run();
    }
    XSync(d, False);
    XSetErrorHandler(previous);
    XFreeFont(d, font);
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
