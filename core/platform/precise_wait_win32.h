// A wait on Windows that keeps its millisecond whatever the system's timer
// does. Windows 11 does not grant a raised timer resolution to a process
// whose windows are minimised or covered, so a 1 ms sleep may last a whole
// 15.625 ms tick; even at 1 ms a sleep lasts one to two steps. So a thread
// sleeps on a high-resolution waitable timer where the system has one
// (Windows 10 1803 and later), measures how late its sleeps come back, and
// where they come back later than a fraction of a millisecond it ends each
// sleep that much before the deadline and finishes on the performance
// counter. It spins no longer than that lateness needs: with a fine timer it
// does not spin at all. While it spins, a probe timer tells it when sleeps
// are on time again.
#pragma once

#include <windows.h>

namespace core {

// Returns once the performance counter (NowTicks) has reached `deadline`,
// never earlier, or once `wake` (an event, when given) is signalled: then
// true. The measurements are the calling thread's own.
bool WaitUntilTicks(LONGLONG deadline, HANDLE wake = nullptr);

}  // namespace core
