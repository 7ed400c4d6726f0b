// The desktop's real-time broker: a system service on D-Bus that raises a
// thread of an unprivileged program to real-time priority on request.
//
// One worker thread a process holds the one bus connection and asks the
// broker; its answer is kept for the process: no broker (absent, or a bus
// that does not answer in time), a refusal, or the granted maximum. A thread
// that asks waits for the worker a few milliseconds at most and then goes on
// at normal priority, so a stalled bus never holds up the window or the
// port's threads; a grant that comes later raises it then, unless the thread
// withdrew its request meanwhile.
#pragma once

#include <sys/types.h>

namespace core {

// Asks the broker to raise the kernel thread `tid` of this process to
// real-time priority, at most `priority` and at most what the broker allows.
// Before the first request the process's CPU-time limit for real-time threads
// is set as the broker demands, with the watchdog armed.
enum class BrokerAnswer { Granted, Pending, NotGranted };
BrokerAnswer AskBrokerForRealTime(pid_t tid, int priority);

// Withdraws a pending request of `tid`: a grant still to come is undone.
void WithdrawBrokerRequest(pid_t tid);

}  // namespace core
