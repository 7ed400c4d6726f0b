// The guard on real-time threads that compute too long. The kernel stops a
// real-time thread that runs RLIMIT_RTTIME without blocking: at the soft
// limit it sends the process SIGXCPU, at the hard limit SIGKILL. Here the
// soft limit sits below the hard one, and SIGXCPU lowers every real-time
// thread of the process to normal scheduling, so a runaway line thread slows
// down instead of taking the program (and the port's settings) with it.
//
// Threads: every function may be called from any thread; the signal handler
// reads only a lock-free atomic.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

namespace core {

// Installs the SIGXCPU answer (once) and lowers RLIMIT_RTTIME's hard limit to
// at most `hardAtMost` microseconds, its soft limit to half the hard one when
// that is finite. False when the limit cannot be set.
bool ArmRealTimeWatchdog(rlim_t hardAtMost);

// Puts the soft limit back where it was before the first arming, as far as
// the hard limit allows; an ordinary process cannot raise a hard limit again.
void DisarmRealTimeWatchdog();

// Lowers `tid` to normal scheduling; permitted to every user for its own
// threads, since the reset-on-fork flag is kept.
bool LowerThread(pid_t tid);

}  // namespace core
