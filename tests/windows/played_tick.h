// A system timer tick played through the timer calls table: every timer
// fires at the first tick at or after its due time, as on a Windows whose
// timer runs at that period (15.625 ms by default, and for a minimised or
// covered window's process on Windows 11; a 1 ms tick makes a 1 ms sleep
// last one to two milliseconds).
#pragma once

#include <algorithm>

#include "core/platform/timer_calls_win32.h"

namespace testing_support {

inline LONGLONG& PlayedTickTicks() {
    static LONGLONG tick = 1;
    return tick;
}

inline BOOL WINAPI TickedTimer(HANDLE timer, const LARGE_INTEGER* due, LONG period, PTIMERAPCROUTINE routine,
                               LPVOID arg, BOOL resume) {
    const LONGLONG tick = PlayedTickTicks();
    const LONGLONG now = core::NowTicks();
    const LONGLONG at = now + (-due->QuadPart) * core::TicksPerSecond() / 10'000'000;  // due times are relative
    const LONGLONG fires = (at + tick - 1) / tick * tick;
    LARGE_INTEGER played;
    played.QuadPart = -std::max<LONGLONG>(1, (fires - now) * 10'000'000 / core::TicksPerSecond());
    return ::SetWaitableTimer(timer, &played, period, routine, arg, resume);
}

// Plays a tick of `ms` until the table is put back (core::Timers() = {}).
inline void PlayTick(double ms) {
    PlayedTickTicks() = std::max<LONGLONG>(1, static_cast<LONGLONG>(ms * static_cast<double>(core::TicksPerSecond()) / 1000));
    core::Timers().setWaitableTimer = TickedTimer;
}

}  // namespace testing_support
