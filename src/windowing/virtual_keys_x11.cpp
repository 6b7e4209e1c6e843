// Windows virtual-key codes as the X keysyms their keys carry.
#include "windowing/virtual_keys_x11.h"

#include <X11/keysym.h>

#include <array>

namespace Halvex::Tessaran::PAL::X11 {
namespace {

struct Fixed {
  int vk;
  std::array<KeySym, 3> keysyms;  // NoSymbol ends a shorter list
};

// The keys whose keysym does not follow from the code's number. A generic
// key (Shift, Ctrl, Alt) is down when either of its sides is; AltGr counts
// as the right Alt, as on Windows.
constexpr Fixed kFixed[] = {
    {0x08, {XK_BackSpace}},
    {0x09, {XK_Tab, XK_ISO_Left_Tab}},
    {0x0C, {XK_Clear, XK_KP_Begin}},
    {0x0D, {XK_Return, XK_KP_Enter}},
    {0x10, {XK_Shift_L, XK_Shift_R}},
    {0x11, {XK_Control_L, XK_Control_R}},
    {0x12, {XK_Alt_L, XK_Alt_R, XK_ISO_Level3_Shift}},
    {0x13, {XK_Pause}},
    {0x14, {XK_Caps_Lock}},
    {0x1B, {XK_Escape}},
    {0x20, {XK_space}},
    {0x21, {XK_Prior}},
    {0x22, {XK_Next}},
    {0x23, {XK_End}},
    {0x24, {XK_Home}},
    {0x25, {XK_Left}},
    {0x26, {XK_Up}},
    {0x27, {XK_Right}},
    {0x28, {XK_Down}},
    {0x29, {XK_Select}},
    {0x2A, {XK_Print}},
    {0x2B, {XK_Execute}},
    {0x2C, {XK_Print, XK_Sys_Req}},
    {0x2D, {XK_Insert}},
    {0x2E, {XK_Delete}},
    {0x2F, {XK_Help}},
    {0x5B, {XK_Super_L}},
    {0x5C, {XK_Super_R}},
    {0x5D, {XK_Menu}},
    {0x6A, {XK_KP_Multiply}},
    {0x6B, {XK_KP_Add}},
    {0x6C, {XK_KP_Separator}},
    {0x6D, {XK_KP_Subtract}},
    {0x6E, {XK_KP_Decimal}},
    {0x6F, {XK_KP_Divide}},
    {0x90, {XK_Num_Lock}},
    {0x91, {XK_Scroll_Lock}},
    {0xA0, {XK_Shift_L}},
    {0xA1, {XK_Shift_R}},
    {0xA2, {XK_Control_L}},
    {0xA3, {XK_Control_R}},
    {0xA4, {XK_Alt_L}},
    {0xA5, {XK_Alt_R, XK_ISO_Level3_Shift}},
    {0xBA, {XK_semicolon}},
    {0xBB, {XK_equal}},
    {0xBC, {XK_comma}},
    {0xBD, {XK_minus}},
    {0xBE, {XK_period}},
    {0xBF, {XK_slash}},
    {0xC0, {XK_grave}},
    {0xDB, {XK_bracketleft}},
    {0xDC, {XK_backslash}},
    {0xDD, {XK_bracketright}},
    {0xDE, {XK_apostrophe}},
    {0xE2, {XK_less}},
};

}  // namespace

std::vector<KeySym> keysymsOfVirtualKey(int vk) {
  // Letters by their unshifted keysym, found wherever the layout puts them.
  if (vk >= 'A' && vk <= 'Z') return {static_cast<KeySym>(XK_a + (vk - 'A'))};
  if (vk >= '0' && vk <= '9') return {static_cast<KeySym>(XK_0 + (vk - '0'))};
  if (vk >= 0x60 && vk <= 0x69) return {static_cast<KeySym>(XK_KP_0 + (vk - 0x60))};
  if (vk >= 0x70 && vk <= 0x87) return {static_cast<KeySym>(XK_F1 + (vk - 0x70))};
  for (const auto& f : kFixed) {
    if (f.vk != vk) continue;
    std::vector<KeySym> out;
    for (KeySym k : f.keysyms)
      if (k != NoSymbol) out.push_back(k);
    return out;
  }
  return {};
}

int pointerButtonOfVirtualKey(int vk) {
  switch (vk) {
    case 0x01:
      return 1;
    case 0x02:
      return 3;
    case 0x04:
      return 2;
    case 0x05:
      return 8;
    case 0x06:
      return 9;
    default:
      return 0;
  }
}

}  // namespace Halvex::Tessaran::PAL::X11
