// Ctrl-C, Ctrl-Break and the console's closing on Windows: the console calls
// its handler on a thread of its own; the handler only notes the stop, as
// SIGINT (Ctrl-C, Ctrl-Break) or SIGTERM (closing, logoff, shutdown).
#include <windows.h>

#include <csignal>

#include "cli/stop_signals.h"

namespace cli {

namespace {

std::atomic<int>* noted = nullptr;

BOOL WINAPI NoteStop(DWORD event) {
    std::atomic<int>* target = noted;
    if (!target) return FALSE;
    const int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    int none = 0;
    target->compare_exchange_strong(none, signal);
    return TRUE;
}

}  // namespace

StopSignals::StopSignals() {
    noted = &received_;
    SetConsoleCtrlHandler(NoteStop, TRUE);
}

StopSignals::~StopSignals() {
    SetConsoleCtrlHandler(NoteStop, FALSE);
    noted = nullptr;
}

}  // namespace cli
