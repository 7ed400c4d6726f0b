// One whole diagnosis as a technician runs it in the window: the port opened
// as the window opens it, start, identification, read faults, the help text
// of a shown fault, clear, read again; then, if asked, the link held idle
// while the watchdog looks on.
#pragma once

#include <string>
#include <vector>

namespace soak {

struct DiagnosisResult {
    bool ok = false;
    std::string failedStep;            // empty when ok
    std::string cause;                 // what the line shows, when it derailed
    std::vector<double> pollIntervals; // ms, every poll interval of the engine
    // The start button's thread at real-time priority when the wake-up began,
    // and when it ended (a broker may answer after the thread stopped waiting).
    bool wakeUpRaised = false, wakeUpRaisedAtEnd = false;
    int realTimeThreads = 0;           // threads of this process at real-time priority at the end
};

// How many threads of this process run under a real-time policy now.
int RealTimeThreads();

// `port` is SIM or a device path; help texts are read from `dataDir`.
// `simulated` says that the line keeps its own trace (SIM).
DiagnosisResult RunDiagnosis(const std::string& port, bool simulated, const std::string& dataDir,
                             double holdSeconds);

}  // namespace soak
