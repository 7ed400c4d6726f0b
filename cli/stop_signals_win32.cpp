// Ctrl-C, Ctrl-Break and the console's closing on Windows: the console calls
// its handler on a thread of its own; the handler notes the stop, as SIGINT
// (Ctrl-C, Ctrl-Break) or SIGTERM (closing, logoff, shutdown), and holds the
// process while the diagnosis ends.
#include <windows.h>

#include <csignal>
#include <iostream>

#include "cli/console_stop_win32.h"
#include "cli/stop_signals.h"

namespace cli {

namespace {

std::atomic<std::atomic<int>*> noted{nullptr};

// Signalled while no StopSignals is in place; created once and never closed,
// since a handler may still wait on it when the last StopSignals goes.
HANDLE Released() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    return event;
}

}  // namespace

BOOL WINAPI OnConsoleEvent(DWORD event) {
    std::atomic<int>* target = noted;
    if (!target) return FALSE;
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    int none = 0;
    target->compare_exchange_strong(none, interrupt ? SIGINT : SIGTERM);
    if (!interrupt) WaitForSingleObject(Released(), kConsoleCloseHoldMs);
    return TRUE;
}

StopSignals::StopSignals() {
    ResetEvent(Released());
    noted = &received_;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    // What the diagnosis wrote reaches its files before the system may end
    // the process.
    std::cout.flush();
    std::cerr.flush();
    noted = nullptr;
    SetEvent(Released());
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

}  // namespace cli
