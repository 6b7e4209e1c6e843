// Windows virtual-key codes on X: the keysyms, or the pointer button, that
// stand for each code.
#pragma once

#include <X11/X.h>

#include <vector>

namespace Halvex::Tessaran::PAL::X11 {

// Empty for codes without a keyboard counterpart.
std::vector<KeySym> keysymsOfVirtualKey(int vk);
// The X button of the mouse-button codes (1 left, 3 right, 2 middle, 8 and
// 9 the extra buttons); 0 for other codes.
int pointerButtonOfVirtualKey(int vk);

}  // namespace Halvex::Tessaran::PAL::X11
