// Real-time scheduling for the few threads that poll the pump's line.
//
// The protocol's answers must go out within milliseconds whatever else the
// computer is doing, so the port's monitoring thread, the GUI thread while it
// sends the wake-up pattern and the simulated pump's thread ask for a
// real-time (first in, first out) priority. The request is made directly
// when the process may (CAP_SYS_NICE or RLIMIT_RTPRIO), otherwise through the
// desktop's real-time broker on the system D-Bus; when neither grants it the
// thread simply keeps its normal scheduling. Threads raised here never pass
// the priority on to processes they start, and a raised thread that computes
// too long without blocking is lowered by the watchdog (realtime_watchdog.h).
// On Windows the system's multimedia class scheduler raises the thread (a
// Broker grant), a time-critical thread priority where it is missing (Direct).
#pragma once

namespace core {

// The priority asked for: above every normal thread, low among real-time
// ones so that the system's own real-time threads still come first.
inline constexpr int kLineThreadPriority = 10;

// How the calling thread came to its real-time priority, if it did.
enum class PriorityGrant { None, Direct, Broker };

// Why a thread runs at normal priority.
enum class NoRealTime {
    None,        // it does not: it was raised
    NoService,   // no right of its own, and no broker answered (none, or a stalled bus)
    Refused,     // the broker refused: its burst of requests per user is spent, or its policy
    CpuLimit,    // the inherited real-time CPU-time limit leaves no room to lower a runaway thread
    NotGranted,  // the system refused the priority
    Lowered,     // it was raised, and lowered by the watchdog after computing too long
};

// Raises the calling thread. Never throws and never fails loudly; waits for
// the broker a few milliseconds at most. None may still be followed by a
// raise when the broker answers later.
PriorityGrant RequestRealTimePriority();

// Why the calling thread's last RequestRealTimePriority did not raise it;
// None when it did.
NoRealTime WhyNotRaised();

// Puts the calling thread back on normal scheduling, keeping the
// reset-on-fork flag: the kernel refuses an ordinary thread that holds the
// flag any change that would clear it, and both ways up set it.
void DropRealTimePriority();

// True when the calling thread runs under a real-time policy.
bool RunsAtRealTimePriority();

// Raises the calling thread for the lifetime of the object, then puts back
// the scheduling it had, when it was not real-time already.
class ScopedRealTimePriority {
public:
    ScopedRealTimePriority();
    ~ScopedRealTimePriority();
    ScopedRealTimePriority(const ScopedRealTimePriority&) = delete;
    ScopedRealTimePriority& operator=(const ScopedRealTimePriority&) = delete;

private:
    bool asked_ = false;   // the thread was not real-time before
    bool raised_ = false;
};

}  // namespace core
