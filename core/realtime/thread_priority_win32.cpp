// Line threads on Windows, raised the system's way: the multimedia class
// scheduler lifts a thread of the "Pro Audio" task (else "Capture") into the
// real-time range while it keeps a share of every processor for the rest of
// the computer, so a line thread that polls cannot stall the window on a
// one-processor computer. Where the service is not there (avrt.dll missing,
// the service stopped) the thread gets THREAD_PRIORITY_TIME_CRITICAL. Any
// process may do either for its own threads: nothing to ask, no broker.
#include <windows.h>

#include "core/realtime/avrt_calls_win32.h"
#include "core/realtime/thread_priority.h"

namespace core {

namespace {

// The calling thread's registration with the scheduler, null while none.
thread_local HANDLE registration = nullptr;

bool JoinScheduler() {
    const AvrtCalls& avrt = Avrt();
    if (!avrt.setMmThreadCharacteristics) return false;
    static const wchar_t* const kTasks[] = {L"Pro Audio", L"Capture"};
    for (const wchar_t* task : kTasks) {
        DWORD index = 0;
        registration = avrt.setMmThreadCharacteristics(task, &index);
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
        Avrt().revertMmThreadCharacteristics(registration);
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
