// The desktop's real-time broker: a system service on D-Bus that raises a
// thread of an unprivileged program to real-time priority on request.
//
// One worker thread a process holds the one bus connection and asks the
// broker; a thread's request names its kernel thread, so any thread may ask
// for another, and only one request a thread is ever outstanding. A grant is
// kept for the process. The broker limits each user to a burst of requests
// in a window of its own (20 s), which began at some moment before a refusal
// that we cannot see: so a refused request is not dropped but asked again a
// few times over the following window, and granted as soon as the window has
// passed, even in a process that asks nothing more meanwhile. No broker (none
// on the bus, or a bus that does not answer in time) holds for a window: then
// the next request starts over with a new connection. A thread that asks
// waits for the worker a few milliseconds at most, so a stalled bus never
// holds up the window or the port's threads; a grant that comes later raises
// it then, unless the request was withdrawn meanwhile.
#pragma once

#include <sys/types.h>

#include <chrono>

#include "core/realtime/thread_priority.h"

namespace core {

// What the asking thread waits for the answer at most.
inline constexpr std::chrono::milliseconds kBrokerPatience{25};

enum class BrokerAnswer { Granted, Pending, NotGranted };
struct BrokerOutcome {
    BrokerAnswer answer = BrokerAnswer::NotGranted;
    NoRealTime why = NoRealTime::None;  // with Pending or NotGranted
};

// Asks the broker to raise the kernel thread `tid` of this process to
// real-time priority, at most `priority` and at most what the broker allows,
// and waits `patience` at most for the answer (zero: not at all). Before the
// first request the process's CPU-time limit for real-time threads is set as
// the broker demands, with the watchdog armed. A request already outstanding
// for `tid` is not made twice.
BrokerOutcome AskBrokerForRealTime(pid_t tid, int priority, std::chrono::milliseconds patience = kBrokerPatience);

// Withdraws the requests of `tid`: a grant still to come is undone, and a
// refused one is not asked again.
void WithdrawBrokerRequest(pid_t tid);

// The broker's window (20 s unless set otherwise): how long no broker holds,
// and the span over which a refused request is asked again.
void SetBrokerRetryInterval(std::chrono::milliseconds interval);

// The requests the broker did not grant so far in this process (refused, or
// no broker), and why the last of them was not.
struct BrokerFailures {
    unsigned count = 0;
    NoRealTime last = NoRealTime::None;
};
BrokerFailures BrokerFailuresSoFar();

}  // namespace core
