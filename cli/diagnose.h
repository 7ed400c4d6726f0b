// A whole diagnosis without the window: the program's port, the engine and
// its entry points in the order a technician clicks them, the window's
// effects and timers played by HeadlessWindow.
#pragma once

#include <atomic>
#include <ostream>
#include <string>

namespace cli {

struct DiagnoseOptions {
    std::string port;
    bool readFaults = false;
    bool clearFaults = false;
    bool yes = false;
    bool json = false;
    std::string trace;  // empty: no trace file
    std::string report;  // empty: no report file
    // A signal number once the diagnosis is to stop (see StopSignals); null: never.
    const std::atomic<int>* stopSignal = nullptr;
};

// Progress and questions go to `err`, the result to `out`; the answer to the
// clearing question is read from standard input when it is a terminal.
// Returns the exit code: 128 + the signal when stopped by one.
int RunDiagnose(const DiagnoseOptions& options, std::ostream& out, std::ostream& err);

}  // namespace cli
