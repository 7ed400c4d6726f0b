#include "core/platform/fine_timer_win32.h"

#include <mutex>

#include "core/platform/timer_calls_win32.h"

namespace core {

namespace {

std::mutex holdersLock;
int holders = 0;  // under holdersLock

// Always honour the timer resolution asked for (`honour`), or let the system
// decide again. The opt-out is the process's, so only the first holder sets
// it and the last gives it back.
void HonourTimerResolution(bool honour) {
    if (!Timers().setProcessInformation) return;
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = honour ? PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION : 0;
    state.StateMask = 0;
    // Refused before Windows 11 (the class is unknown there): nothing to opt out of.
    Timers().setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

}  // namespace

FineTimer::FineTimer() {
    {
        std::lock_guard guard(holdersLock);
        if (holders++ == 0) HonourTimerResolution(true);
    }
    period_ = Timers().timeBeginPeriod(1) == TIMERR_NOERROR;
}

FineTimer::~FineTimer() {
    if (period_) Timers().timeEndPeriod(1);
    std::lock_guard guard(holdersLock);
    if (--holders == 0) HonourTimerResolution(false);
}

}  // namespace core
