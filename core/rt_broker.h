// The desktop's real-time broker: a system service on D-Bus that raises a
// thread of an unprivileged program to real-time priority on request. The
// D-Bus library is loaded when first needed, so a machine without it (or
// without the broker) costs nothing and the program still runs.
#pragma once

#include <sys/types.h>

namespace core {

// Asks the broker to raise the kernel thread `tid` of this process to
// real-time priority, at most `priority` and at most what the broker allows.
// Before asking, the process's CPU-time limit for real-time threads is set to
// the broker's maximum, as the broker demands. Returns true when granted.
bool AskBrokerForRealTime(pid_t tid, int priority);

}  // namespace core
