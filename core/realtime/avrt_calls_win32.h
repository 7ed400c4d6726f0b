// The multimedia class scheduler's calls (avrt.dll, not on every system), in
// one table. Tests replace entries to record the registrations a line thread
// makes and gives back; the program never changes it. Replace entries only
// while no line thread runs.
#pragma once

#include <windows.h>

namespace core {

struct AvrtCalls {
    // Both null where the system lacks the scheduler.
    HANDLE(WINAPI* setMmThreadCharacteristics)(LPCWSTR task, LPDWORD index) = nullptr;
    BOOL(WINAPI* revertMmThreadCharacteristics)(HANDLE registration) = nullptr;
    AvrtCalls();  // the system's, looked up once
};

// The table in use.
AvrtCalls& Avrt();

}  // namespace core
