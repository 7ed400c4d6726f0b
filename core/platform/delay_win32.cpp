// DelayMs on the performance counter. Windows sleeps in steps of the system
// timer, 1 ms while a port is open (the device layer asks for it) and 15.6 ms
// otherwise, and a sleep may end a step late; so a wait sleeps in whole
// milliseconds up to two steps before its end and polls the counter for the
// rest. (Wine's high-resolution waitable timer, measured here, ended 1 ms
// waits up to 11 ms late; Sleep(1) ended within 1.3 ms.)
#include <windows.h>

#include <thread>

#include "core/platform/delay.h"

namespace core {
namespace {

constexpr LONGLONG kPolledStretchMs = 2;

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

}  // namespace

void DelayMs(std::uint16_t ms) {
    const LONGLONG deadline = Ticks() + ms * TicksPerSecond() / 1000;
    if (ms > kPolledStretchMs) Sleep(static_cast<DWORD>(ms - kPolledStretchMs));
    // Yielding lets a thread of equal priority, such as the one delivering
    // the pump's bytes, have the processor meanwhile.
    while (Ticks() < deadline) std::this_thread::yield();
}

}  // namespace core
