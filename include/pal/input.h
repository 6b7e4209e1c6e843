// Timers, pointer and gesture input, keyboard state and message pumping on
// the windowing system's connection, and the two message channels of the
// host's asynchronous interface layer.
//
// Differences from Windows:
// - Timers. There is no thread message loop to carry timer messages, so each
//   thread that sets a timer gets its own timer queue behind one file
//   descriptor (Timer::getTimerDescriptor). The host adds it to its event
//   loop and calls Timer::dispatchTimers when it is readable; the callbacks
//   run there, on the thread that set the timers, and nowhere else
//   (drainMsgQueue and the peek functions never run them). A due timer fires
//   once however late the dispatch comes, as WM_TIMER is coalesced. A timer
//   can be killed only on the thread that set it. With a view the result of
//   SetTimer is `id`, and identifier 0 is refused (it would read as failure);
//   without one it is a new identifier unless `id` names a timer the thread
//   already has without a window. The interval is kept within 10 ms and
//   0x7FFFFFFF ms; the time passed to callbacks is the millisecond count
//   since boot, in 32 bits. A timer without a callback fires no code: it is
//   seen by hasPendingMessage(0x0113) while due and cleared by the next
//   dispatch.
// - Pointer input comes from XInput 2: the library remembers the latest
//   event of every source device read from its connection, whoever reads
//   it, and the pointer identifier is the XInput source device id. `x`, `y`
//   are relative to the event's window. pointerType is 3 for styli and
//   erasers (erasers also set `inverted`), 2 for direct touch devices, 5 for
//   touchpads, 4 otherwise. Pen values come from the valuators labelled
//   "Abs Pressure" (scaled to 0..1024), "Abs Tilt X"/"Abs Tilt Y" (to -90..90
//   degrees) and "Abs Rotary Z" or "Abs Wheel" (to 0..359 degrees), each
//   only when the event carries it. Without XInput 2 the message path runs:
//   X events carry no extra information (getMessageExtraInfo is 0), so only
//   pointer identifier 0 succeeds there, as the mouse.
// - Gestures come from XInput 2.4 pinch events. Every pinch event read from
//   the connection gets a handle (Input::getLastGestureHandle); the latest
//   32 stay readable. A pinch begin gives the cleared record, an update
//   gestureType 1 with the server's scale and the rotation since the begin
//   in `angle` (radians, counter-clockwise positive), an end or cancel the
//   same with gestureFlags 4. There is no inertia phase.
// - Key state is the X server's current keyboard state (XKB) for both
//   isKeyPressed and isKeyPressedAsync: X keeps no per-thread key state.
//   Virtual-key codes are mapped onto keysyms; Caps Lock reports the "Caps
//   Lock" indicator.
// - userBreak measures the age of the last input event read from the
//   connection in server time, and takes the foreground window from
//   _NET_ACTIVE_WINDOW and its process from _NET_WM_PID.
// - The message numbers hasPendingMessage knows are those with an X
//   counterpart: key down/up (0x0100, 0x0101), mouse move (0x0200), button
//   down/up of the left, right, middle and extra buttons (0x0201, 0x0202,
//   0x0204, 0x0205, 0x0207, 0x0208, 0x020B, 0x020C), the wheels (0x020A,
//   0x020E), paint (0x000F), size (0x0005), focus (0x0007, 0x0008), mouse
//   leave (0x02A3), close (0x0010), the views' private message (0x7FF0, as
//   WindowingSystem::postViewMessage posts it) and timer (0x0113, the calling
//   thread's due timers). Every other number answers false.
// - Without a display every input call answers its failure value (false,
//   nothing drained); timers, the channels and random_string need none.
#pragma once

#include <string>

#include "pal/export.h"

namespace Halvex::Tessaran::AsyncApi::Input {

struct PointerEventData {
  unsigned int pointerId;
  int pointerType;  // 1 pointer, 2 touch, 3 pen, 4 mouse, 5 touchpad, 0 other
  float x;
  float y;
  unsigned int buttons;         // 1 first, 2 second, 4 third, 8 and 16 the extra buttons
  unsigned int changedButtons;  // the button this event pressed or released
  unsigned int modifiers;       // 1 Alt, 2 Ctrl, 4 Shift
  bool inContact;
  unsigned int pressure;
  unsigned int rotation;
  int tiltX;
  int tiltY;
  bool inverted;
  unsigned int penMask;  // 1 pressure, 2 rotation, 4 tilt x, 8 tilt y
};

struct GestureEventData {
  int gestureType;  // 0 none, 1 zoom or pan, 2 rotate, 3 two-finger tap, 4 press and tap
  float x;
  float y;
  float scale;
  float angle;                // radians
  unsigned int gestureFlags;  // 1 begins, 2 inertia, 4 ends
};

// The host's event record; the library never looks inside it.
struct Event;

}  // namespace Halvex::Tessaran::AsyncApi::Input

namespace Halvex::Tessaran::AsyncApi::ApiCodeGenHosting {

// The host's message channel; the library only keeps pointers to it.
class IChannel;

}  // namespace Halvex::Tessaran::AsyncApi::ApiCodeGenHosting

namespace Halvex::Tessaran::PAL {

class View;

namespace Input {

// The record stays valid, and is overwritten by the next call.
PAL_EXPORT bool getPointerEventData(unsigned int pointerId, const AsyncApi::Input::PointerEventData*& data);
PAL_EXPORT bool getGestureEventData(long long gestureHandle, const AsyncApi::Input::GestureEventData*& data);
// The handle of the latest pinch gesture event read from the connection; 0
// before the first.
PAL_EXPORT long long getLastGestureHandle();
// Returns false and does nothing.
PAL_EXPORT bool setCurrentEvent(const AsyncApi::Input::Event* event);

}  // namespace Input

namespace Timer {

using TimerCallback = void (*)(View* view, unsigned int message, unsigned long long timerId,
                               unsigned int timeMs);

PAL_EXPORT unsigned long long SetTimer(View* view, unsigned long long id, unsigned int elapseMs,
                                       TimerCallback callback);
PAL_EXPORT void KillTimer(View* view, unsigned long long id);
// The calling thread's timer descriptor: readable while one of the thread's
// timers is due. It is made by the first call on the thread (SetTimer makes
// it too), stays the same for the thread's life and is closed when the
// thread ends; -1 when the system cannot make one.
PAL_EXPORT int getTimerDescriptor();
// Runs the callbacks of the calling thread's due timers and re-arms them;
// returns how many timers were due. Never blocks.
PAL_EXPORT int dispatchTimers();

}  // namespace Timer

namespace Operation {

PAL_EXPORT bool isKeyPressed(int virtualKey);
PAL_EXPORT bool isKeyPressedAsync(int virtualKey);
PAL_EXPORT bool userBreak(bool checkMessageAge, unsigned int maxAgeMs);
PAL_EXPORT void drainMsgQueue();

}  // namespace Operation

namespace MessageUtilities {

PAL_EXPORT bool hasPendingMessage(unsigned int message);
PAL_EXPORT long long getMessageExtraInfo();
// A uniformly drawn unsigned 64-bit number in decimal; safe from any thread.
PAL_EXPORT std::string random_string();

}  // namespace MessageUtilities

namespace MessageQueue {

using AsyncApi::ApiCodeGenHosting::IChannel;

PAL_EXPORT void setProxySideChannel(IChannel* channel);
PAL_EXPORT IChannel* proxySideChannel();
PAL_EXPORT void setStubSideChannel(IChannel* channel);
PAL_EXPORT IChannel* stubSideChannel();

}  // namespace MessageQueue

}  // namespace Halvex::Tessaran::PAL
