// What the input calls see of a display connection: the latest device event
// of each source device, the pinch gestures and the time of the last input
// event, gathered as events are read, whoever reads them.
#pragma once

#include <X11/Xlib.h>

#include "pal/input.h"

namespace Halvex::Tessaran::PAL::X11 {

// Starts watching the connection's input events (once per connection):
// events read before this are not seen, so the display module calls it as
// soon as a connection is in use.
void watchInput(Display* display);

// The pointer record as the message path makes it, for connections without
// XInput 2.
bool pointerFromCoreState(Display* display, unsigned int pointerId,
                          AsyncApi::Input::PointerEventData& record);

}  // namespace Halvex::Tessaran::PAL::X11
