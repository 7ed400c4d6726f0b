#include "core/platform/timer_calls_win32.h"

namespace core {

decltype(TimerCalls::setProcessInformation) TimerCalls::SystemSetProcessInformation() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<decltype(setProcessInformation)>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessInformation")))
                  : nullptr;
}

TimerCalls& Timers() {
    static TimerCalls calls;
    return calls;
}

LONGLONG NowTicks() {
    LARGE_INTEGER now;
    Timers().queryPerformanceCounter(&now);
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

}  // namespace core
