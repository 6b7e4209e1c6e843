// The timer service under Timer::SetTimer: per-thread timers in the manner
// of the Windows system timers, and the dispatcher that routes them to the
// registered callbacks.
#pragma once

#include "pal/input.h"

namespace Halvex::Tessaran::PAL::Timer::detail {

inline constexpr unsigned int kTimerMessage = 0x0113;  // WM_TIMER

// Called with the timer's window, kTimerMessage, its identifier and the
// millisecond count since boot.
using SystemCallback = void (*)(void* window, unsigned int message, unsigned long long id,
                                unsigned int timeMs);

// Starts, or with a known window and identifier restarts, a timer of the
// calling thread. Without a window `id` is kept only when the thread
// already has such a timer, otherwise a new process-wide identifier is
// made. Returns the identifier, 0 on failure (a window with identifier 0,
// no timer descriptor).
unsigned long long startTimer(void* window, unsigned long long id, unsigned int elapseMs,
                              SystemCallback callback);
// False when the calling thread has no such timer.
bool stopTimer(void* window, unsigned long long id);
int threadDescriptor();
// Fires the calling thread's due timers once each; returns their number.
int dispatchDue();
bool hasDueTimer();

// SetTimer and KillTimer on the window the view stands for.
unsigned long long setTimer(void* window, View* view, unsigned long long id, unsigned int elapseMs,
                            TimerCallback callback);
void killTimer(void* window, unsigned long long id);

// The dispatcher the registry installs: runs the callback registered for
// the window and identifier, if any.
void dispatchToRegistry(void* window, unsigned int message, unsigned long long id, unsigned int timeMs);

}  // namespace Halvex::Tessaran::PAL::Timer::detail
