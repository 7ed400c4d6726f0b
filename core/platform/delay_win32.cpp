// DelayMs on the performance counter. Windows sleeps in steps of the system
// timer (1 ms while a port is open: the device layer asks for it), and a
// sleep ends somewhat after its step. So a wait sleeps in whole milliseconds
// while the measured lateness of a sleep leaves at least half of one, and
// polls the counter for the rest: the polled stretch is below that lateness
// plus half a step, not a fixed 2 ms. The lateness is measured on every sleep and
// follows the worst of the recent ones. (Wine's high-resolution waitable
// timer, measured here, ended 1 ms waits up to 11 ms late; Sleep(1) ended
// within 1.3 ms.)
#include <windows.h>

#include <algorithm>
#include <atomic>
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

LONGLONG TicksOfMs(LONGLONG ms) { return ms * TicksPerSecond() / 1000; }

// The lateness of recent sleeps in counter ticks: the worst one at once, a
// smaller one slowly (1/16 of the difference a sleep), never above 3 ms.
// Starts at one millisecond until sleeps have been seen.
std::atomic<LONGLONG> lateness{-1};

LONGLONG Lateness() {
    LONGLONG l = lateness.load(std::memory_order_relaxed);
    return l >= 0 ? l : TicksOfMs(1);
}

void NoteLateness(LONGLONG late) {
    late = std::clamp<LONGLONG>(late, 0, TicksOfMs(3));
    const LONGLONG was = Lateness();
    lateness.store(late >= was ? late : was - (was - late) / 16, std::memory_order_relaxed);
}

}  // namespace

void DelayMs(std::uint16_t ms) {
    const LONGLONG deadline = Ticks() + TicksOfMs(ms);
    for (;;) {
        const LONGLONG now = Ticks();
        // Rounded: a sleep that may end less than half a millisecond late is
        // taken rather than spun. Under Wine a 1 ms poll that spins at real
        // time holds off the kernel's worker that brings the awaited byte
        // in, for as long as the poll goes on; a sleep lets it run.
        const LONGLONG sleepMs = (deadline - now - Lateness() + TicksOfMs(1) / 2) * 1000 / TicksPerSecond();
        if (sleepMs < 1) break;
        Sleep(static_cast<DWORD>(sleepMs));
        NoteLateness(Ticks() - now - TicksOfMs(sleepMs));
    }
    // Yielding lets a thread of equal priority, such as the one delivering
    // the pump's bytes, have the processor meanwhile.
    while (Ticks() < deadline) std::this_thread::yield();
}

}  // namespace core
