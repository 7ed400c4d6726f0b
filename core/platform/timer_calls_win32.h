// The sleep, clock and timer calls behind the line's waits on Windows, in one
// table. Tests replace entries to play a timer the program cannot choose (a
// 15.625 ms tick while the window is minimised or covered, a 1 ms step whose
// sleeps last one to two steps) and to record what the program asks of the
// system; the program never changes it. Replace entries only while no wait
// runs and no port is open.
#pragma once

#include <windows.h>

namespace core {

struct TimerCalls {
    BOOL(WINAPI* queryPerformanceCounter)(LARGE_INTEGER*) = ::QueryPerformanceCounter;
    HANDLE(WINAPI* createWaitableTimerExW)(LPSECURITY_ATTRIBUTES, LPCWSTR, DWORD, DWORD) = ::CreateWaitableTimerExW;
    BOOL(WINAPI* setWaitableTimer)(HANDLE, const LARGE_INTEGER*, LONG, PTIMERAPCROUTINE, LPVOID, BOOL) =
        ::SetWaitableTimer;
    DWORD(WINAPI* waitForSingleObject)(HANDLE, DWORD) = ::WaitForSingleObject;
    DWORD(WINAPI* waitForMultipleObjects)(DWORD, const HANDLE*, BOOL, DWORD) = ::WaitForMultipleObjects;
    UINT(WINAPI* timeBeginPeriod)(UINT) = ::timeBeginPeriod;
    UINT(WINAPI* timeEndPeriod)(UINT) = ::timeEndPeriod;
    // Null where the system lacks it (before Windows 8).
    BOOL(WINAPI* setProcessInformation)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD) = SystemSetProcessInformation();

    static decltype(setProcessInformation) SystemSetProcessInformation();
};

// The table in use.
TimerCalls& Timers();

// The performance counter, through the table, and its frequency.
LONGLONG NowTicks();
LONGLONG TicksPerSecond();

}  // namespace core
