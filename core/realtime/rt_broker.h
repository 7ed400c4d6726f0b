// The desktop's real-time broker: a system service on D-Bus that raises a
// thread of an unprivileged program to real-time priority on request.
//
// One worker thread a process holds the one bus connection and asks the
// broker. A grant is kept for the process; no broker (absent, or a bus that
// does not answer in time) and a refusal (the broker limits each user to a
// burst of requests in a window) hold only until the broker's window has
// passed: then the next thread that asks starts over with a new connection.
// A thread that asks waits for the worker a few milliseconds at most and then
// goes on at normal priority, so a stalled bus never holds up the window or
// the port's threads; a grant that comes later raises it then, unless the
// thread withdrew its request meanwhile.
#pragma once

#include <sys/types.h>

#include <chrono>

namespace core {

// Asks the broker to raise the kernel thread `tid` of this process to
// real-time priority, at most `priority` and at most what the broker allows.
// Before the first request the process's CPU-time limit for real-time threads
// is set as the broker demands, with the watchdog armed.
enum class BrokerAnswer { Granted, Pending, NotGranted };
BrokerAnswer AskBrokerForRealTime(pid_t tid, int priority);

// Withdraws a pending request of `tid`: a grant still to come is undone.
void WithdrawBrokerRequest(pid_t tid);

// How long no broker or a refusal holds before the broker is asked again;
// the broker's burst window (20 s) unless set otherwise.
void SetBrokerRetryInterval(std::chrono::milliseconds interval);

}  // namespace core
