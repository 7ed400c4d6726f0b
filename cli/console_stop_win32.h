// What the companion's console handler does with an event of the console
// (CTRL_C_EVENT, CTRL_CLOSE_EVENT, ...), for the handler and its test.
#pragma once

#include <windows.h>

namespace cli {

// Notes the stop for the StopSignals in place. For closing, logoff and
// shutdown, after which the system ends the process as soon as the handler
// returns, it returns only when that StopSignals is gone (the diagnosis has
// ended and its trace is written), or after kConsoleCloseHoldMs, within the
// five seconds that the system allows.
BOOL WINAPI OnConsoleEvent(DWORD event);

inline constexpr DWORD kConsoleCloseHoldMs = 4500;

}  // namespace cli
