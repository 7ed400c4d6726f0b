// DelayMs on the performance counter. A wait sleeps in whole milliseconds
// (the system timer steps 1 ms while a port is open: the device layer asks
// for it) and polls the counter only for a last stretch too short for a
// sleep. So a 1 ms poll of the engine is one Sleep(1): it may end up to a
// timer step late, never early, and it never holds a processor. Line
// threads run raised; one that spun through its polls held off everything
// else on its processor for as long as it spun: on a one-processor computer
// the window, and under Wine the kernel's worker that brings the awaited
// byte in (on a busy machine the echo then came 20-100 ms late and the
// pump's next block was taken for an answer).
#include <windows.h>

#include <thread>

#include "core/platform/delay.h"

namespace core {
namespace {

LONGLONG Ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

LONGLONG TicksPerSecond() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return frequency;
}

// What is left of a wait below this is polled: a sleep would overshoot it
// by far more.
LONGLONG PolledTicks() { return TicksPerSecond() / 4000; }

}  // namespace

void DelayMs(std::uint16_t ms) {
    const LONGLONG deadline = Ticks() + ms * TicksPerSecond() / 1000;
    for (LONGLONG left = deadline - Ticks(); left > PolledTicks(); left = deadline - Ticks()) {
        // All but the last millisecond in one sleep, then steps of one: a
        // sleep ends late, so the wait ends within one step's lateness.
        const LONGLONG wholeMs = left * 1000 / TicksPerSecond();
        Sleep(static_cast<DWORD>(wholeMs >= 2 ? wholeMs - 1 : 1));
    }
    while (Ticks() < deadline) std::this_thread::yield();
}

}  // namespace core
