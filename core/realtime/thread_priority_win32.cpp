// Line threads on Windows, raised the system's way: the multimedia class
// scheduler lifts a thread of the "Pro Audio" task (else "Capture") into the
// real-time range while it keeps a share of every processor for the rest of
// the computer, so a line thread that polls cannot stall the window on a
// one-processor computer. Where the service is not there (avrt.dll missing,
// the service stopped) the thread gets THREAD_PRIORITY_TIME_CRITICAL. Any
// process may do either for its own threads: nothing to ask, no broker.
#include <windows.h>

#include "core/realtime/thread_priority.h"

namespace core {

namespace {

using SetCharacteristics = HANDLE(WINAPI*)(LPCWSTR, LPDWORD);
using RevertCharacteristics = BOOL(WINAPI*)(HANDLE);

// The scheduler's functions, looked up once: avrt.dll is not on every system.
struct Avrt {
    SetCharacteristics set = nullptr;
    RevertCharacteristics revert = nullptr;
    Avrt() {
        HMODULE avrt = LoadLibraryW(L"avrt.dll");
        if (!avrt) return;
        set = reinterpret_cast<SetCharacteristics>(
            reinterpret_cast<void*>(GetProcAddress(avrt, "AvSetMmThreadCharacteristicsW")));
        revert = reinterpret_cast<RevertCharacteristics>(
            reinterpret_cast<void*>(GetProcAddress(avrt, "AvRevertMmThreadCharacteristics")));
        if (!set || !revert) set = nullptr;
    }
};

const Avrt& Scheduler() {
    static const Avrt avrt;
    return avrt;
}

// The calling thread's registration with the scheduler, null while none.
thread_local HANDLE registration = nullptr;

bool JoinScheduler() {
    const Avrt& avrt = Scheduler();
    if (!avrt.set) return false;
    static const wchar_t* const kTasks[] = {L"Pro Audio", L"Capture"};
    for (const wchar_t* task : kTasks) {
        DWORD index = 0;
        registration = avrt.set(task, &index);
        if (registration) return true;
    }
    return false;
}

// Why the calling thread's last request did not raise it.
thread_local NoRealTime whyNotRaised = NoRealTime::None;

}  // namespace

PriorityGrant RequestRealTimePriority() {
    whyNotRaised = NoRealTime::None;
    if (registration) return PriorityGrant::Broker;
    if (JoinScheduler()) return PriorityGrant::Broker;
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) return PriorityGrant::Direct;
    whyNotRaised = NoRealTime::NotGranted;
    return PriorityGrant::None;
}

NoRealTime WhyNotRaised() { return whyNotRaised; }

void DropRealTimePriority() {
    if (registration) {
        Scheduler().revert(registration);
        registration = nullptr;
    }
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

bool RunsAtRealTimePriority() {
    return registration != nullptr || GetThreadPriority(GetCurrentThread()) == THREAD_PRIORITY_TIME_CRITICAL;
}

ScopedRealTimePriority::ScopedRealTimePriority() {
    if (RunsAtRealTimePriority()) return;
    raised_ = RequestRealTimePriority() != PriorityGrant::None;
}

ScopedRealTimePriority::~ScopedRealTimePriority() {
    if (raised_) DropRealTimePriority();
}

}  // namespace core
